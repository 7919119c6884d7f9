#pragma once

namespace Orvex {

// The number of processors the system reports, at least 1. Read once and
// kept for the life of the process.
int ProcessorCount();

}  // namespace Orvex
