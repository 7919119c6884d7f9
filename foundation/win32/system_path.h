#pragma once

#include <string>

#include "foundation/shared_string.h"

namespace Orvex::Detail {

// The name the wide API takes for p. Names too long for the classic
// MAX_PATH limit are made full and given the "\\?\" prefix, which lifts it.
std::wstring ToSystemPath(const SharedString& p);

}  // namespace Orvex::Detail
