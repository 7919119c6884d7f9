#pragma once

// The names of the settings in the settings file, and the meaning of the
// values of those that choose among a few. The names are the file's: a
// renamed constant must keep its text, or every existing file loses the
// setting.
namespace config_key {

inline constexpr char16_t kImageDir[] = u"ImageDir";
inline constexpr char16_t kSaveFile[] = u"SaveFile";
inline constexpr char16_t kSpiDir[] = u"SpiDir";
inline constexpr char16_t kInterval[] = u"Interval(sec)";
inline constexpr char16_t kWaitFirst[] = u"WaitFirst";
inline constexpr char16_t kSuspend[] = u"Suspend";
inline constexpr char16_t kResize[] = u"Resize";
inline constexpr char16_t kResizeFixedAspectRatio[] = u"ResizeFixedAspectRatio";
inline constexpr char16_t kResizeAlignH[] = u"ResizeAlignH";
inline constexpr char16_t kResizeAlignV[] = u"ResizeAlignV";
inline constexpr char16_t kResizeBgColor[] = u"ResizeBgColor";
inline constexpr char16_t kClearType[] = u"ClearType";
// How older versions spelled ClearType; read once and renamed.
inline constexpr char16_t kClearTypeOldSpelling[] = u"Cleartype";
inline constexpr char16_t kSharp[] = u"Sharp";
inline constexpr char16_t kRemoveOnSuspend[] = u"RemoveOnSuspend";
inline constexpr char16_t kDoubleClick[] = u"DoubleClick";
// Linux only.
inline constexpr char16_t kWallpaperBackend[] = u"WallpaperBackend";
// Absent from a freshly written file: a file without it behaves as before.
inline constexpr char16_t kMultiMonitor[] = u"MultiMonitor";
// A command run after each change; absent from a freshly written file.
inline constexpr char16_t kOnChange[] = u"OnChange";
// System-wide keys for the tray commands ("Ctrl+Alt+Right"); absent or
// empty: none. Absent from a freshly written file.
inline constexpr char16_t kHotKeyNext[] = u"HotKeyNext";
inline constexpr char16_t kHotKeyPrevious[] = u"HotKeyPrevious";
inline constexpr char16_t kHotKeyExclude[] = u"HotKeyExclude";
inline constexpr char16_t kHotKeySuspend[] = u"HotKeySuspend";
// Windows only: the user's wallpaper style (the registry's TileWallpaper
// and WallpaperStyle texts) from before the program first tiled a picture
// over several monitors, kept until it is put back. An empty value stands
// for a value the registry did not have.
inline constexpr char16_t kSavedTileWallpaper[] = u"SavedTileWallpaper";
inline constexpr char16_t kSavedWallpaperStyle[] = u"SavedWallpaperStyle";

}  // namespace config_key

// ResizeBgColor: what fills the screen beside a picture whose proportions
// are kept. The settings dialog offers the first two; the file may hold any
// number, and one that is none of these fills like kAutomatic.
enum class BgColorChoice : int {
  // The colour of the picture's own edges beside the gaps.
  kAutomatic = 0,
  kDesktop = 1,
  // The colour of the picture's leftmost columns, whatever the side.
  kLeftColumns = 2,
};

// DoubleClick: the command a double click on the tray icon runs; the
// settings dialog's radio buttons in this order. Other numbers do nothing.
enum class DoubleClickChoice : int {
  kChooseFolder = 0,
  kChangeNow = 1,
  kOpenSource = 2,
  kSuspendOrResume = 3,
  kSettings = 4,
};

// MultiMonitor: what a change shows on a desktop of several monitors; the
// settings dialog's drop-down in this order. Other numbers behave like
// kSame.
enum class MultiMonitorChoice : int {
  // One picture fitted to the display mode's size, as it always was.
  kSame = 0,
  // Each monitor a picture of its own, fitted to its own size.
  kPerMonitor = 1,
  // One picture fitted to the box around all monitors.
  kSpanned = 2,
};
