#include "foundation/command_line.h"

#include <cwctype>

namespace Orvex {

std::vector<SharedString> SplitCommandLine(const SharedString& text) {
  std::vector<SharedString> parts;
  const std::u16string_view view = text.View();
  size_t i = 0;
  for (;;) {
    while (i < view.size() && std::iswspace(static_cast<wint_t>(view[i]))) ++i;
    if (i == view.size()) break;
    if (view[i] == u'"') {
      size_t close = view.find(u'"', i + 1);
      if (close == std::u16string_view::npos) {
        if (i + 1 < view.size()) parts.emplace_back(view.substr(i + 1));
        break;
      }
      parts.emplace_back(view.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      size_t end = view.find(u' ', i);
      if (end == std::u16string_view::npos) end = view.size();
      parts.emplace_back(view.substr(i, end - i));
      i = end;
    }
  }
  return parts;
}

std::vector<SharedString> GetProcessArguments() {
  std::vector<SharedString> parts = SplitCommandLine();
  if (!parts.empty()) parts.erase(parts.begin());
  return parts;
}

std::vector<SharedString> GetArguments(const char* runtime_command_line) {
  if (!runtime_command_line || !runtime_command_line[0]) return {};
  return GetProcessArguments();
}

}  // namespace Orvex
