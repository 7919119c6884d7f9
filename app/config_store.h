#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "foundation/shared_string.h"

// The program's settings: a map from key to value, both text, kept in a
// file (SettingsFilePath: beside the executable, or the user's own). There
// is no long-lived settings object: each operation that needs settings makes a store, fills it
// (LoadWithDefaults), reads and changes what it needs, saves when it changed something and drops
// it, so the file is the one truth shared by every process.
class ConfigStore {
 public:
  using Map = std::map<Orvex::SharedString, Orvex::SharedString>;

  // An empty store for the program's settings file.
  ConfigStore();
  // An empty store for the given file. lock_name names the lock that
  // LoadWithDefaults holds around its read and maybe write, shared with
  // whoever edits the file in several steps.
  ConfigStore(const Orvex::SharedString& file_path, const Orvex::SharedString& lock_name);

  void SetString(const Orvex::SharedString& key, const Orvex::SharedString& value);
  void SetInt(const Orvex::SharedString& key, int value);
  void SetBool(const Orvex::SharedString& key, bool value);

  // These throw Orvex::RuntimeException when the key is missing or its
  // value cannot be read as the type.
  Orvex::SharedString GetString(const Orvex::SharedString& key) const;
  // Leading white space and a sign are allowed and reading stops at the
  // first non-digit ("10 apples" is 10, "apples" is 0); only an empty value
  // fails.
  int GetInt(const Orvex::SharedString& key) const;
  // As GetInt, but `fallback` for a key that is missing or empty: for the
  // settings newer than the file format, which a freshly written file
  // leaves out.
  int GetIntOr(const Orvex::SharedString& key, int fallback) const;
  // The value, or `fallback` for a key that is missing.
  Orvex::SharedString GetStringOr(const Orvex::SharedString& key,
                                  const Orvex::SharedString& fallback) const;
  // Exactly "true" or "false".
  bool GetBool(const Orvex::SharedString& key) const;

  // Drops the key and its value; nothing when there is none.
  void RemoveKey(const Orvex::SharedString& key) { entries_.erase(key); }
  // Moves the value of old_key (when there is one) to new_key.
  void RenameKey(const Orvex::SharedString& old_key, const Orvex::SharedString& new_key);

  // Adds the file's entries to the store (they win over entries already
  // there). False when there is no file or it could not be read.
  bool Load();
  // Writes the whole store to the file; false on any failure, in which case
  // the file keeps its previous contents.
  bool Save();
  // The defaults, then the file; a missing file is created with them. A file
  // that is there but cannot be read is left as it is.
  void LoadWithDefaults();

  // What Change loads before it applies the change: the file as it is (a
  // switch must not invent settings the user never had), or the defaults
  // and then the file, as LoadWithDefaults.
  enum class Base { kFile, kDefaults };
  // Loads the store from the file, applies change and saves, holding
  // LockName(). A text editor writes the file without that lock, and may do
  // so between our read and our save: so just before the save the file is
  // read again, and when its text is no longer the one the store was loaded
  // from, the store is loaded afresh (starting from the entries it had when
  // called) and the change applied again. A file that cannot be read, or a
  // change that throws (it may have met half a file), is tried again after a
  // short pause, for an editor still saving in place. After a few attempts,
  // what there is gets saved, or the error reported. change may therefore
  // run more than once, and must leave nothing behind outside the store that
  // a second run would double. A store the change left as loaded is not
  // written. Throws Orvex::RuntimeException, writing nothing, when the file
  // is there but cannot be read: a broken settings file is never replaced.
  // False when the save failed (the file keeps its previous contents).
  bool Change(Base base, const std::function<void(ConfigStore&)>& change);

  const Map& Entries() const { return entries_; }
  const Orvex::SharedString& FilePath() const { return file_path_; }
  // The lock LoadWithDefaults holds; whoever reads, changes and saves the
  // settings in several steps holds it around them.
  const Orvex::SharedString& LockName() const { return lock_name_; }

  // A number as GetInt reads it; text without leading digits is 0.
  static int ParseInt(const Orvex::SharedString& text);

  // The file's text for the entries, and the entries of a file's text.
  static Orvex::SharedString Format(const Map& entries);
  static void Parse(std::u16string_view text, Map& entries);

 private:
  enum class LoadOutcome { kRead, kMissing, kUnreadable };
  LoadOutcome LoadFile();
  LoadOutcome FillWithDefaults();
  // The file's text now; nothing when there is no file. Throws when it cannot
  // be read.
  std::optional<std::u16string> ReadFileText() const;
  // Whether the file no longer holds the text last loaded or saved (a file
  // that cannot be read counts as changed).
  bool FileChangedSinceLoad() const;

  Orvex::SharedString file_path_;
  Orvex::SharedString lock_name_;
  Map entries_;
  // The file's text as this store last read or wrote it; nothing when it has
  // not seen the file.
  std::optional<std::u16string> file_text_;
};

// The MultiMonitor setting; values the program does not know are kSame.
enum class MultiMonitorChoice : int;
MultiMonitorChoice ReadMultiMonitorChoice(const ConfigStore& store);

// The folder where plug-ins are installed on this system, with a trailing
// separator; empty when none is registered.
Orvex::SharedString RegisteredPluginFolder();

// Where the finished wallpaper is written unless the settings say otherwise.
Orvex::SharedString DefaultWallpaperFile();

// Adds the settings only this platform has, with their defaults.
void SetPlatformDefaults(ConfigStore& store);
