#include "formats/IniValueWriter.h"

#include "formats/IniFile.h"
#include "kit/TempDir.h"
#include "winapi/WinApi.h"
#include "winapi/image/ImageWinApi.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// What TIniFile reads as the value of the text.
std::string ReadBack(const std::string& text, const std::string& section, const std::string& key) {
  kit::TTempDir dir;
  winapi::image::TImageConfig config;
  config.imageRoot = dir.Path();
  const winapi::TWinApiScope scope(std::make_shared<winapi::image::TImageWinApi>(config));
  const std::string hostPath = dir.Path() + "/opera6.ini";
  std::ofstream(hostPath, std::ios::binary) << text;
  return TIniFile(winapi::WindowsPathFromHost(hostPath)).ReadString(section, key, "\x01none");
}

struct TWriteCase {
  const char* name;
  std::string text;
  std::string expected;
};

TEST(IniValueWriter, ChangesTheOneValueAndKeepsEveryOtherByte) {
  const std::string head = "\xEF\xBB\xBFOpera Preferences version 2.1\r\n; comment\r\n\r\n";
  const std::vector<TWriteCase> cases = {
      {"value replaced in place",
       head + "[User Prefs]\r\nHome URL=http://old/\r\nOther=1\r\n\r\n[Next]\r\nHome URL=x\r\n",
       head + "[User Prefs]\r\nHome URL=about:blank\r\nOther=1\r\n\r\n[Next]\r\nHome URL=x\r\n"},
      {"names without regard to case, blanks around \"=\" kept",
       "[user prefs]\nhome url =  http://old/  \n", "[user prefs]\nhome url =  about:blank  \n"},
      {"empty value", "[User Prefs]\r\nHome URL=\r\n", "[User Prefs]\r\nHome URL=about:blank\r\n"},
      {"the first of two keys, as the reader takes it", "[User Prefs]\nHome URL=a\nHome URL=b\n",
       "[User Prefs]\nHome URL=about:blank\nHome URL=b\n"},
      {"key in a repeated section header",
       "[User Prefs]\nA=1\n[X]\nHome URL=x\n[User Prefs]\nHome URL=old\n",
       "[User Prefs]\nA=1\n[X]\nHome URL=x\n[User Prefs]\nHome URL=about:blank\n"},
      {"a commented key is no key", "[User Prefs]\n;Home URL=c\nA=1\n\n[X]\n",
       "[User Prefs]\n;Home URL=c\nA=1\nHome URL=about:blank\n\n[X]\n"},
      {"missing key after the section's last value", head + "[User Prefs]\r\nA=1\r\n\r\n[X]\r\nB=2",
       head + "[User Prefs]\r\nA=1\r\nHome URL=about:blank\r\n\r\n[X]\r\nB=2"},
      {"missing key in a last section without a final break", "[User Prefs]",
       "[User Prefs]\r\nHome URL=about:blank\r\n"},
      {"missing section appended with the file's breaks", "[X]\nB=2",
       "[X]\nB=2\n\n[User Prefs]\nHome URL=about:blank\n"},
      {"empty file", "", "[User Prefs]\r\nHome URL=about:blank\r\n"},
  };
  for (const TWriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TIniValueWrite write = WriteIniValue(c.text, "User Prefs", "Home URL", "about:blank");
    EXPECT_EQ(write.Content, c.expected);
    EXPECT_TRUE(write.Changed);
    EXPECT_EQ(ReadBack(write.Content, "User Prefs", "Home URL"), "about:blank");
  }
}

TEST(IniValueWriter, SameValueIsNoChangeAndLineBreaksAreRefused) {
  const std::string text = "[User Prefs]\r\nHome URL=about:blank\r\n";
  const TIniValueWrite same = WriteIniValue(text, "User Prefs", "Home URL", "about:blank");
  EXPECT_FALSE(same.Changed);
  EXPECT_EQ(same.Content, text);
  for (const char* bad : {"a\r\n[Evil]", "x\ny"})
    EXPECT_THROW(WriteIniValue(text, "User Prefs", "Home URL", bad), EIniValueError);
  EXPECT_THROW(WriteIniValue(text, "A]B", "k", "v"), EIniValueError);
}

} // namespace
