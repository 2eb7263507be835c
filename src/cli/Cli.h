#pragma once
// quillon-cli: the program without a window. Parses the command line, opens the image, runs
// discovery and prints what was asked for.

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon::cli {

// Exit codes: 0 done, 2 bad arguments or an image that cannot be used, 1 a failure while running,
// among them a clean or purge that could not change a store (one stderr line per failed kind,
// after the counts). Stores that exist but cannot be read give warnings on stderr only.
// args: the arguments after the program's name (session/HostSystem.h's ProgramArguments).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace quillon::cli
