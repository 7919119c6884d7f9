#include "app/config_store.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/config_keys.h"
#include "app/user_paths.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/exclusion.h"
#include "foundation/file_system.h"
#include "foundation/files.h"

using Orvex::SharedString;

namespace {

constexpr std::u16string_view kSeparator = u" = ";

// An editor that keeps rewriting the file must not keep a change from ever
// being saved.
constexpr int kChangeAttempts = 5;
// What an editor that is saving in place gets to finish its file, between
// attempts that found it unreadable or without a key the change needs.
constexpr std::chrono::milliseconds kWriterPause{100};

Orvex::RuntimeException ReadFailure(const SharedString& key, const char16_t* type_mark) {
  return Orvex::RuntimeException(u"コンフィグデータ '" + key + u"' " + type_mark +
                                 u"の読み込みに失敗しました");
}

}  // namespace

ConfigStore::ConfigStore() : ConfigStore(SettingsFilePath(), SettingsLockName()) {}

ConfigStore::ConfigStore(const SharedString& file_path, const SharedString& lock_name)
    : file_path_(file_path), lock_name_(lock_name) {}

void ConfigStore::SetString(const SharedString& key, const SharedString& value) {
  entries_[key] = value;
}

void ConfigStore::SetInt(const SharedString& key, int value) {
  entries_[key] = SharedString::Format(u"%d", value);
}

void ConfigStore::SetBool(const SharedString& key, bool value) {
  entries_[key] = value ? u"true" : u"false";
}

SharedString ConfigStore::GetString(const SharedString& key) const {
  auto it = entries_.find(key);
  if (it == entries_.end()) throw ReadFailure(key, u"");
  return it->second;
}

SharedString ConfigStore::GetStringOr(const SharedString& key, const SharedString& fallback) const {
  auto it = entries_.find(key);
  return it == entries_.end() ? fallback : it->second;
}

int ConfigStore::GetInt(const SharedString& key) const {
  auto it = entries_.find(key);
  if (it == entries_.end() || it->second.IsEmpty()) throw ReadFailure(key, u"(数値)");
  return ParseInt(it->second);
}

int ConfigStore::GetIntOr(const SharedString& key, int fallback) const {
  auto it = entries_.find(key);
  if (it == entries_.end() || it->second.IsEmpty()) return fallback;
  return ParseInt(it->second);
}

MultiMonitorChoice ReadMultiMonitorChoice(const ConfigStore& store) {
  const int value = store.GetIntOr(config_key::kMultiMonitor, 0);
  switch (static_cast<MultiMonitorChoice>(value)) {
    case MultiMonitorChoice::kPerMonitor:
    case MultiMonitorChoice::kSpanned:
      return static_cast<MultiMonitorChoice>(value);
    default:
      return MultiMonitorChoice::kSame;
  }
}

int ConfigStore::ParseInt(const SharedString& value) {
  const std::string text = Orvex::GetDefaultEncoding().ToMultiByte(value);
  // Out-of-range values are held at the ends of int rather than wrapped.
  const long long number = std::strtoll(text.c_str(), nullptr, 10);
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return static_cast<int>(number);
}

bool ConfigStore::GetBool(const SharedString& key) const {
  auto it = entries_.find(key);
  if (it != entries_.end()) {
    if (it->second == SharedString(u"true")) return true;
    if (it->second == SharedString(u"false")) return false;
  }
  throw ReadFailure(key, u"(真偽値)");
}

void ConfigStore::RenameKey(const SharedString& old_key, const SharedString& new_key) {
  auto it = entries_.find(old_key);
  if (it == entries_.end()) return;
  SharedString value = it->second;
  entries_.erase(it);
  entries_[new_key] = value;
}

SharedString ConfigStore::Format(const Map& entries) {
  std::u16string text;
  for (const auto& [key, value] : entries) {
    text += key.View();
    text += kSeparator;
    text += value.View();
    text += u"\r\n";
  }
  return SharedString(std::move(text));
}

void ConfigStore::Parse(std::u16string_view text, Map& entries) {
  // Lines end at "\r\n", "\n" or "\r"; lines without " = " (empty ones
  // among them) say nothing.
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = text.substr(start, end - start);
    const size_t split = line.find(kSeparator);
    if (split != std::u16string_view::npos) {
      entries[SharedString(line.substr(0, split))] =
          SharedString(line.substr(split + kSeparator.size()));
    }
    start = end + 1;
    if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n') ++start;
  }
}

bool ConfigStore::Load() { return LoadFile() == LoadOutcome::kRead; }

ConfigStore::LoadOutcome ConfigStore::LoadFile() {
  try {
    Orvex::ProcessExclusionLock lock(file_path_);
    std::optional<std::u16string> text = ReadFileText();
    if (!text) return LoadOutcome::kMissing;
    Map read;
    Parse(*text, read);
    for (auto& [key, value] : read) entries_[key] = value;
    file_text_ = std::move(text);
    return LoadOutcome::kRead;
  } catch (...) {
  }
  try {
    return Orvex::Exists(file_path_) ? LoadOutcome::kUnreadable : LoadOutcome::kMissing;
  } catch (...) {
    return LoadOutcome::kUnreadable;
  }
}

std::optional<std::u16string> ConfigStore::ReadFileText() const {
  if (!Orvex::Exists(file_path_)) return std::nullopt;
  std::u16string text;
  Orvex::ReadTextFile(file_path_, text);
  return text;
}

bool ConfigStore::FileChangedSinceLoad() const {
  try {
    Orvex::ProcessExclusionLock lock(file_path_);
    return ReadFileText() != file_text_;
  } catch (...) {
    return true;
  }
}

bool ConfigStore::Save() {
  try {
    Orvex::ProcessExclusionLock lock(file_path_);
    // WriteTextFile writes the new text beside the old file (".tmp") and puts
    // it in the old one's place in one step once it is all on the disk, so a
    // reader, a crash or a full disk never leaves a half-written or empty
    // settings file behind.
    SharedString text = Format(entries_);
    Orvex::WriteTextFile(file_path_, text);
    file_text_ = text.Str();
    return true;
  } catch (...) {
    return false;
  }
}

void ConfigStore::LoadWithDefaults() { FillWithDefaults(); }

ConfigStore::LoadOutcome ConfigStore::FillWithDefaults() {
  SetString(config_key::kImageDir, DefaultImageFolder());
  SetString(config_key::kSaveFile, DefaultWallpaperFile());
  SetInt(config_key::kInterval, 1800);
  SetBool(config_key::kWaitFirst, false);
  SetBool(config_key::kSuspend, false);
  SetBool(config_key::kResize, true);
  SetBool(config_key::kResizeFixedAspectRatio, false);
  SetInt(config_key::kResizeAlignH, 1);
  SetInt(config_key::kResizeAlignV, 0);
  SetInt(config_key::kResizeBgColor, static_cast<int>(BgColorChoice::kDesktop));
  SetBool(config_key::kClearType, false);
  SetBool(config_key::kSharp, false);
  SetBool(config_key::kRemoveOnSuspend, false);
  SetInt(config_key::kDoubleClick, static_cast<int>(DoubleClickChoice::kOpenSource));
  SharedString plugins;
  try {
    plugins = RegisteredPluginFolder();
  } catch (...) {
  }
  SetString(config_key::kSpiDir, plugins.IsEmpty() ? SharedString(u"./spi/") : plugins);
  SetPlatformDefaults(*this);

  Orvex::ProcessExclusionLock lock(lock_name_);
  // Only a missing file is created: one that cannot be read now may be the
  // user's settings all the same.
  const LoadOutcome outcome = LoadFile();
  if (outcome == LoadOutcome::kMissing) Save();
  // Older versions wrote this key with a small t.
  RenameKey(config_key::kClearTypeOldSpelling, config_key::kClearType);
  return outcome;
}

bool ConfigStore::Change(Base base, const std::function<void(ConfigStore&)>& change) {
  Orvex::ProcessExclusionLock lock(lock_name_);
  const Map initial = entries_;
  for (int attempt = 1;; ++attempt) {
    const bool last = attempt == kChangeAttempts;
    entries_ = initial;
    file_text_.reset();
    const LoadOutcome outcome = base == Base::kDefaults ? FillWithDefaults() : LoadFile();
    if (outcome == LoadOutcome::kUnreadable) {
      if (!last) {
        std::this_thread::sleep_for(kWriterPause);
        continue;
      }
      throw Orvex::RuntimeException(u"設定ファイル '" + file_path_ +
                                    u"' を読み込めません。ファイルは変更していません");
    }
    const Map loaded = entries_;
    try {
      change(*this);
    } catch (...) {
      // Maybe it read a file an editor had only half written.
      if (last) throw;
      if (!FileChangedSinceLoad()) std::this_thread::sleep_for(kWriterPause);
      continue;
    }
    if (entries_ == loaded) return true;
    if (!last && FileChangedSinceLoad()) continue;
    return Save();
  }
}
