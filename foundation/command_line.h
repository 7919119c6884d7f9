#pragma once

#include <vector>

#include "foundation/shared_string.h"

namespace Orvex {

// The command line of this process as one text.
SharedString GetCommandLineText();

// The command line split into its parts, the program first. On Windows the
// text of GetCommandLineText() split as below; elsewhere the arguments the
// process was started with (see SetProcessArguments).
std::vector<SharedString> SplitCommandLine();

// Splits a command line: white space separates parts; a part that starts
// with a double quote runs to the next double quote and is taken without
// them (it may be empty, and an unclosed quote takes the rest of the text);
// any other part runs to the next space character (not tab) and keeps any
// double quotes inside it. There are no escape characters.
std::vector<SharedString> SplitCommandLine(const SharedString& text);

// The arguments the process was started with, without the program itself
// (SplitCommandLine() less its first part).
std::vector<SharedString> GetProcessArguments();

// For WinMain: the program's arguments without the program itself; none
// when the runtime command line it received (the text after the program)
// is null or empty.
std::vector<SharedString> GetArguments(const char* runtime_command_line);

// For main(): hands over the arguments the process was started with (narrow
// text in the system encoding). Until then they are read from the system
// where it keeps them (/proc on Linux). Does nothing on Windows, whose
// command line is always at hand.
void SetProcessArguments(int argc, const char* const* argv);

}  // namespace Orvex
