#pragma once

// The only way our code includes <windows.h>.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef STRICT
#define STRICT
#endif
#include <windows.h>

// These macros would rename our own functions and members.
#undef LoadImage
#undef GetClassName
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#undef CreateDirectory
#undef CopyFile
#undef DeleteFile
#undef GetObject
#undef SendMessage
#undef PostMessage
#undef DrawText
#undef MessageBox
#undef GetMessage
#undef DispatchMessage
#undef RegisterClass
#undef CreateWindow
#undef FindWindow
#undef GetUserName
#undef GetCommandLine
#undef ExpandEnvironmentStrings
#undef FormatMessage
#undef Yield
#undef min
#undef max

#include "foundation/shared_string.h"

namespace Orvex {
// char16_t and wchar_t are both UTF-16 code units on Windows.
inline const wchar_t* Wide(const SharedString& s) {
  return reinterpret_cast<const wchar_t*>(s.CStr());
}
inline SharedString FromWide(const wchar_t* s) {
  return SharedString(reinterpret_cast<const char16_t*>(s));
}
inline SharedString FromWide(const wchar_t* s, size_t n) {
  return SharedString(reinterpret_cast<const char16_t*>(s), n);
}
}  // namespace Orvex
