#include "cli/CliRun.h"

#include "kit/HostFile.h"
#include "kit/ImageBuilder.h"
#include "kit/MozillaTextStores.h"
#include "kit/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using quillon::testing::Lines;
using quillon::testing::RunCli;
using quillon::testing::TCliResult;

// A Windows system with its hives and no browser.
class TBareImage {
public:
  TBareImage() {
    quillon::kit::TImageBuilder image(dir_.Path());
    image.Commit();
  }
  const std::string& Path() const { return dir_.Path(); }

private:
  quillon::kit::TTempDir dir_;
};

TEST(CliLog, ImageWithoutBrowsersShowsEveryStepOfTheDefaultMask) {
  const TBareImage image;
  const TCliResult r = RunCli({"--image", image.Path(), "log"});
  ASSERT_EQ(r.code, 0) << r.err;
  auto lines = Lines(r.out);
  // Internet Explorer always adds the running user's profile and probes the system's hives.
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "+ Added default entry.");
  lines.erase(lines.begin() + 1);
  while (lines.size() > 1 && lines[1].starts_with(". Probing entry for user SID "))
    lines.erase(lines.begin() + 1);
  const std::vector<std::string> headers = {
      "[ Internet Explorer ]", "[ Opera ]", "[ Mozilla Firefox & compatibles ]",
      "[ Mozilla Firefox Portable & compatibles ]", "[ Google Chrome ]"};
  ASSERT_EQ(lines.size(), headers.size() * 3);
  const std::regex timing(R"(i Browser detection took \d\d\.\d\d\d seconds\.)");
  for (std::size_t i = 0; i < headers.size(); ++i) {
    EXPECT_EQ(lines[3 * i], headers[i]);
    EXPECT_TRUE(std::regex_match(lines[3 * i + 1], timing)) << lines[3 * i + 1];
    EXPECT_EQ(lines[3 * i + 2], "");
  }
}

TEST(CliCompat, FifteenBrowsersSortedTabSeparated) {
  const TCliResult r = RunCli({"compat"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[0], "Browser\tCache\tCookies\tHistory\tStart pages\tBookmarks");
  EXPECT_EQ(lines[1], "Beonex\tP\tAll\tR/P\tAll\tAll");
  EXPECT_EQ(lines[2], "Chrome\t-\tAll\tAll\t-\tAll");
  EXPECT_EQ(lines[15], "Wyzo\tP\tAll\tR/P\tAll\tAll");
  for (std::size_t i = 2; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].find("Opera Application"), std::string::npos);
    EXPECT_LE(lines[i - 1], lines[i]) << "not sorted at line " << i;
  }
}

TEST(CliErrors, BadArgumentsGiveOneLineAndExitCode2) {
  const TBareImage image;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frob"},
      {"--image", image.Path() + "/missing", "log"},
      {"--image"},
      {"--colour", "log"},
      {"--drive", "C=/tmp", "log"},
      {"--drive", "D", "log"},
      {"--drive", "D=" + image.Path() + "/missing", "--image", image.Path(), "log"},
      {"--image", image.Path(), "--user", "nobody", "log"},
      {"log", "extra"},
      {"--image", image.Path(), "show", "9", "cookies"},
      {"--image", image.Path(), "show", "x", "cookies"},
      {"--image", image.Path(), "show", "0", "biscuits"},
      {"--image", image.Path(), "show", "0"},
      {"--image", image.Path(), "clean", "9", "all"},
      {"--image", image.Path(), "clean", "0", "32"},
      {"--image", image.Path(), "purge", "0", "cookies,,history"},
      {"--image", image.Path(), "purge", "-1", "cache"},
  };
  for (const auto& args : cases) {
    const TCliResult r = RunCli(args);
    std::string joined;
    for (const auto& a : args)
      joined += a + " ";
    EXPECT_EQ(r.code, 2) << joined;
    EXPECT_TRUE(r.out.empty()) << joined;
    ASSERT_FALSE(r.err.empty()) << joined;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "more than one line for: " << joined;
  }
}

// The image must be a folder that holds a Windows system drive, found by its
// SOFTWARE hive.
TEST(CliErrors, UnusableImagesGiveOneLineAndExitCode2) {
  quillon::kit::TTempDir dir;
  namespace fs = std::filesystem;
  std::ofstream(dir.Path() + "/file") << "not a folder";
  fs::create_directories(dir.Path() + "/empty");
  // A Linux root: folders, but no Windows below them.
  for (const char* folder : {"/rootlike/etc", "/rootlike/usr/bin", "/rootlike/home"})
    fs::create_directories(dir.Path() + folder);
  fs::create_directories(dir.Path() + "/nohive/Windows/System32/config");
  std::ofstream(dir.Path() + "/nohive/Windows/System32/config/SYSTEM") << "x";
  fs::create_directories(dir.Path() + "/hivefolder/Windows/System32/config/SOFTWARE");
  for (const char* image : {"/missing", "/file", "/empty", "/rootlike", "/nohive", "/hivefolder"}) {
    for (const char* command : {"profiles", "log"}) {
      const TCliResult r = RunCli({"--image", dir.Path() + image, command});
      EXPECT_EQ(r.code, 2) << image;
      EXPECT_TRUE(r.out.empty()) << image;
      EXPECT_TRUE(r.err.starts_with("quillon-cli: ")) << image << ": " << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << image << ": " << r.err;
    }
  }
}

// Windows finds its folders whatever their case; so does the image check.
TEST(CliImage, HiveIsFoundWhateverTheCaseOfItsPath) {
  const TBareImage image;
  namespace fs = std::filesystem;
  fs::rename(image.Path() + "/Windows", image.Path() + "/windows");
  fs::rename(image.Path() + "/windows/System32/config/SOFTWARE",
             image.Path() + "/windows/System32/config/software");
  const TCliResult r = RunCli({"--image", image.Path(), "profiles"});
  EXPECT_EQ(r.code, 0) << r.err;
}

TEST(CliHelp, ListsEveryCommandAndOption) {
  const TCliResult r = RunCli({"--help"});
  ASSERT_EQ(r.code, 0);
  for (const char* word :
       {"profiles", "log", "compat", "show", "clean", "purge", "listfile", "ie-cache", "--image",
        "--user", "--drive", "--key-text", "--sort", "--dry-run"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST(CliListFile, EncodeThenDecodeGivesTheTextBackWithEitherKey) {
  quillon::kit::TTempDir dir;
  const std::string plain = dir.Path() + "/locations.txt";
  const std::string text = "S HKCU\\Software\\Microsoft\\Internet Explorer\\Main\\Start Page\r\n"
                           "F HKLM\\Software\\Microsoft\\Internet Explorer\\Main\\Search Page\r\n";
  std::ofstream(plain, std::ios::binary) << text;
  for (const std::vector<std::string>& key :
       {std::vector<std::string>{}, std::vector<std::string>{"--key-text", "another key"}}) {
    const std::string cipher = dir.Path() + "/out.ieldat";
    std::vector<std::string> encode = {"listfile", "encode", plain, cipher};
    encode.insert(encode.end(), key.begin(), key.end());
    ASSERT_EQ(RunCli(encode).code, 0);
    const std::string written = quillon::kit::ReadHostFile(cipher);
    EXPECT_EQ(written.size(), text.size());
    EXPECT_NE(written, text);
    std::vector<std::string> decode = {"listfile", "decode", cipher};
    decode.insert(decode.end(), key.begin(), key.end());
    const TCliResult r = RunCli(decode);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, text);
  }
}

TEST(CliListFile, TheBuiltListFileHoldsTheDataSource) {
  const std::string built = std::string(QUILLON_CLI_PATH);
  const std::string folder = built.substr(0, built.find_last_of('/'));
  const std::string source = std::string(QUILLON_SOURCE_DIR) + "/data/Quillon.ieldat.txt";
  const TCliResult r = RunCli({"listfile", "decode", folder + "/Quillon.ieldat"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, quillon::kit::ReadHostFile(source));
}

TEST(CliListFile, BadArgumentsGiveExitCode2) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"listfile"},
                                             {"listfile", "decode"},
                                             {"listfile", "encode", "a"},
                                             {"listfile", "decode", "/nonexistent/x.ieldat"},
                                             {"listfile", "decode", "x", "--key-text"},
                                             {"listfile", "shred", "x"}}) {
    const TCliResult r = RunCli(args);
    EXPECT_EQ(r.code, 2) << args.size();
    EXPECT_FALSE(r.err.empty());
  }
}

} // namespace

namespace {

// Texts in an image are an attacker's choice: a tab, a line break or a terminal
// sequence in a profile name or a cookie stays inside its cell, in a visible
// form.
TEST(CliOutput, HostileCellsStayOnOneLineInTheirColumn) {
  quillon::kit::TTempDir dir;
  quillon::kit::TImageBuilder image(dir.Path());
  image.AddUser("alice", "S-1-5-21-1111111111-2222222222-3333333333-1001");
  const std::string firefox = "C:\\Users\\alice\\AppData\\Roaming\\Mozilla\\Firefox\\";
  // The name holds a tab, an OSC title sequence ended by BEL, a C1 CSI and a
  // right-to-left override.
  const std::string name = "evil\tname\x1b]0;owned\x07\xc2\x9b"
                           "2J\xe2\x80\xae";
  image.AddFile(firefox + "profiles.ini",
                "[Profile0]\r\nName=" + name + "\r\nIsRelative=1\r\nPath=Profiles/p\r\n");
  image.AddFile(firefox + "Profiles\\p\\prefs.js", quillon::kit::BuildPrefsJs({}));
  image.AddFile(firefox + "Profiles\\p\\cookies.txt",
                ".example.com\tTRUE\t/"
                "\tFALSE\t2000000000\t\"a\tb\vc\x1b[31m\x7f\\t\"\tv\n");
  image.Commit();

  const TCliResult profiles = RunCli({"--image", dir.Path(), "profiles"});
  ASSERT_EQ(profiles.code, 0) << profiles.err;
  const auto rows = Lines(profiles.out);
  // Internet Explorer's two profiles of alice (the running user's and her hive's) come first.
  ASSERT_EQ(rows.size(), 3u) << profiles.out;
  EXPECT_EQ(std::count(rows[2].begin(), rows[2].end(), '\t'), 10) << rows[2];
  EXPECT_NE(rows[2].find("\talice (evil\\tname\\x1b]0;owned\\x07\\x9b2J\\u202e)\t"),
            std::string::npos)
      << rows[2];

  const TCliResult show = RunCli({"--image", dir.Path(), "show", "2", "cookies"});
  ASSERT_EQ(show.code, 0) << show.err;
  const auto lines = Lines(show.out);
  ASSERT_EQ(lines.size(), 2u) << show.out;
  EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\t'), 2) << lines[1];
  EXPECT_NE(lines[1].find("\ta\\tb\\x0bc\\x1b[31m\\x7f\\\\t\t"), std::string::npos) << lines[1];
  for (const std::string& out : {profiles.out, show.out})
    EXPECT_EQ(out.find_first_of("\x1b\x07\r\x7f"), std::string::npos);
}

} // namespace
