#pragma once

namespace Orvex::Testing {

// True when the Windows build runs under Wine rather than Windows; some
// system services are coarser there and tests say so instead of failing.
bool RunsUnderWine();

}  // namespace Orvex::Testing
