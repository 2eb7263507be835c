#pragma once
// The command line both programs take: the options that choose the image and the session's
// user, then (quillon-cli only) a command and its arguments.

#include <map>
#include <string>
#include <vector>

namespace quillon {

// What the image opener needs to know; both programs parse it from the same options.
struct TImageOptions {
  std::string image;                  // host folder of drive C:; empty = the demo image
  std::string user;                   // --user: profile folder name or SID
  std::map<char, std::string> drives; // --drive X=DIR
};

struct TCommandLine {
  TImageOptions imageOptions;
  bool help = false;
  bool version = false; // --version: print the name and version, read no image
  std::string command;
  std::vector<std::string> args; // the command's own arguments
};

// A command line or an image that cannot be used raises this with the one line to print.
struct EUsageError {
  std::string message;
};

// Options first ("--name value" or "--name=value"); the first argument that is not an option is
// the command, everything after it belongs to the command.
TCommandLine ParseCommandLine(const std::vector<std::string>& argv);

// The options both programs take, as their usage texts list them.
const char* ImageOptionsText();

} // namespace quillon
