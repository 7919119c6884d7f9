#include "app/change_hook.h"

#include <exception>

#include "app/config_keys.h"
#include "foundation/encoding.h"
#include "foundation/file_system.h"

using Orvex::SharedString;

SharedString ExpandHookPlaceholders(const SharedString& text, const SharedString& picture,
                                    const SharedString& wallpaper, bool quote_blanks) {
  std::u16string out;
  bool quoted = false;
  const std::u16string_view in = text.View();
  for (size_t i = 0; i < in.size(); ++i) {
    const char16_t c = in[i];
    if (c == u'"') quoted = !quoted;
    if (c != u'%' || i + 1 >= in.size() || (in[i + 1] != u'f' && in[i + 1] != u'w')) {
      out.push_back(c);
      continue;
    }
    const SharedString& value = in[i + 1] == u'f' ? picture : wallpaper;
    const bool wrap = quote_blanks && !quoted && value.Find(u" ") != SharedString::npos;
    if (wrap) out.push_back(u'"');
    out += value.View();
    if (wrap) out.push_back(u'"');
    ++i;
  }
  return SharedString(std::move(out));
}

std::pair<SharedString, SharedString> SplitProgramFromCommandLine(
    const SharedString& command_line) {
  const SharedString line = command_line.TrimLeft();
  size_t end = 0;
  SharedString program;
  if (line.StartsWith(u"\"")) {
    end = line.Find(u"\"", 1);
    if (end == SharedString::npos) end = line.Length();
    program = line.Substring(1, end - 1);
    if (end < line.Length()) ++end;
  } else {
    end = 0;
    while (end < line.Length() && line[end] != u' ' && line[end] != u'\t') ++end;
    program = line.Substring(0, end);
  }
  return {program, line.Substring(end).Trim()};
}

void ChangeHook::AfterChange(const ConfigStore& store, const SharedString& picture) {
  if (!launcher_ || picture.IsEmpty()) return;
  const auto entry = store.Entries().find(SharedString(config_key::kOnChange));
  if (entry == store.Entries().end() || entry->second.Trim().IsEmpty()) return;
  const SharedString& command = entry->second;
  const SharedString wallpaper =
      Orvex::MakeAbsoluteToExecutable(store.GetString(config_key::kSaveFile));
  try {
    launcher_(command, picture, wallpaper);
    last_failed_ = SharedString();
  } catch (const std::exception& error) {
    if (command == last_failed_) return;
    last_failed_ = command;
    desktop_.ShowError(u"エラー", u"OnChange のコマンド '" + command + u"' を開始できません\n" +
                                      Orvex::GetDefaultEncoding().ToWide(error.what()));
  }
}
