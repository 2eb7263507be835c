// quillon-cli --version: the name and version, whatever else the command line holds, without
// reading an image.

#include "CliRun.h"

#include <gtest/gtest.h>

#include <regex>

using quillon::testing::RunCli;
using quillon::testing::TCliResult;

TEST(CliVersion, PrintsNameAndVersionWithoutReadingAnImage) {
  const std::vector<std::vector<std::string>> commandLines = {
      {"--version"},
      {"--version", "profiles"},
      {"--image", "/no/such/folder", "--version", "log"},
  };
  for (const auto& args : commandLines) {
    const TCliResult r = RunCli(args);
    EXPECT_EQ(r.code, 0) << args.size() << " arguments: " << r.err;
    EXPECT_TRUE(std::regex_match(r.out, std::regex("Quillon \\d+\\.\\d+\\.\\d+\n"))) << r.out;
    EXPECT_EQ(r.err, "");
  }
  EXPECT_NE(RunCli({"--help"}).out.find("--version"), std::string::npos);
}
