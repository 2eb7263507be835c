#pragma once
// Runs quillon-cli in the test's process and keeps what it printed.

#include "cli/Cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace quillon::testing {

struct TCliResult {
  int code;
  std::string out;
  std::string err;
};

inline TCliResult RunCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = quillon::cli::RunCli(args, out, err);
  return {code, out.str(), err.str()};
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

} // namespace quillon::testing
