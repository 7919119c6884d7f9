#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "foundation/shared_string.h"

namespace Orvex::Testing {

// The helper program built beside the test executable.
SharedString HelperProgramPath();

// A name no other test run uses at the same time.
std::string UniqueName(const std::string& stem);

// A path in the temporary folder, as narrow text.
std::string TemporaryPath(const std::string& name);

// Polls until the condition holds; false when the time runs out.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

}  // namespace Orvex::Testing
