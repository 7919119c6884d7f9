#pragma once

#include <cstdint>
#include <vector>

#include "foundation/shared_string.h"

namespace Orvex {

// Paths are SharedStrings. On input both '\' and '/' separate; the library
// writes the native separator. A path that names a folder ends with a
// separator, and several operations below depend on that.

// The attribute word of GetAttributes. Elsewhere than on Windows it is built
// from the file's mode: a file without owner write permission is read-only.
inline constexpr uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
// Not a file with data of its own: a device, a pipe, a socket.
inline constexpr uint32_t kFileAttributeDevice = 0x40;
inline constexpr uint32_t kFileAttributeArchive = 0x20;
inline constexpr uint32_t kFileAttributeNormal = 0x80;
// A symbolic link or junction; its other bits describe what it points to.
inline constexpr uint32_t kFileAttributeReparsePoint = 0x400;
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// --- Path text (never touches the disk) ---

bool IsSeparator(char16_t c);
// "C:\" (three characters, the second a ':'); also "/" where a leading '/'
// makes a path absolute.
bool IsRoot(const SharedString& p);

SharedString Concat(const SharedString& a, const SharedString& b);
int LastSeparatorIndex(const SharedString& p);
// The last '.' after the last separator, -1 if none.
int ExtensionDotIndex(const SharedString& p);
SharedString DirectoryPart(const SharedString& p);
SharedString FileNamePart(const SharedString& p);
SharedString FileTitle(const SharedString& p);
// Lower-cased, without the dot.
SharedString GetExtension(const SharedString& p);
// An empty ext removes the extension with its dot.
SharedString ChangeExtension(const SharedString& p, const SharedString& ext);
SharedString RemoveTrailingSeparator(const SharedString& p);
SharedString EnsureTrailingSeparator(const SharedString& p);
SharedString ParentPath(const SharedString& p);
// The name of the folder that holds p; empty at the top.
SharedString ContainingFolderName(const SharedString& p);
// Every separator replaced by the native one.
SharedString NormalizeSeparators(const SharedString& p);
SharedString ReplaceChar(const SharedString& p, char16_t from, char16_t to);
SharedString ToLower(const SharedString& p);
bool EqualsIgnoreCase(const SharedString& a, const SharedString& b);
bool EndsWith(const SharedString& s, const SharedString& tail);
// Drive letters ("C:...") and network paths ("\\server...") are absolute
// everywhere, a leading '/' also on POSIX systems; anything else, a leading
// '\' included, is relative.
bool IsRelative(const SharedString& p);

// --- Paths on disk ---

// The program this process is: its executable, or the one named by
// ActOnBehalfOf.
SharedString GetExecutablePath();
#ifndef _WIN32
// For a helper program that one of ours replaced itself with: from here on
// the process is that program (settings beside it, its resident lock, paths
// relative to its folder), whose executable is `path`.
void ActOnBehalfOf(const SharedString& path);
#endif
// With its trailing separator.
SharedString GetExecutableDirectory();
// p with %NAME% references expanded and, when relative, resolved against
// base (its "." and ".." steps applied).
SharedString MakeAbsolute(const SharedString& p, const SharedString& base);
SharedString MakeAbsoluteToExecutable(const SharedString& p);
// %NAME% references replaced from the environment; unknown names stay as
// written.
SharedString ExpandEnvironment(const SharedString& p);

// kInvalidFileAttributes when p does not exist or cannot be reached.
uint32_t GetAttributes(const SharedString& p);
// Best effort: a failure is ignored.
void SetAttributes(const SharedString& p, uint32_t attributes);
bool Exists(const SharedString& p);
bool IsDirectory(const SharedString& p);
// p, or the nearest of its parents that is an existing folder; empty if none.
SharedString NearestExistingFolder(const SharedString& p);
SharedString GetCurrentDirectory();
void SetCurrentDirectory(const SharedString& p);

// Listings of DirectoryPart(folder), in the order the system returns the
// entries. Folders are listed with a trailing separator; folders whose names
// begin with '.' are skipped. Depth 0 lists one level, a negative depth the
// whole tree (depth first, a folder's contents right after it). A subfolder
// that cannot be listed contributes nothing.
std::vector<SharedString> ListFiles(const SharedString& folder, int depth);
std::vector<SharedString> ListFolders(const SharedString& folder, int depth);
std::vector<SharedString> ListEntries(const SharedString& folder, int depth);

// Creates the folder p (a folder path) or the folder that holds the file p,
// with every missing parent.
void CreateDirectories(const SharedString& p);
// A file or, when both are folder paths, a folder tree. A file path dst is
// the target file; a folder path dst receives src under its own name.
void Copy(const SharedString& src, const SharedString& dst, bool overwrite);
// A file, or a folder with everything in it. force clears read-only first.
void Delete(const SharedString& p, bool force);

}  // namespace Orvex
