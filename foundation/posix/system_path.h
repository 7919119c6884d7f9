#pragma once

#include <string>
#include <string_view>

#include "foundation/shared_string.h"

namespace Orvex::Detail {

// The name the system takes for p: UTF-8, with '\' read as a separator
// like '/'.
std::string ToSystemPath(const SharedString& p);
SharedString FromSystemPath(std::string_view path);

}  // namespace Orvex::Detail
