#pragma once
// The command line of quillon-cli: the image options both programs take, then a command and its
// arguments (session/CommandLine.h parses it).

#include "session/CommandLine.h"

#include <string>

namespace quillon::cli {

using TCliOptions = TCommandLine;
// Bad command lines raise this with the one line to print.
using ECliUsage = EUsageError;

std::string CliUsageText();

} // namespace quillon::cli
