#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace Orvex {

// What a finished command left behind.
struct CommandResult {
  // The exit status; a command ended by a signal gives 128 + its number.
  int exit_code = 0;
  // Standard output and standard error as they came, cut at the limit.
  std::string output;
};

struct CommandLimits {
  std::chrono::milliseconds time{10000};
  size_t output_bytes = 64 * 1024;
};

// Runs a program with exactly these arguments (argv[0] is looked up on
// PATH; no shell sees them) and waits for it, with standard input empty.
// Throws Orvex::RuntimeException when it cannot be started or runs past the
// time limit (it is then killed). A command that leaves a child holding its
// output open does not keep the caller waiting once it has ended itself.
CommandResult RunCommand(const std::vector<std::string>& argv, const CommandLimits& limits = {});

// RunCommand that also throws when the exit status is not 0, naming the
// program and quoting the start of what it printed.
std::string RunCommandChecked(const std::vector<std::string>& argv,
                              const CommandLimits& limits = {});

// Starts a program that is meant to outlive the caller, in a session of its
// own with its standard streams on /dev/null; its process id. Throws as
// RunCommand.
pid_t StartDetached(const std::vector<std::string>& argv);

// Whether name is an executable file in one of PATH's folders (or, with a
// '/', at that path).
bool IsProgramAvailable(const std::string& name);

}  // namespace Orvex
