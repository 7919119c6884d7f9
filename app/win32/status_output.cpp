#include "app/win32/status_output.h"

#include <algorithm>

#include "foundation/win32/win32.h"

using Orvex::SharedString;

namespace {

bool WriteToConsole(HANDLE console, std::u16string_view text) {
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD count = static_cast<DWORD>(std::min<size_t>(text.size(), 8192));
    if (!WriteConsoleW(console, text.data(), count, &written, nullptr) || written == 0) {
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

bool WriteToFile(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

std::u16string WithCrLf(std::u16string_view text) {
  std::u16string result;
  result.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) result += u'\r';
    result += text[i];
  }
  return result;
}

std::string StatusFileBytes(const SharedString& text) {
  const std::u16string wide = WithCrLf(text.View());
  if (wide.empty()) return {};
  const auto* chars = reinterpret_cast<const wchar_t*>(wide.data());
  const int count = static_cast<int>(wide.size());
  // Without the best fit a character the code page lacks becomes '?', which
  // no file name holds; the best fit would turn "ü" into "u" and name
  // another file that may well exist.
  const int size =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, chars, count, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, chars, count, bytes.data(), size, nullptr,
                      nullptr);
  return bytes;
}

StatusOutputResult WriteStatusOutput(const SharedString& text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE attached = nullptr;
  if (!output || output == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return StatusOutputResult::kNowhere;
    attached = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (attached == INVALID_HANDLE_VALUE) return StatusOutputResult::kFailed;
    output = attached;
  }
  DWORD mode = 0;
  const bool written = GetConsoleMode(output, &mode) ? WriteToConsole(output, WithCrLf(text.View()))
                                                     : WriteToFile(output, StatusFileBytes(text));
  if (attached) CloseHandle(attached);
  return written ? StatusOutputResult::kWritten : StatusOutputResult::kFailed;
}
