#include "formats/IniFile.h"

#include "formats/StoreLimits.h"
#include "kit/TempDir.h"
#include "winapi/WinApi.h"
#include "winapi/image/ImageWinApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace quillon;

// Writes content to a file of a small image and reads it as an INI file.
TIniFile LoadIni(const std::string& content) {
  kit::TTempDir dir;
  winapi::image::TImageConfig config;
  config.imageRoot = dir.Path();
  const winapi::TWinApiScope scope(std::make_shared<winapi::image::TImageWinApi>(config));
  const std::string hostPath = dir.Path() + "/profiles.ini";
  std::ofstream(hostPath, std::ios::binary) << content;
  return TIniFile(winapi::WindowsPathFromHost(hostPath));
}

TEST(IniFile, KeepsSectionOrderAndFindsNamesWithoutRegardToCase) {
  const TIniFile ini =
      LoadIni("\xEF\xBB\xBF; written by hand\r\n[General]\r\nStartWithLastProfile=1\r\n"
              "[Profile1]\r\nName = second \r\nPath=b\r\n"
              "[Profile0]\nName=first\nName=ignored\nPath=Profiles/a=b\n"
              "[profile1]\nIsRelative=1\n");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"General", "Profile1", "Profile0"}));
  EXPECT_EQ(ini.ReadString("PROFILE1", "name", "x"), "second");
  EXPECT_EQ(ini.ReadString("Profile0", "Name", "x"), "first");
  EXPECT_EQ(ini.ReadString("Profile0", "Path", ""), "Profiles/a=b");
  // A repeated section header continues the section.
  EXPECT_EQ(ini.ReadInteger("Profile1", "IsRelative", 0), 1);
}

TEST(IniFile, MissingOrMalformedValuesGiveTheDefault) {
  const TIniFile ini = LoadIni("[Profile0]\nIsRelative=yes\nEmpty=\nHex=0x1F\nNegative=-3\n");
  EXPECT_EQ(ini.ReadString("Profile0", "Name", "Profile0"), "Profile0");
  EXPECT_EQ(ini.ReadString("Missing", "Name", "d"), "d");
  EXPECT_EQ(ini.ReadString("Profile0", "Empty", "d"), "");
  EXPECT_EQ(ini.ReadInteger("Profile0", "IsRelative", 0), 0);
  EXPECT_EQ(ini.ReadInteger("Profile0", "Empty", 7), 7);
  EXPECT_EQ(ini.ReadInteger("Profile0", "Hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("Profile0", "Negative", 0), -3);
  EXPECT_TRUE(LoadIni("").ReadSections().empty());
}

// Found by fuzzing: a doubled sign was read as a number, and "--2147483648" overflowed.
TEST(IniFile, IntegersTakeOneSignAndStayInRange) {
  const TIniFile ini = LoadIni("[P]\nA=--2147483648\nB=+-5\nC=-2147483648\nD=2147483648\n"
                               "E=-0x10\n");
  EXPECT_EQ(ini.ReadInteger("P", "A", 7), 7);
  EXPECT_EQ(ini.ReadInteger("P", "B", 7), 7);
  EXPECT_EQ(ini.ReadInteger("P", "C", 7), -2147483647 - 1);
  EXPECT_EQ(ini.ReadInteger("P", "D", 7), 7);
  EXPECT_EQ(ini.ReadInteger("P", "E", 7), -16);
}

// Found by fuzzing: each section header searched all earlier sections, so a file of some
// hundred thousand sections took minutes. A header seen before still continues its section.
TEST(IniFile, ManySectionsReadInFileOrder) {
  constexpr int kSections = 60000;
  std::string text;
  for (int i = 0; i < kSections; ++i)
    text += "[Profile" + std::to_string(i) + "]\nPath=p" + std::to_string(i) + "\n";
  text += "[PROFILE0]\nName=first\n";
  const TIniFile ini = LoadIni(text);
  const std::vector<std::string> sections = ini.ReadSections();
  ASSERT_EQ(sections.size(), static_cast<std::size_t>(kSections));
  EXPECT_EQ(sections.back(), "Profile59999");
  EXPECT_EQ(ini.ReadString("profile59999", "Path", ""), "p59999");
  EXPECT_EQ(ini.ReadString("Profile0", "Name", ""), "first");
}

TEST(IniFile, MissingFileIsEmpty) {
  EXPECT_TRUE(LoadIni("[a]\n").ReadSections().size() == 1);
  kit::TTempDir dir;
  winapi::image::TImageConfig config;
  config.imageRoot = dir.Path();
  const winapi::TWinApiScope scope(std::make_shared<winapi::image::TImageWinApi>(config));
  EXPECT_TRUE(TIniFile("C:\\nothing\\profiles.ini").ReadSections().empty());
}

TEST(IniFile, AFileLargerThanItsLimitIsRefusedUnread) {
  kit::TTempDir dir;
  winapi::image::TImageConfig config;
  config.imageRoot = dir.Path();
  const winapi::TWinApiScope scope(std::make_shared<winapi::image::TImageWinApi>(config));
  std::ofstream(dir.Path() + "/profiles.ini") << "[Profile0]\nPath=a\n";
  std::filesystem::resize_file(dir.Path() + "/profiles.ini", kIniFileLimit);
  EXPECT_EQ(TIniFile("C:\\profiles.ini").ReadString("Profile0", "Path", ""), "a");
  std::filesystem::resize_file(dir.Path() + "/profiles.ini", kIniFileLimit + 1);
  EXPECT_THROW(TIniFile("C:\\profiles.ini"), EFileTooLarge);
}

} // namespace
