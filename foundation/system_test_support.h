#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "foundation/shared_string.h"

namespace Orvex::Testing {

// A program built beside the test executable, by its name without extension.
SharedString ProgramBesideTests(const SharedString& name);

// The helper program of the system-service tests.
inline SharedString HelperProgramPath() { return ProgramBesideTests(u"system_test_helper"); }

// A name no other test run uses at the same time.
std::string UniqueName(const std::string& stem);

// A path in the temporary folder, as narrow text.
std::string TemporaryPath(const std::string& name);

// Polls until the condition holds; false when the time runs out.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

}  // namespace Orvex::Testing
