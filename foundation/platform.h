#pragma once

// The one place that names the target. Portable code asks these constants
// instead of testing compiler macros.
namespace Orvex {
#if defined(_WIN32)
inline constexpr bool kIsWindows = true;
inline constexpr char16_t kNativeSeparator = u'\\';
#else
inline constexpr bool kIsWindows = false;
inline constexpr char16_t kNativeSeparator = u'/';
#endif
}  // namespace Orvex
