#include "winapi/image/Hive.h"

#include "RegistryTestSupport.h"
#include "kit/HiveWriter.h"
#include "kit/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quillon::winapi;
using namespace quillon::winapi::image;
using quillon::kit::THiveWriter;
using quillon::kit::TTempDir;
using quillon::test::ReadHostFile;
using quillon::test::RunTool;
using quillon::test::ToolAvailable;

namespace {

std::string U16(std::u16string_view s) {
  std::string out;
  for (const char16_t c : s) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::vector<std::string> ChildNames(hive_h* h, hive_node_h node) {
  std::vector<std::string> names;
  hive_node_h* children = hivex_node_children(h, node);
  for (hive_node_h* c = children; c && *c; ++c) {
    char* name = hivex_node_name(h, *c);
    names.emplace_back(name);
    std::free(name);
  }
  std::free(children);
  return names;
}

} // namespace

TEST(EmptyHive, OpensInHivexAndCanBeExtended) {
  TTempDir dir;
  const std::string path = dir.Path() + "/empty.hiv";
  ASSERT_TRUE(CreateEmptyHive(path, "ROOT"));
  {
    THiveHandle h = OpenHive(path, true);
    ASSERT_TRUE(h) << "hivex rejects the empty hive";
    const hive_node_h root = hivex_root(h.get());
    EXPECT_EQ(hivex_node_nr_children(h.get(), root), 0u);
    EXPECT_TRUE(HiveTreeIsSound(h.get()));
    const hive_node_h child = AddChild(h.get(), root, "Software");
    ASSERT_NE(child, 0u);
    const hive_node_h grandChild = AddChild(h.get(), child, "Vendor");
    ASSERT_NE(grandChild, 0u);
    ASSERT_TRUE(WriteValue(h.get(), grandChild, "Name", REG_SZ, EncodeValueData(REG_SZ, "x")));
    ASSERT_TRUE(CommitHive(h.get(), path));
  }
  THiveHandle h = OpenHive(path, false);
  ASSERT_TRUE(h);
  const hive_node_h vendor =
      FindChild(h.get(), FindChild(h.get(), hivex_root(h.get()), "software"), "VENDOR");
  ASSERT_NE(vendor, 0u);
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(h.get(), FindValue(h.get(), vendor, "name"), type, bytes));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(bytes, U16(u"x") + std::string(2, '\0'));
  EXPECT_FALSE(std::filesystem::exists(CommitTempPath(path)));
}

TEST(EmptyHive, IsAcceptedByAnIndependentReader) {
  if (!ToolAvailable("regfinfo"))
    GTEST_SKIP() << "regfinfo (libregf-utils) is not installed";
  TTempDir dir;
  const std::string path = dir.Path() + "/empty.hiv";
  ASSERT_TRUE(CreateEmptyHive(path, "ROOT"));
  const std::string info = RunTool("regfinfo '" + path + "'");
  EXPECT_NE(info.find("Version:\t1.5"), std::string::npos) << info;
  EXPECT_NE(info.find("(key:) ROOT"), std::string::npos) << info;
}

TEST(HiveValueData, StringsBecomeUtf16WithTerminatorAndComeBackNulEnded) {
  struct TCase {
    DWORD type;
    std::string in;      // as RegSetValueExA takes it
    std::string stored;  // as the hive holds it
    std::string queried; // as RegQueryValueExA returns it
  };
  const std::string nul(1, '\0');
  const std::string nul2(2, '\0');
  const TCase cases[] = {
      {REG_SZ, "abc", U16(u"abc") + nul2, "abc" + nul},
      {REG_SZ, "abc" + nul, U16(u"abc") + nul2, "abc" + nul},
      {REG_EXPAND_SZ, "%USERPROFILE%\\x", U16(u"%USERPROFILE%\\x") + nul2,
       "%USERPROFILE%\\x" + nul},
      {REG_SZ, "", nul2, nul},
      {REG_SZ, "Gr\xC3\xBC\xC3\x9F \xE6\x97\xA5 \xF0\x9F\x98\x80", U16(u"Grüß 日 😀") + nul2,
       "Gr\xC3\xBC\xC3\x9F \xE6\x97\xA5 \xF0\x9F\x98\x80" + nul},
      {REG_MULTI_SZ, "b" + nul + "a" + nul + "c" + nul + nul,
       U16(u"b") + nul2 + U16(u"a") + nul2 + U16(u"c") + nul2 + nul2,
       "b" + nul + "a" + nul + "c" + nul + nul},
      {REG_MULTI_SZ, "one" + nul + "\xC3\xA4", U16(u"one") + nul2 + U16(u"ä") + nul2 + nul2,
       "one" + nul + "\xC3\xA4" + nul + nul},
      {REG_MULTI_SZ, "", nul2, nul},
      {REG_BINARY, std::string("\x00\xFF\x10", 3), std::string("\x00\xFF\x10", 3),
       std::string("\x00\xFF\x10", 3)},
      {REG_DWORD, std::string("\x01\x02\x03\x04", 4), std::string("\x01\x02\x03\x04", 4),
       std::string("\x01\x02\x03\x04", 4)},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(EncodeValueData(c.type, c.in), c.stored) << "type " << c.type << " " << c.in;
    EXPECT_EQ(DecodeValueData(c.type, c.stored), c.queried) << "type " << c.type << " " << c.in;
  }
}

TEST(HiveValueData, ToleratesStoredStringsThatBreakTheRules) {
  // No terminator, an odd byte at the end, a lone surrogate, text after the terminator.
  EXPECT_EQ(DecodeValueData(REG_SZ, U16(u"ab")), std::string("ab\0", 3));
  EXPECT_EQ(DecodeValueData(REG_SZ, U16(u"ab") + "x"), std::string("ab\0", 3));
  EXPECT_EQ(DecodeValueData(REG_SZ, U16(u"a") + std::string("\x00\xD8", 2)),
            std::string("a\xEF\xBF\xBD\0", 5));
  EXPECT_EQ(DecodeValueData(REG_SZ, U16(u"a") + std::string(2, '\0') + U16(u"junk")),
            std::string("a\0", 2));
  // A multi-string without its final NUL still yields its strings.
  EXPECT_EQ(DecodeValueData(REG_MULTI_SZ, U16(u"x") + std::string(2, '\0') + U16(u"y")),
            std::string("x\0y\0\0", 5));
}

TEST(RegistryNames, CompareWithoutRegardToCase) {
  EXPECT_TRUE(SameRegistryName("Software", "SOFTWARE"));
  EXPECT_TRUE(SameRegistryName("\xC3\xA4rger", "\xC3\x84RGER")); // ärger / ÄRGER
  EXPECT_TRUE(SameRegistryName("\xD0\xBF\xD1\x80\xD0\xB8", "\xD0\x9F\xD0\xA0\xD0\x98")); // при
  EXPECT_TRUE(SameRegistryName("\xC5\xBE\xC3\xBF", "\xC5\xBD\xC5\xB8")); // žÿ / ŽŸ
  EXPECT_FALSE(SameRegistryName("\xC5\xB8", "\xC5\xB7"));                // Ÿ / ŷ
  EXPECT_FALSE(SameRegistryName("Software", "Softwar"));
  EXPECT_FALSE(SameRegistryName("a", "b"));
  EXPECT_TRUE(SameRegistryName("", ""));
}

TEST(RegistryNames, SplitKeyPathDropsEmptyComponents) {
  EXPECT_EQ(SplitKeyPath("\\Software\\Wow6432Node\\"),
            (std::vector<std::string>{"Software", "Wow6432Node"}));
  EXPECT_EQ(SplitKeyPath("A\\\\B"), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(SplitKeyPath("\\").empty());
  EXPECT_TRUE(SplitKeyPath("").empty());
}

TEST(HiveWrites, ReplacingAValueKeepsItsPlaceAndNameAndRemovingKeepsTheOthers) {
  TTempDir dir;
  const std::string path = dir.Path() + "/h.hiv";
  ASSERT_TRUE(CreateEmptyHive(path));
  THiveHandle h = OpenHive(path, true);
  const hive_node_h key = AddChild(h.get(), hivex_root(h.get()), "K");
  for (const char* name : {"First", "Second", "Third"})
    ASSERT_TRUE(WriteValue(h.get(), key, name, REG_SZ, EncodeValueData(REG_SZ, name)));
  ASSERT_TRUE(WriteValue(h.get(), key, "SECOND", REG_DWORD, std::string(4, '\x07')));
  ASSERT_TRUE(RemoveValue(h.get(), key, "first"));
  EXPECT_FALSE(RemoveValue(h.get(), key, "absent"));

  std::vector<std::string> names;
  hive_value_h* values = hivex_node_values(h.get(), key);
  for (hive_value_h* v = values; *v; ++v) {
    char* name = hivex_value_key(h.get(), *v);
    names.emplace_back(name);
    std::free(name);
  }
  std::free(values);
  EXPECT_EQ(names, (std::vector<std::string>{"Second", "Third"}));
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(h.get(), FindValue(h.get(), key, "second"), type, bytes));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(bytes, std::string(4, '\x07'));
}

TEST(HiveWrites, NonLatinKeyNamesRoundTrip) {
  TTempDir dir;
  const std::string path = dir.Path() + "/h.hiv";
  ASSERT_TRUE(CreateEmptyHive(path));
  {
    THiveHandle h = OpenHive(path, true);
    const hive_node_h root = hivex_root(h.get());
    ASSERT_NE(AddChild(h.get(), root, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"), 0u);
    ASSERT_NE(AddChild(h.get(), root, "Caf\xC3\xA9"), 0u);
    bool created = true;
    AddChild(h.get(), root, "CAF\xC3\x89", &created);
    EXPECT_FALSE(created) << "a name differing only in case is the same key";
    ASSERT_TRUE(CommitHive(h.get(), path));
  }
  THiveHandle h = OpenHive(path, false);
  EXPECT_EQ(ChildNames(h.get(), hivex_root(h.get())),
            (std::vector<std::string>{"Caf\xC3\xA9",
                                      "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"}));
}

TEST(HiveTree, DamagedSubKeyListIsDetected) {
  const std::string dirPath = QUILLON_SAMPLES_DIR "/registry";
  if (!std::filesystem::exists(dirPath + "/plaso_corrupt_sub_key_list.hiv"))
    GTEST_SKIP() << "registry samples are not available";
  THiveHandle corrupt = OpenHive(dirPath + "/plaso_corrupt_sub_key_list.hiv", false);
  ASSERT_TRUE(corrupt) << "hivex opens the file; the damage is inside the tree";
  EXPECT_FALSE(HiveTreeIsSound(corrupt.get()));
  for (const char* good : {"plaso_NTUSER.DAT", "plaso_NTUSER-WIN7.DAT", "plaso_regf_SAM"}) {
    THiveHandle h = OpenHive(dirPath + "/" + good, false);
    ASSERT_TRUE(h) << good;
    EXPECT_TRUE(HiveTreeIsSound(h.get())) << good;
  }
}

TEST(CommitHive, FailureLeavesTheFileUntouchedAndNoTemporaryFile) {
  TTempDir dir;
  const std::string path = dir.Path() + "/h.hiv";
  ASSERT_TRUE(CreateEmptyHive(path));
  const std::string before = ReadHostFile(path);
  THiveHandle h = OpenHive(path, true);
  AddChild(h.get(), hivex_root(h.get()), "New");
  // Something that is not a file where the temporary file goes.
  std::filesystem::create_directory(CommitTempPath(path));
  EXPECT_FALSE(CommitHive(h.get(), path));
  EXPECT_EQ(ReadHostFile(path), before);
  EXPECT_TRUE(std::filesystem::is_directory(CommitTempPath(path)));
}

// Hives our writer makes read the same in independent readers.
class HiveCrossCheck : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = dir_.Path() + "/x.hiv";
    THiveWriter w(path_);
    w.SetString("Software\\Vendor", "Plain", "hello");
    w.SetString("Software\\Vendor", "Expand", "%USERPROFILE%\\a", REG_EXPAND_SZ);
    w.SetString("Software\\Vendor", "", "default");
    w.SetMultiString("Software\\Vendor", "Multi", {"zeta", "alpha", "mid"});
    w.SetDword("Software\\Vendor", "Dword", 0x12345678);
    w.SetQword("Software\\Vendor", "Qword", 0x0102030405060708ull);
    w.SetRaw("Software\\Vendor", "Bin", REG_BINARY, std::string("\x00\x01\xFE", 3));
    w.SetString("Software\\Vendor\\Sub", "Umlaut", "gr\xC3\xBC\xC3\x9F");
    w.CreateKey("Empty\\Key");
    w.Commit();
  }
  TTempDir dir_;
  std::string path_;
};

TEST_F(HiveCrossCheck, HivexregeditExportShowsEveryValue) {
  if (!ToolAvailable("hivexregedit"))
    GTEST_SKIP() << "hivexregedit (libwin-hivex-perl) is not installed";
  const std::string out = RunTool("hivexregedit --export '" + path_ + "' '\\'");
  for (const std::string line :
       {"[\\Software\\Vendor]", "[\\Software\\Vendor\\Sub]", "[\\Empty\\Key]",
        "\"Plain\"=hex(1):68,00,65,00,6c,00,6c,00,6f,00,00,00",
        "\"Expand\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,00,"
        "45,00,25,00,5c,00,61,00,00,00",
        "@=hex(1):64,00,65,00,66,00,61,00,75,00,6c,00,74,00,00,00",
        "\"Multi\"=hex(7):7a,00,65,00,74,00,61,00,00,00,61,00,6c,00,70,00,68,00,61,00,00,00,"
        "6d,00,69,00,64,00,00,00,00,00",
        "\"Dword\"=dword:12345678", "\"Qword\"=hex(b):08,07,06,05,04,03,02,01",
        "\"Bin\"=hex(3):00,01,fe", "\"Umlaut\"=hex(1):67,00,72,00,fc,00,df,00,00,00"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n--- export:\n" << out;
}

TEST_F(HiveCrossCheck, RegfexportShowsEveryValue) {
  if (!ToolAvailable("regfexport"))
    GTEST_SKIP() << "regfexport (libregf-utils) is not installed";
  const std::string out = RunTool("regfexport '" + path_ + "'");
  for (const std::string text :
       {"Key path: ROOT\\Software\\Vendor\n", "Key path: ROOT\\Empty\\Key\n",
        "Value: 0 Plain\nType: string (REG_SZ)\nData size: 12\nData: hello\n",
        "Type: expandable string (REG_EXPAND_SZ)\nData size: 32\nData: %USERPROFILE%\\a\n",
        "(default)\nType: string (REG_SZ)\nData size: 16\nData: default\n",
        "Type: 32-bit integer little-endian (REG_DWORD_LITTLE_ENDIAN)\nData size: 4\nData: "
        "305419896\n",
        "Type: 64-bit integer little-endian (REG_QWORD_LITTLE_ENDIAN)\nData size: 8\nData: "
        "72623859790382856\n",
        "Data: gr\xC3\xBC\xC3\x9F\n"})
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n--- export:\n" << out;
}
