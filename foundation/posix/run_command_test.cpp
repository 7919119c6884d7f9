#include "foundation/posix/run_command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "foundation/exceptions.h"

namespace {

using Orvex::CommandLimits;
using Orvex::RunCommand;
using Clock = std::chrono::steady_clock;

TEST(RunCommandTest, ArgumentsArriveAsTheyAreAndTheOutcomeComesBack) {
  // Nothing is expanded or split: no shell sees the arguments.
  const std::string tricky = "a b \"c\" 'd' $HOME `x` *";
  const Orvex::CommandResult printed = RunCommand({"printf", "%s|", tricky, "%f"});
  EXPECT_EQ(printed.exit_code, 0);
  EXPECT_EQ(printed.output, tricky + "|%f|");

  // Standard error is kept too, and the exit status is the program's.
  const Orvex::CommandResult failed = RunCommand({"sh", "-c", "echo oops >&2; exit 3"});
  EXPECT_EQ(failed.exit_code, 3);
  EXPECT_EQ(failed.output, "oops\n");
  try {
    Orvex::RunCommandChecked({"sh", "-c", "echo no such key >&2; exit 1"});
    ADD_FAILURE() << "a failing command passed";
  } catch (const Orvex::RuntimeException& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("sh"), std::string::npos) << text;
    EXPECT_NE(text.find("no such key"), std::string::npos) << text;
  }
  EXPECT_THROW(RunCommand({"pelmora-no-such-program"}), Orvex::RuntimeException);
  EXPECT_THROW(RunCommand({}), Orvex::RuntimeException);
}

TEST(RunCommandTest, NeitherTimeNorOutputIsUnbounded) {
  CommandLimits limits;
  limits.time = std::chrono::milliseconds(300);
  limits.output_bytes = 1000;
  Clock::time_point start = Clock::now();
  EXPECT_THROW(RunCommand({"sleep", "20"}, limits), Orvex::RuntimeException);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));

  limits.time = std::chrono::seconds(10);
  const Orvex::CommandResult flood = RunCommand({"head", "-c", "5000000", "/dev/zero"}, limits);
  EXPECT_EQ(flood.exit_code, 0);
  EXPECT_EQ(flood.output.size(), 1000u);

  // A daemon left holding the output does not keep the caller waiting.
  start = Clock::now();
  const Orvex::CommandResult forked = RunCommand({"sh", "-c", "sleep 20 & echo started"}, limits);
  EXPECT_EQ(forked.output, "started\n");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST(RunCommandTest, ProgramsAreFoundOnThePath) {
  EXPECT_TRUE(Orvex::IsProgramAvailable("sh"));
  EXPECT_TRUE(Orvex::IsProgramAvailable("/bin/sh"));
  EXPECT_FALSE(Orvex::IsProgramAvailable("pelmora-no-such-program"));
  EXPECT_FALSE(Orvex::IsProgramAvailable("/etc/passwd"));
}

}  // namespace
