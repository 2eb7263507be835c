#include "kit/DemoImage.h"
#include "cli/Cli.h"
#include "kit/TempDir.h"
#include "winapi/WinApi.h"
#include "winapi/image/ImageRegistry.h"
#include "winapi/image/ImageWinApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace quillon;

std::map<std::string, std::string> ReadTree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file())
      continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[fs::relative(entry.path(), root).string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

TEST(DemoImage, IsWrittenTheSameEveryTime) {
  kit::TTempDir a, b;
  kit::WriteDemoImage(a.Path());
  kit::WriteDemoImage(b.Path());
  const auto first = ReadTree(a.Path());
  const auto second = ReadTree(b.Path());
  ASSERT_FALSE(first.empty());
  ASSERT_EQ(first.size(), second.size());
  for (const auto& [name, bytes] : first) {
    ASSERT_TRUE(second.count(name)) << name;
    EXPECT_TRUE(second.at(name) == bytes) << name << " differs";
  }
}

std::shared_ptr<winapi::image::TImageWinApi> Open(const std::string& root,
                                                  const std::string& user = {}) {
  winapi::image::TImageConfig config;
  config.imageRoot = root;
  config.user = user;
  return std::make_shared<winapi::image::TImageWinApi>(config);
}

TEST(DemoImage, LastLoggedOnUserIsTheDefaultAndEveryUserCanBeChosen) {
  kit::TTempDir dir;
  kit::WriteDemoImage(dir.Path());
  EXPECT_EQ(Open(dir.Path())->Registry().CurrentUserSid(), kit::kDemoUsers[0].sid);
  for (const auto& user : kit::kDemoUsers) {
    auto api = Open(dir.Path(), user.name);
    EXPECT_EQ(api->Registry().CurrentUserSid(), user.sid);
    std::string name;
    ASSERT_TRUE(api->GetUserName(name));
    EXPECT_EQ(name, user.name);
  }
}

TEST(DemoImage, ShellFoldersOfAUserWithoutThemFallBack) {
  kit::TTempDir dir;
  kit::WriteDemoImage(dir.Path());
  auto api = Open(dir.Path(), "bob");
  std::string appData;
  ASSERT_TRUE(api->SHGetSpecialFolderPath(winapi::CSIDL_APPDATA, appData));
  EXPECT_EQ(appData, "C:\\Users\\bob\\AppData\\Roaming");
  std::string programFiles;
  ASSERT_TRUE(api->SHGetSpecialFolderPath(winapi::CSIDL_PROGRAM_FILES, programFiles));
  EXPECT_EQ(programFiles, "C:\\Program Files (x86)");
}

TEST(DemoImage, CliRunsForEveryUser) {
  kit::TTempDir dir;
  kit::WriteDemoImage(dir.Path());
  for (const auto& user : kit::kDemoUsers) {
    for (const char* command : {"profiles", "log"}) {
      std::vector<std::string> args = {"quillon-cli", "--image", dir.Path(),
                                       "--user",      user.name, command};
      std::vector<char*> argv;
      for (auto& a : args)
        argv.push_back(a.data());
      std::ostringstream out, err;
      EXPECT_EQ(cli::RunCli(static_cast<int>(argv.size()), argv.data(), out, err), 0)
          << user.name << " " << command << ": " << err.str();
    }
  }
}

} // namespace
