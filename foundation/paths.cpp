#include <cstdint>
#include <cwctype>
#include <string>

#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/platform.h"

namespace Orvex {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsRoot(const SharedString& p) {
  if (p.Length() == 3 && p[1] == u':' && IsSeparator(p[2])) return true;
  return !kIsWindows && p.Length() == 1 && p[0] == u'/';
}

SharedString Concat(const SharedString& a, const SharedString& b) { return a + b; }

int LastSeparatorIndex(const SharedString& p) {
  size_t i = p.FindLastOf(u"\\/");
  return i == SharedString::npos ? -1 : static_cast<int>(i);
}

int ExtensionDotIndex(const SharedString& p) {
  size_t dot = p.FindLastOf(u".");
  if (dot == SharedString::npos) return -1;
  int dot_index = static_cast<int>(dot);
  return dot_index > LastSeparatorIndex(p) ? dot_index : -1;
}

SharedString DirectoryPart(const SharedString& p) {
  return p.Substring(0, static_cast<size_t>(LastSeparatorIndex(p) + 1));
}

SharedString FileNamePart(const SharedString& p) {
  return p.Substring(static_cast<size_t>(LastSeparatorIndex(p) + 1));
}

SharedString FileTitle(const SharedString& p) {
  SharedString name = FileNamePart(p);
  int dot = ExtensionDotIndex(name);
  return dot < 0 ? name : name.Substring(0, static_cast<size_t>(dot));
}

SharedString GetExtension(const SharedString& p) {
  int dot = ExtensionDotIndex(p);
  return dot < 0 ? SharedString() : ToLower(p.Substring(static_cast<size_t>(dot) + 1));
}

SharedString ChangeExtension(const SharedString& p, const SharedString& ext) {
  int dot = ExtensionDotIndex(p);
  // A name that begins with its only dot (".profile") has no extension.
  if (dot <= 0) return ext.IsEmpty() ? p : p + u"." + ext;
  if (ext.IsEmpty()) return p.Substring(0, static_cast<size_t>(dot));
  return p.Substring(0, static_cast<size_t>(dot) + 1) + ext;
}

SharedString RemoveTrailingSeparator(const SharedString& p) {
  if (p.IsEmpty() || !IsSeparator(p.Back()) || IsRoot(p)) return p;
  return p.Substring(0, p.Length() - 1);
}

SharedString EnsureTrailingSeparator(const SharedString& p) {
  if (p.IsEmpty() || IsSeparator(p.Back())) return p;
  return p + kNativeSeparator;
}

SharedString ParentPath(const SharedString& p) {
  if (p.IsEmpty() || IsRoot(p)) return SharedString();
  return DirectoryPart(RemoveTrailingSeparator(p));
}

SharedString ContainingFolderName(const SharedString& p) {
  SharedString folder = DirectoryPart(p);
  if (folder.IsEmpty() || IsRoot(folder)) return SharedString();
  return FileNamePart(RemoveTrailingSeparator(folder));
}

SharedString NormalizeSeparators(const SharedString& p) {
  std::u16string text = p.Str();
  for (char16_t& c : text) {
    if (IsSeparator(c)) c = kNativeSeparator;
  }
  return SharedString(std::move(text));
}

SharedString ReplaceChar(const SharedString& p, char16_t from, char16_t to) {
  std::u16string text = p.Str();
  for (char16_t& c : text) {
    if (c == from) c = to;
  }
  return SharedString(std::move(text));
}

SharedString ToLower(const SharedString& p) {
  std::u16string text = p.Str();
  for (char16_t& c : text) {
    // Halves of a surrogate pair are not characters of their own.
    if (c >= 0xD800 && c < 0xE000) continue;
    // wint_t is 16 bits wide on Windows and 32 bits elsewhere.
    const uint32_t lower = static_cast<uint32_t>(std::towlower(static_cast<wint_t>(c)));
    if (lower <= 0xFFFF && !(lower >= 0xD800 && lower < 0xE000)) c = static_cast<char16_t>(lower);
  }
  return SharedString(std::move(text));
}

bool EqualsIgnoreCase(const SharedString& a, const SharedString& b) {
  return a.Length() == b.Length() && ToLower(a) == ToLower(b);
}

bool EndsWith(const SharedString& s, const SharedString& tail) { return s.EndsWith(tail.View()); }

bool IsRelative(const SharedString& p) {
  if (!kIsWindows && !p.IsEmpty() && p[0] == u'/') return false;
  if (p.Length() <= 2) return true;
  if (p[1] == u':') return false;
  if (IsSeparator(p[0]) && IsSeparator(p[1])) return false;
  return true;
}

SharedString GetExecutableDirectory() {
  SharedString path = GetExecutablePath();
  if (LastSeparatorIndex(path) < 0) {
    throw RuntimeException(
        u"実行ファイルのファイル名にディレクトリ区切り文字 L'\\\\' がありません");
  }
  return DirectoryPart(path);
}

SharedString MakeAbsolute(const SharedString& p, const SharedString& base) {
  SharedString expanded = ExpandEnvironment(p);
  if (base.IsEmpty() || !IsRelative(expanded)) return NormalizeSeparators(expanded);

  const std::u16string& e = expanded.Str();
  std::u16string result = EnsureTrailingSeparator(base).Str();
  // "." and ".." are steps only as whole names: "v1./x" keeps its folder.
  bool at_name_start = true;
  for (size_t i = 0; i < e.size();) {
    const char16_t c = e[i];
    if (IsSeparator(c)) {
      result.push_back(kNativeSeparator);
      at_name_start = true;
      ++i;
      continue;
    }
    if (at_name_start && c == u'.' && i + 2 < e.size() && e[i + 1] == u'.' &&
        IsSeparator(e[i + 2])) {
      SharedString current = RemoveTrailingSeparator(SharedString(result));
      int cut = LastSeparatorIndex(current);
      if (cut < 0) return expanded;
      // A root keeps its separator, so steps above it stay at the root.
      result = current.Str().substr(0, static_cast<size_t>(cut) + 1);
      i += 3;
      continue;
    }
    if (at_name_start && c == u'.' && i + 1 < e.size() && IsSeparator(e[i + 1])) {
      i += 2;
      continue;
    }
    result.push_back(c);
    at_name_start = false;
    ++i;
  }
  return SharedString(std::move(result));
}

SharedString MakeAbsoluteToExecutable(const SharedString& p) {
  return MakeAbsolute(p, GetExecutableDirectory());
}

}  // namespace Orvex
