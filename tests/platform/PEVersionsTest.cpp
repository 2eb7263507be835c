#include "platform/PEVersions.h"

#include "kit/PeWriter.h"
#include "kit/TempDir.h"
#include "winapi/LittleEndian.h"
#include "winapi/MemoryFiles.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

using namespace quillon;
using namespace quillon::winapi;
using quillon::kit::BuildPeFile;
using quillon::kit::TPeLayout;
using quillon::kit::TPeOptions;
using quillon::kit::TPeVersionInfo;

namespace {

const std::string kChromeExe = R"(C:\Program Files\Google\Chrome\Application\chrome.exe)";

class PEVersions : public ::testing::Test {
protected:
  quillon::test::TMemoryFiles files_;

  void Put(const std::string& bytes, const std::string& path = kChromeExe) {
    files_->Add(path, bytes);
  }

  static TPeVersionInfo ChromeInfo() {
    return kit::BrowserVersionInfo("1.0.154.48", "Google Chrome", "Google Inc.");
  }

  static std::string Exe(const TPeVersionInfo& info, bool is64 = false,
                         TPeLayout* layout = nullptr) {
    TPeOptions options;
    options.Is64 = is64;
    options.Version = info;
    return BuildPeFile(options, layout);
  }

  // All that the three operations answer for the file, in one comparable text.
  std::string Summary(const std::string& path = kChromeExe) {
    std::ostringstream out;
    std::uint32_t ms = 0, ls = 0;
    std::vector<std::string> lines;
    out << GetTranslationCount(path) << "|" << ReadVersionStrings(path, 0, lines) << "|"
        << GetFileVersionText(path, ms, ls) << "|" << ms << "|" << ls;
    for (const auto& line : lines)
      out << "|" << line;
    return out.str();
  }

  static constexpr const char* kNoVersion = "0|0||0|0";
};

// Offset of a version block's header, found by its UTF-16 key.
std::size_t BlockOffset(const std::string& file, const std::string& key) {
  std::string utf16;
  for (const char c : key) {
    utf16 += c;
    utf16 += '\0';
  }
  const std::size_t at = file.find(utf16);
  return at == std::string::npos ? at : at - 6;
}

TEST_F(PEVersions, ReadsTheStandardNamesInOrderWithEmptyValuesForMissingOnes) {
  Put(Exe(ChromeInfo()));
  std::vector<std::string> lines = {"kept"};
  ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, lines));
  const std::vector<std::string> expected = {"kept",
                                             "FileVersion=1.0.154.48",
                                             "CompanyName=Google Inc.",
                                             "InternalName=",
                                             "Comments=",
                                             "LegalCopyright=Copyright Google Inc.",
                                             "LegalTrademarks=",
                                             "OriginalFilename=",
                                             "ProductName=Google Chrome",
                                             "ProductVersion=1.0.154.48",
                                             "FileDescription=Google Chrome",
                                             "PrivateBuild=",
                                             "SpecialBuild="};
  EXPECT_EQ(lines, expected);
}

TEST_F(PEVersions, TranslatorsLineOnlyWhenItHasAValue) {
  for (const bool is64 : {false, true}) {
    TPeVersionInfo info = ChromeInfo();
    info.StringTables[0].Strings.push_back({"Translators", ""});
    Put(Exe(info, is64));
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, lines));
    EXPECT_EQ(lines.size(), 12u);

    info.StringTables[0].Strings.back().second = "de=Jörg\r\nfr=Anaïs";
    Put(Exe(info, is64));
    lines.clear();
    ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, lines));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines.back(), "Translators=de=Jörg\r\nfr=Anaïs");
  }
}

TEST_F(PEVersions, NumericVersionOfThirtyTwoAndSixtyFourBitFiles) {
  for (const bool is64 : {false, true}) {
    Put(Exe(ChromeInfo(), is64));
    std::uint32_t ms = 0, ls = 0;
    EXPECT_EQ(GetFileVersionText(kChromeExe, ms, ls), "1.0.154.48");
    EXPECT_EQ(ms, 0x00010000u);
    EXPECT_EQ(ls, 0x009A0030u);
    EXPECT_EQ(GetTranslationCount(kChromeExe), 1);
  }
  // The fixed file version counts, not the FileVersion string; parts print unsigned.
  TPeVersionInfo info = kit::BrowserVersionInfo("3.6.28", "Firefox", "Mozilla Corporation");
  info.FileVersion = {65535, 0, 65534, 7};
  Put(Exe(info, true));
  EXPECT_EQ(GetFileVersionText(kChromeExe), "65535.0.65534.7");
}

TEST_F(PEVersions, ReadsTheStringTableOfTheChosenTranslation) {
  TPeVersionInfo info = ChromeInfo();
  info.Translations = {{0x0409, 1200}, {0x0407, 1252}};
  info.StringTables.push_back({0x0407, 1252, {{"ProductName", "Google Chrome (Deutsch)"}}});
  Put(Exe(info));
  EXPECT_EQ(GetTranslationCount(kChromeExe), 2);

  std::vector<std::string> lines;
  ASSERT_TRUE(ReadVersionStrings(kChromeExe, 1, lines));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[7], "ProductName=Google Chrome (Deutsch)");
  EXPECT_EQ(lines[0], "FileVersion=");

  // Past the table is an error, and the caller's list stays as it was.
  lines.clear();
  EXPECT_FALSE(ReadVersionStrings(kChromeExe, 2, lines));
  EXPECT_FALSE(ReadVersionStrings(kChromeExe, -1, lines));
  EXPECT_TRUE(lines.empty());
}

TEST_F(PEVersions, StringTableKeyMatchesWithoutRegardToCase) {
  std::string file = Exe(ChromeInfo());
  const std::size_t table = BlockOffset(file, "040904B0");
  ASSERT_NE(table, std::string::npos);
  file[table + 6 + 2 * 6] = 'b'; // "040904b0", as some resource compilers write it
  Put(file);
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, lines));
  EXPECT_EQ(lines[7], "ProductName=Google Chrome");
}

TEST_F(PEVersions, StringLengthFieldsDoNotCutTheText) {
  TPeVersionInfo info = ChromeInfo();
  info.StringTables[0].Strings.push_back({"Translators", "nl=Joost"});
  std::vector<std::string> normal, legacy;
  Put(Exe(info));
  ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, normal));
  info.LegacyStringLengths = true;
  Put(Exe(info));
  ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, legacy));
  EXPECT_EQ(legacy, normal);
  EXPECT_EQ(legacy.size(), 13u);

  std::string file = Exe(ChromeInfo());
  PutU16At(file, BlockOffset(file, "CompanyName") + 2, 0);
  Put(file);
  std::vector<std::string> zeroLength;
  ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, zeroLength));
  EXPECT_EQ(zeroLength[1], "CompanyName=Google Inc.");
}

TEST_F(PEVersions, SubBlockQueriesAcceptSingleAndDoubledBackslashes) {
  TPeVersionInfo info = ChromeInfo();
  info.Translations = {{0x0409, 1200}, {0x0C0A, 0x04E4}};
  const std::string file = Exe(info);
  const auto resource = FindVersionResource(file);
  ASSERT_TRUE(resource);

  std::string_view table;
  ASSERT_TRUE(VerQueryValue(*resource, R"(\VarFileInfo\Translation)", table));
  EXPECT_EQ(table, std::string_view("\x09\x04\xB0\x04\x0A\x0C\xE4\x04", 8));
  ASSERT_TRUE(VerQueryValue(*resource, R"(\\varfileinfo\\TRANSLATION)", table));
  EXPECT_EQ(table.size(), 8u);

  std::string text;
  EXPECT_TRUE(VerQueryText(*resource, R"(\\StringFileInfo\\040904B0\\CompanyName)", text));
  EXPECT_EQ(text, "Google Inc.");
  EXPECT_TRUE(VerQueryText(*resource, R"(\StringFileInfo\040904B0\CompanyName)", text));
  EXPECT_EQ(text, "Google Inc.");
  EXPECT_FALSE(VerQueryText(*resource, R"(\StringFileInfo\040904B0\Missing)", text));
  EXPECT_FALSE(VerQueryText(*resource, R"(\StringFileInfo\0C0A04E4\CompanyName)", text));

  // A value longer than its block is cut at the block's end, not read from what follows.
  std::string damaged(*resource);
  PutU16At(damaged, BlockOffset(damaged, "Translation") + 2, 0xFFFF);
  damaged += std::string(64, 'x');
  ASSERT_TRUE(VerQueryValue(damaged, R"(\VarFileInfo\Translation)", table));
  EXPECT_EQ(table.size(), 8u);

  std::string_view fixed;
  ASSERT_TRUE(VerQueryValue(*resource, R"(\)", fixed));
  EXPECT_EQ(fixed.size(), 52u);

  EXPECT_EQ(TranslationKey(0x0C0A, 0x04E4), "0C0A04E4");
  EXPECT_EQ(TranslationKey(0xABCD, 0x00EF), "ABCD00EF");
}

TEST_F(PEVersions, FilesWithoutVersionResourceOrWithoutTranslations) {
  TPeOptions options;
  options.Version.reset();
  Put(BuildPeFile(options));
  EXPECT_EQ(Summary(), kNoVersion);

  EXPECT_EQ(Summary(R"(C:\missing.exe)"), kNoVersion);
  Put("not an executable");
  EXPECT_EQ(Summary(), kNoVersion);

  // A resource without a translation table still has a numeric version.
  TPeVersionInfo info = ChromeInfo();
  info.Translations.clear();
  Put(Exe(info));
  EXPECT_EQ(Summary(), "0|0|1.0.154.48|65536|10092592");
}

TEST_F(PEVersions, RealSampleWithoutVersionResource) {
  std::ifstream in(QUILLON_SAMPLES_DIR "/pe/plaso_test_pe.exe", std::ios::binary);
  if (!in)
    GTEST_SKIP() << "sample " QUILLON_SAMPLES_DIR "/pe/plaso_test_pe.exe is absent";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  Put(bytes.str());
  EXPECT_EQ(Summary(), kNoVersion);
}

TEST_F(PEVersions, EveryTruncationReadsAsNoResourceUntilTheResourceIsComplete) {
  for (const bool is64 : {false, true}) {
    TPeLayout layout;
    TPeVersionInfo info = ChromeInfo();
    info.StringTables[0].Strings.push_back({"Translators", "x=y"});
    const std::string file = Exe(info, is64, &layout);
    Put(file);
    const std::string whole = Summary();
    ASSERT_NE(whole, kNoVersion);
    const std::size_t complete = layout.VersionData + layout.VersionSize;
    for (std::size_t length = 0; length < file.size(); ++length) {
      Put(file.substr(0, length));
      ASSERT_EQ(Summary(), length < complete ? kNoVersion : whole)
          << "length " << length << (is64 ? " (64-bit)" : " (32-bit)");
    }
  }
}

TEST_F(PEVersions, DamagedResourceTreeReadsAsNoResource) {
  TPeLayout layout;
  const std::string good = Exe(ChromeInfo(), false, &layout);
  const std::size_t rsrc = layout.ResourceSection;
  const std::size_t dataDirectory = layout.OptionalHeader + 96 + 2 * 8;
  struct TDamage {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
    bool stillReads = false; // the damage lies beside the path to the resource
  };
  const TDamage damages[] = {
      {"type entry points at the root", rsrc + 0x14, 0x80000000u},
      {"name entry points at itself", rsrc + 0x18 + 0x14, 0x80000018u},
      {"language entry is a directory pointing at the root", rsrc + 0x30 + 0x14, 0x80000000u},
      {"version resource named 2, not 1", rsrc + 0x18 + 0x10, 2, true},
      {"type entry is a leaf", rsrc + 0x14, 0x18},
      {"name entry is a leaf", rsrc + 0x18 + 0x14, 0x30},
      {"directory at an odd offset", rsrc + 0x14, 0x80000019u},
      {"data entry at an odd offset", rsrc + 0x30 + 0x14, 0x49},
      {"directory offset past the section", rsrc + 0x14, 0x8FFFFFF0u},
      {"huge entry counts", rsrc + 0x0C, 0xFFFFFFFFu, true},
      {"huge data size", rsrc + 0x4C, 0xFFFFFFFFu},
      {"zero data size", rsrc + 0x4C, 0},
      {"data outside every section", rsrc + 0x48, 0x7FFF0000u},
      {"resource directory outside every section", dataDirectory, 0x00900000u},
      {"no resource directory", dataDirectory, 0},
      {"PE header offset past the file", 0x3C, 0xFFFFFFF0u},
      {"unknown optional header", layout.OptionalHeader, 0x0107},
      {"section count past the file", 0x40 + 4, 0xFFFF0000u | 0x014C},
      {"section data past the file", layout.SectionTable + 40 + 20, 0xFFFFFE00u},
      {"resource runs past its section's data", layout.SectionTable + 40 + 16, 0x60},
      {"section raw size past the file", layout.SectionTable + 40 + 16, 0xFFFFFFFFu, true},
  };
  Put(good);
  const std::string whole = Summary();
  for (const TDamage& d : damages) {
    std::string file = good;
    PutU32At(file, d.offset, d.value);
    Put(file);
    EXPECT_EQ(Summary(), d.stillReads ? whole : kNoVersion) << d.what;
  }
}

TEST_F(PEVersions, DamagedVersionBlocksEndTheWalk) {
  TPeLayout layout;
  const std::string good = Exe(ChromeInfo(), true, &layout);
  const std::size_t root = layout.VersionData;
  ASSERT_EQ(BlockOffset(good, "VS_VERSION_INFO"), root);

  for (const std::uint16_t rootLength : {0, 5, 0xFFFF}) {
    std::string file = good;
    PutU16At(file, root, rootLength);
    Put(file);
    EXPECT_EQ(Summary(), kNoVersion) << "root length " << rootLength;
  }

  // A child that claims more than its parent holds, or nothing at all, ends the walk there:
  // what lies before it is still read, nothing after it.
  for (const std::uint16_t length : {0, 0xFFFF}) {
    std::string file = good;
    PutU16At(file, BlockOffset(good, "StringFileInfo"), length);
    Put(file);
    std::vector<std::string> lines;
    EXPECT_EQ(GetTranslationCount(kChromeExe), 0) << length;
    EXPECT_FALSE(ReadVersionStrings(kChromeExe, 0, lines));
    EXPECT_EQ(GetFileVersionText(kChromeExe), "1.0.154.48");

    file = good;
    PutU16At(file, BlockOffset(good, "CompanyName"), length);
    Put(file);
    lines.clear();
    ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, lines));
    EXPECT_EQ(lines[1], "CompanyName=");
    EXPECT_EQ(lines[7], "ProductName=");
    EXPECT_EQ(GetTranslationCount(kChromeExe), 1);
  }

  // A value longer than its block is cut at the block's end.
  {
    std::string file = good;
    PutU16At(file, BlockOffset(good, "ProductName") + 2, 0xFFFF);
    Put(file);
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, lines));
    EXPECT_EQ(lines[7], "ProductName=Google Chrome");
    EXPECT_EQ(lines[8], "ProductVersion=1.0.154.48");
  }

  // A fixed file information block without its signature is no numeric version.
  std::string file = good;
  PutU32At(file, root + 40, 0x12345678);
  Put(file);
  EXPECT_EQ(GetFileVersionText(kChromeExe), "");
  EXPECT_EQ(GetTranslationCount(kChromeExe), 1);

  // Nor is one shorter than the structure.
  file = good;
  PutU16At(file, root + 2, 16);
  Put(file);
  EXPECT_EQ(GetFileVersionText(kChromeExe), "");

  // A key that runs to the end of its block without a terminator.
  file = good;
  const std::size_t value = BlockOffset(good, "ProductName");
  PutU16At(file, value, 6 + 2 * 11); // "ProductName" and no NUL
  Put(file);
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadVersionStrings(kChromeExe, 0, lines));
  EXPECT_EQ(lines[7], "ProductName=");
}

// Random damage anywhere in the resource: whatever the reader makes of it, its three answers
// agree with one another.
TEST_F(PEVersions, RandomDamageGivesConsistentAnswers) {
  TPeLayout layout;
  TPeVersionInfo info = ChromeInfo();
  info.Translations = {{0x0409, 1200}, {0x0407, 1252}};
  info.StringTables.push_back({0x0407, 1252, {{"Translators", "a=b"}}});
  const std::string good = Exe(info, true, &layout);
  std::mt19937 random(20100308);
  std::uniform_int_distribution<std::size_t> where(layout.ResourceSection,
                                                   layout.VersionData + layout.VersionSize - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 1000; ++round) {
    std::string file = good;
    for (int flips = 1 + round % 4; flips > 0; --flips)
      file[where(random)] = static_cast<char>(byte(random));
    Put(file);
    const int count = GetTranslationCount(kChromeExe);
    std::uint32_t ms = 0, ls = 0;
    const std::string version = GetFileVersionText(kChromeExe, ms, ls);
    if (!version.empty())
      EXPECT_EQ(version, std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
                             std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF));
    else
      EXPECT_EQ(ms | ls, 0u);
    for (int index = 0; index <= count; ++index) {
      std::vector<std::string> lines;
      const bool read = ReadVersionStrings(kChromeExe, index, lines);
      ASSERT_EQ(read, index < count) << "round " << round << " index " << index;
      if (read)
        EXPECT_TRUE(lines.size() == 12 || lines.size() == 13) << "round " << round;
      else
        EXPECT_TRUE(lines.empty());
    }
  }
}

std::string CommandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe)
    return output;
  std::array<char, 256> buf{};
  while (fgets(buf.data(), buf.size(), pipe))
    output += buf.data();
  pclose(pipe);
  return output;
}

// peres reads the fixed information 8 bytes off (its "Product Version" line shows the file
// version words), so it serves only to confirm that an independent reader finds the resource.
TEST(PEVersionsCrossCheck, PeresFindsTheResourceTheKitWrites) {
  if (std::system("command -v peres >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "peres (package pev) is not installed";
  kit::TTempDir dir;
  const std::string path = dir.Path() + "/firefox.exe";
  for (const bool is64 : {false, true}) {
    TPeOptions options;
    options.Is64 = is64;
    options.Version = kit::BrowserVersionInfo("3.6.28.0", "Firefox", "Mozilla Corporation");
    kit::WritePeFile(path, options);
    const std::string output = CommandOutput("peres -v '" + path + "' 2>/dev/null");
    EXPECT_NE(output.find("Product Version:"), std::string::npos) << output;
    EXPECT_NE(output.find("3.6.28.0"), std::string::npos) << output;

    options.Version.reset();
    kit::WritePeFile(path, options);
    const std::string none = CommandOutput("peres -v '" + path + "' 2>/dev/null");
    EXPECT_EQ(none.find("Version:"), std::string::npos) << none;
  }
}

} // namespace
