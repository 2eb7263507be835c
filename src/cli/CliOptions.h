#pragma once
// The command line of quillon-cli: global options, then a command and its arguments.

#include <map>
#include <string>
#include <vector>

namespace quillon::cli {

struct TCliOptions {
  std::string image;                  // host folder of drive C:; empty = the demo image
  std::string user;                   // --user: profile folder name or SID
  std::map<char, std::string> drives; // --drive X=DIR
  bool help = false;
  std::string command;
  std::vector<std::string> args; // the command's own arguments
};

// Bad command lines raise this with the one line to print.
struct ECliUsage {
  std::string message;
};

TCliOptions ParseCliOptions(const std::vector<std::string>& argv);

// The options both programs take, as their usage texts list them.
const char* ImageOptionsText();
std::string CliUsageText();

} // namespace quillon::cli
