#include "foundation/exceptions.h"

#include "foundation/encoding.h"
#include "foundation/fault_translation.h"

namespace Orvex {
namespace {

std::shared_ptr<const std::string> Bounded(std::string text) {
  // A double-byte character may be split at the cut, as the system's own
  // bounded formatting would do.
  if (text.size() > Exception::kMaxTextBytes) text.resize(Exception::kMaxTextBytes);
  return std::make_shared<const std::string>(std::move(text));
}

}  // namespace

Exception::Exception(const SharedString& text)
    : text_(Bounded(GetDefaultEncoding().ToMultiByte(text))) {}

Exception::Exception(NarrowText text) : text_(Bounded(std::move(text.bytes))) {}

Win32Exception::Win32Exception(const SharedString& text)
    : RuntimeException([&text] {
        // The system text first: converting our text must not disturb it.
        std::string system_text = Detail::LastSystemErrorText();
        std::string given = GetDefaultEncoding().ToMultiByte(text);
        if (system_text.empty()) return NarrowText{std::move(given)};
        return NarrowText{given + " : " + system_text};
      }()) {}

AccessViolationException::AccessViolationException()
    : RuntimeException(u"不正なメモリアクセスがありました") {}
FPEException::FPEException() : RuntimeException(u"浮動小数点数エラーがありました") {}
InvalidProgramException::InvalidProgramException()
    : RuntimeException(u"不正な命令が検出されました") {}
UnexpectedException::UnexpectedException()
    : RuntimeException(u"例外指定にない例外が発生しました") {}

namespace {
// Every program that reports errors links this file, so installing the
// translators from here puts them in place before main() in all of them (a
// file of their own could be dropped by the linker as unreferenced).
[[maybe_unused]] const bool kTranslatorsInstalled = (InstallExceptionTranslators(), true);
}  // namespace

}  // namespace Orvex
