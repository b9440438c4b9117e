// The yxtk command: one argument, a switch character ("-", "/" or "\") and a
// mode (? S SQ H HQ L LO SD R, any case), one power action, the outcome's
// message text, and its code as the exit code (87 for an unusable command
// line, with the usage text).
#pragma once

#include "ConsoleWriter.h"

namespace yx {

// The banner line, Russian for a Russian user, English otherwise.
void PrintBanner(TConsoleWriter& writer);
// The usage text in the same language.
void PrintUsage(TConsoleWriter& writer);
// True when the user's locale is Russian (language 0419).
bool UserWantsRussian();

// The whole run; returns the exit code.
int RunCommand(int argc, char** argv);

}  // namespace yx
