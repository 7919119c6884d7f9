#include "app/cycle_state_file.h"

#include <string>
#include <string_view>

#include "app/kept_paths.h"
#include "foundation/exclusion.h"
#include "foundation/file_system.h"
#include "foundation/files.h"

using Orvex::SharedString;

namespace {

// The first line; a file without it is not ours.
constexpr std::u16string_view kSignature = u"PelmoraState = 1";
constexpr std::u16string_view kSeparator = u" = ";
constexpr std::u16string_view kImageDir = u"ImageDir";
constexpr std::u16string_view kPosition = u"Position";
constexpr std::u16string_view kShown = u"Shown";
constexpr std::u16string_view kRound = u"Round";
constexpr std::u16string_view kHistoryAt = u"HistoryAt";
// Starts a history entry; its pictures follow as Picture or Picture[NAME].
constexpr std::u16string_view kChange = u"Change";
constexpr std::u16string_view kPicture = u"Picture";

// A value a line cannot hold is not written: a line break in it would end
// the line, and " = " in a monitor name would move the key's end.
bool FitsOnALine(std::u16string_view text) {
  return text.find_first_of(u"\r\n") == std::u16string_view::npos;
}

void AddLine(std::u16string& text, std::u16string_view key, std::u16string_view value) {
  text += key;
  text += kSeparator;
  text += value;
  text += u"\r\n";
}

std::optional<uint32_t> ParseCount(std::u16string_view value) {
  if (value.empty() || value.size() > 9) return std::nullopt;
  uint32_t number = 0;
  for (const char16_t c : value) {
    if (c < u'0' || c > u'9') return std::nullopt;
    number = number * 10 + static_cast<uint32_t>(c - u'0');
  }
  return number;
}

}  // namespace

SharedString CycleStatePath(const SharedString& settings_file) {
  return BesideSettings(settings_file, u"state");
}

SharedString FormatCycleState(const CycleState& state) {
  const SharedString& folder = state.image_folder;
  std::u16string text(kSignature);
  text += u"\r\n";
  AddLine(text, kImageDir, folder.View());
  AddLine(text, kPosition, SharedString::Format(u"%u", state.position).View());
  AddLine(text, kShown, SharedString::Format(u"%u", state.shown).View());
  for (const SharedString& picture : state.round) {
    const SharedString path = PathForKeeping(picture, folder);
    // Left out, it comes back as a new picture when the list is rebuilt.
    if (FitsOnALine(path.View())) AddLine(text, kRound, path.View());
  }
  // A change none of whose pictures can be written is left out, and the
  // entry on show counted without it.
  std::u16string changes;
  uint32_t written = 0, history_at = 0;
  for (size_t i = 0; i < state.history.size(); ++i) {
    std::u16string lines;
    for (const MonitorSource& shown : state.history[i]) {
      const SharedString path = PathForKeeping(shown.source, folder);
      if (path.IsEmpty() || !FitsOnALine(path.View())) continue;
      std::u16string key(kPicture);
      const std::u16string_view name = shown.monitor.View();
      if (!name.empty() && FitsOnALine(name) && name.find(kSeparator) == name.npos) {
        key += u'[';
        key += name;
        key += u']';
      }
      AddLine(lines, key, path.View());
    }
    if (lines.empty()) continue;
    if (i <= state.history_at) history_at = written;
    ++written;
    AddLine(changes, kChange, u"");
    changes += lines;
  }
  AddLine(text, kHistoryAt, SharedString::Format(u"%u", history_at).View());
  text += changes;
  return SharedString(std::move(text));
}

std::optional<CycleState> ParseCycleState(std::u16string_view text) {
  CycleState state;
  bool signed_ = false, have_folder = false, have_position = false, have_shown = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    if (!signed_) {
      if (line != kSignature) return std::nullopt;
      signed_ = true;
      continue;
    }
    const size_t split = line.find(kSeparator);
    if (split == std::u16string_view::npos) return std::nullopt;
    const std::u16string_view key = line.substr(0, split);
    const std::u16string_view value = line.substr(split + kSeparator.size());
    if (key == kImageDir) {
      state.image_folder = SharedString(value);
      have_folder = !value.empty();
    } else if (key == kPosition || key == kShown || key == kHistoryAt) {
      const std::optional<uint32_t> number = ParseCount(value);
      if (!number) return std::nullopt;
      if (key == kPosition) {
        state.position = *number;
        have_position = true;
      } else if (key == kShown) {
        state.shown = *number;
        have_shown = true;
      } else {
        state.history_at = *number;
      }
    } else if (key == kRound) {
      if (!have_folder || value.empty()) return std::nullopt;
      state.round.push_back(PathFromKeeping(SharedString(value), state.image_folder));
    } else if (key == kChange) {
      if (!state.history.empty() && state.history.back().empty()) return std::nullopt;
      state.history.emplace_back();
    } else if (key.substr(0, kPicture.size()) == kPicture) {
      const std::u16string_view rest = key.substr(kPicture.size());
      SharedString monitor;
      if (!rest.empty()) {
        if (rest.size() < 2 || rest.front() != u'[' || rest.back() != u']') return std::nullopt;
        monitor = SharedString(rest.substr(1, rest.size() - 2));
      }
      if (state.history.empty() || value.empty()) return std::nullopt;
      state.history.back().push_back(
          MonitorSource{monitor, PathFromKeeping(SharedString(value), state.image_folder)});
    } else {
      return std::nullopt;
    }
  }
  if (!have_folder || !have_position || !have_shown) return std::nullopt;
  if (!state.history.empty() &&
      (state.history.back().empty() || state.history_at >= state.history.size())) {
    return std::nullopt;
  }
  return state;
}

std::optional<CycleState> ReadCycleState(const SharedString& file) {
  try {
    if (!Orvex::Exists(file)) return std::nullopt;
    std::u16string text;
    Orvex::ReadTextFile(file, text);
    return ParseCycleState(text);
  } catch (...) {
    return std::nullopt;
  }
}

void WriteCycleState(const SharedString& file, const SharedString& lock_name,
                     const CycleState& state) {
  Orvex::ProcessExclusionLock lock(lock_name);
  Orvex::WriteTextFile(file, FormatCycleState(state));
}
