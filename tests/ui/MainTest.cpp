// The command line of the quillon program, run as a process: bad arguments fail before any
// window exists, with one line on stderr.

#include "kit/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct TRun {
  int code;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TRun RunGui(const std::string& args) {
  quillon::kit::TTempDir dir;
  const std::string out = dir.Path() + "/out", err = dir.Path() + "/err";
  // No display: whatever reaches QApplication would fail differently.
  const std::string command =
      "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= " + std::string(QUILLON_GUI_PATH) + " " +
      args + " >" + out + " 2>" + err;
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
}

} // namespace

TEST(QuillonProgram, BadArgumentsAndUnusableImagesGiveOneLineAndExitCode2) {
  quillon::kit::TTempDir dir;
  std::ofstream(dir.Path() + "/file") << "not a folder";
  for (const std::string& args : std::vector<std::string>{
           "--bogus", "--image", "--drive C=/tmp", "--image /no/such/folder", "profiles",
           "--image " + dir.Path(), "--image " + dir.Path() + "/file"}) {
    const TRun run = RunGui(args);
    EXPECT_EQ(run.code, 2) << args;
    EXPECT_TRUE(run.err.starts_with("quillon: ")) << args << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args;
  }
}

TEST(QuillonProgram, HelpNamesTheOptionsOfBothFrontEnds) {
  const TRun run = RunGui("--help");
  EXPECT_EQ(run.code, 0);
  for (const char* option : {"--image DIR", "--user NAME", "--drive X=DIR"})
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
}

TEST(QuillonProgram, VersionSaysWhatQuillonCliSaysWithoutDisplayOrImage) {
  const TRun cli = [] {
    quillon::kit::TTempDir dir;
    const std::string out = dir.Path() + "/out";
    const int status = std::system((std::string(QUILLON_CLI_PATH) + " --version >" + out).c_str());
    return TRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ""};
  }();
  ASSERT_EQ(cli.code, 0);
  ASSERT_TRUE(cli.out.starts_with("Quillon ")) << cli.out;
  for (const char* args : {"--version", "--image /no/such/folder --version"}) {
    const TRun run = RunGui(args);
    EXPECT_EQ(run.code, 0) << args;
    EXPECT_EQ(run.out, cli.out) << args;
    EXPECT_EQ(run.err, "") << args;
  }
  EXPECT_NE(RunGui("--help").out.find("--version"), std::string::npos);
}
