#pragma once

namespace Orvex {

// Hands the memory the allocator keeps for reuse back to the system. The
// resident program calls it when a change has ended: a change needs tens of
// megabytes for a moment, then the program waits for minutes, and the C
// library would otherwise keep the freed blocks (on Linux in the arenas of
// the resampling threads) for the whole time. Cheap enough to call once a
// change; never fails.
void ReleaseFreeMemory();

}  // namespace Orvex
