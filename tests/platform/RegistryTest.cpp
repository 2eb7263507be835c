#include "platform/Registry.h"

#include "platform/PlatformImage.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillon;
using namespace quillon::winapi;
using quillon::test::TPlatformImage;
using quillon::test::TRegistrySpy;

namespace {

// A 64-bit image whose hives a test fills before Install(); the spy then watches its registry.
class RegistryTest : public ::testing::Test {
protected:
  kit::THiveWriter& Software() { return image_.builder->Software(); }    // HKLM\SOFTWARE
  kit::THiveWriter& User() { return image_.builder->UserHive("alice"); } // HKCU
  TRegistrySpy& Install() {
    image_.Install();
    return image_.SpyOnRegistry();
  }
  static std::vector<REGSAM> MasksFor(const TRegistrySpy& spy, const std::string& path) {
    std::vector<REGSAM> masks;
    for (const auto& open : spy.Opens)
      if (open.Path == FoldedName(path))
        masks.push_back(open.Mask);
    return masks;
  }

  TPlatformImage image_;
};

TEST_F(RegistryTest, KeyGrantingOnlyQueryValueStillOpensForReading) {
  User().SetString("Software\\Opera Software", "Last Directory3", "C:\\Opera");
  TRegistrySpy& spy = Install();
  spy.Grant("HKCU\\Software\\Opera Software", KEY_QUERY_VALUE);
  std::string text;
  ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, "\\Software\\Opera Software\\", "Last Directory3",
                            32, text));
  EXPECT_EQ(text, "C:\\Opera");
  EXPECT_EQ(MasksFor(spy, "HKCU\\Software\\Opera Software"),
            (std::vector<REGSAM>{KEY_READ, 0x20009, KEY_QUERY_VALUE}));
  EXPECT_EQ(spy.OpenKeyHandles(), 0u);
}

TEST_F(RegistryTest, ViewsReadNativeAndRedirectedKeysWithTheirFlags) {
  TRegistrySpy& spy = Install();
  std::string text64, text32;
  ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, "\\Software\\Microsoft\\Windows\\CurrentVersion\\",
                            "ProgramFilesDir", 64, text64));
  ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, "\\Software\\Microsoft\\Windows\\CurrentVersion\\",
                            "ProgramFilesDir", 32, text32));
  EXPECT_EQ(text64, "C:\\Program Files");
  EXPECT_EQ(text32, "C:\\Program Files (x86)");
  ASSERT_EQ(spy.Opens.size(), 2u);
  EXPECT_EQ(spy.Opens[0].Mask, KEY_READ | KEY_WOW64_64KEY);
  EXPECT_EQ(spy.Opens[1].Mask, KEY_READ); // a 32-bit process sets no view flag

  spy.Opens.clear();
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, "\\Software\\Quillon\\", "A", 64, "x"));
  ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, "\\Software\\Quillon\\", "A", 32, "y"));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Quillon\\", 1));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Quillon\\", 0));
  ASSERT_EQ(spy.Opens.size(), 4u);
  EXPECT_EQ(spy.Opens[0].Mask, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
  EXPECT_EQ(spy.Opens[1].Mask, KEY_ALL_ACCESS);
  EXPECT_EQ(spy.Opens[2].Mask, 0x20009u | KEY_WOW64_64KEY);
  EXPECT_EQ(spy.Opens[3].Mask, 0x20009u);
  for (const auto& open : spy.Opens)
    EXPECT_EQ(open.Mask & KEY_WOW64_32KEY, 0u);
  // The 32-bit write went below Wow6432Node of the hive file.
  image_.Reopen();
  std::string native, redirected;
  ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, "\\Software\\Quillon\\", "A", 64, native));
  ASSERT_TRUE(
      RegReadString(HKEY_LOCAL_MACHINE, "\\Software\\Wow6432Node\\Quillon\\", "A", 64, redirected));
  EXPECT_EQ(native, "x");
  EXPECT_EQ(redirected, "y");
}

TEST_F(RegistryTest, ReadingWithFewerRightsLeavesTheAccessMaskForLaterOpens) {
  User().CreateKey("Software\\Locked");
  User().CreateKey("Software\\Open");
  TRegistrySpy& spy = Install();
  spy.Grant("HKCU\\Software\\Locked", KEY_QUERY_VALUE);
  TMyRegistry reg;
  reg.SetView(64);
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKeyForReading("\\Software\\Locked\\"));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Locked\\");
  ASSERT_TRUE(reg.OpenKeyInView("\\Software\\Open\\", false));
  EXPECT_EQ(spy.Opens.back().Mask, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
}

TEST_F(RegistryTest, ReadsStringKindsAndRefusesOthers) {
  const std::string key = "Software\\Kinds";
  User().SetString(key, "Plain", "http://a.example/");
  User().SetString(key, "Expand", "%SystemRoot%\\x", REG_EXPAND_SZ);
  User().SetMultiString(key, "Multi", {"C:\\One", "D:\\Two"});
  User().SetDword(key, "Number", 7);
  User().SetString(key, "", "default page");
  Install();
  struct Case {
    std::string name;
    bool ok;
    std::string text;
  };
  for (const Case& c :
       {Case{"Plain", true, "http://a.example/"}, Case{"Expand", true, "%SystemRoot%\\x"},
        Case{"Multi", true, "C:\\One\r\nD:\\Two\r\n"}, Case{"", true, "default page"},
        Case{"Number", false, "unchanged"}, Case{"Missing", false, "unchanged"}}) {
    std::string text = "unchanged";
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "\\Software\\Kinds\\", c.name, 32, text), c.ok)
        << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }
  std::string text = "unchanged";
  EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, "\\Software\\NoSuchKey\\", "Plain", 32, text));
  EXPECT_EQ(text, "unchanged");
}

TEST_F(RegistryTest, ReadMultiStringRaisesForWrongTypeAndFailedRead) {
  const std::string key = "Software\\Multi";
  User().SetString(key, "Text", "not a list");
  User().SetMultiString(key, "Gone", {"a"});
  User().SetMultiString(key, "Empty", {});
  TRegistrySpy& spy = Install();
  TMyRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKeyForReading("\\Software\\Multi\\"));
  EXPECT_EQ(reg.ReadMultiString("Missing"), "");
  EXPECT_EQ(reg.ReadMultiString("Empty"), "");
  try {
    reg.ReadMultiString("Text");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'Text'");
  }
  // The size query sees the value, the read that follows does not.
  spy.VanishAfterDataReads("HKCU\\" + key, "Gone", 1);
  try {
    reg.ReadMultiString("Gone");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to get data for 'Gone'");
  }
}

TEST_F(RegistryTest, WritesFailWithoutRights) {
  User().CreateKey("Software\\Fixed");
  User().CreateKey("Software\\ReadOnly");
  TRegistrySpy& spy = Install();
  spy.Grant("HKCU\\Software\\Fixed", KEY_READ);
  EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, "\\Software\\Fixed\\Sub\\", "A", 32, "x"));

  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey("\\Software\\ReadOnly", false));
  try {
    reg.WriteString("Start Page", "about:blank");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'Start Page'");
  }
  reg.CloseKey();
  image_.Reopen(); // what the hive holds
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "\\Software\\Fixed\\Sub\\", 0));
  std::string text;
  EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, "\\Software\\ReadOnly\\", "Start Page", 32, text));
}

TEST_F(RegistryTest, SetViewAcceptsOnly32And64) {
  TMyRegistry reg;
  EXPECT_EQ(reg.View(), 32);
  try {
    reg.SetView(48);
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Windows Registry only supported with 32 or 64 bits!");
  }
  EXPECT_EQ(reg.View(), 32);
  std::string text;
  EXPECT_THROW(RegReadString(HKEY_CURRENT_USER, "\\Software\\", "x", 16, text), ERegistryException);
}

TEST_F(RegistryTest, GetValueTypeMapsRegistryTypes) {
  const std::string key = "Software\\Types";
  const std::vector<std::pair<DWORD, int>> table = {{REG_NONE, 1},
                                                    {REG_SZ, 2},
                                                    {REG_EXPAND_SZ, 3},
                                                    {REG_BINARY, 4},
                                                    {REG_DWORD, 5},
                                                    {REG_DWORD_BIG_ENDIAN, 7},
                                                    {REG_LINK, 8},
                                                    {REG_MULTI_SZ, 9},
                                                    {REG_RESOURCE_LIST, 10},
                                                    {REG_FULL_RESOURCE_DESCRIPTOR, 11},
                                                    {REG_RESOURCE_REQUIREMENTS_LIST, 12},
                                                    {REG_QWORD, 13},
                                                    {42, 0}};
  for (const auto& [type, code] : table)
    User().SetRaw(key, "t" + std::to_string(type), type, "");
  Install();
  TMyRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKeyForReading("\\Software\\Types\\"));
  for (const auto& [type, code] : table)
    EXPECT_EQ(reg.GetValueType("t" + std::to_string(type)), code) << type;
  EXPECT_EQ(reg.GetValueType("missing"), 0);
}

TEST_F(RegistryTest, RelativePathsOpenBelowTheCurrentKey) {
  User().SetString("Software\\A\\B", "v", "inner");
  User().SetString("B", "v", "outer");
  User().CreateKey("Software\\A\\C");
  Install();
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey("\\Software\\A", false));
  EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"B", "C"}));
  ASSERT_TRUE(reg.OpenKeyReadOnly("B"));
  EXPECT_EQ(reg.CurrentPath(), "Software\\A\\B");
  EXPECT_EQ(reg.ReadString("v"), "inner");
  ASSERT_TRUE(reg.OpenKey("\\B", false));
  EXPECT_EQ(reg.CurrentPath(), "B");
  EXPECT_EQ(reg.ReadString("v"), "outer");
  EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"v"}));
  EXPECT_FALSE(reg.OpenKey("A", false)); // HKCU\B\A does not exist
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey("Software", false)); // nothing open: from the root
  EXPECT_EQ(reg.CurrentPath(), "Software");
}

TEST(SplitRegistryPath, SplitsHiveKeyAndValue) {
  struct Case {
    std::string path;
    HKEY root;
    std::string key, value;
  };
  for (const Case& c : {
           Case{"HKLM\\Software\\A\\Start Page", HKEY_LOCAL_MACHINE, "Software\\A\\", "Start Page"},
           Case{"HKEY_CURRENT_USER\\Software\\A\\@", HKEY_CURRENT_USER, "Software\\A\\", ""},
           Case{"HKLM", 0, "\\", ""},
           Case{"HKXX\\Software\\A\\v", 0, "Software\\A\\", "v"},
           Case{"hklm\\Software\\v", 0, "Software\\", "v"},
           Case{"HKUS\\", HKEY_USERS, "\\", ""},
           Case{"HKCC\\Software", HKEY_CURRENT_CONFIG, "Software\\", ""},
           Case{"HKCR\\A\\B\\", HKEY_CLASSES_ROOT, "A\\B", "\\"},
           Case{"HKDD\\A\\B", HKEY_DYN_DATA, "A\\", "B"},
           Case{"HKEY_PERFORMANCE_DATA\\A\\B", HKEY_PERFORMANCE_DATA, "A\\", "B"},
       }) {
    HKEY root = 12345;
    std::string key, value = "stale";
    SplitRegistryPath(c.path, root, key, value);
    EXPECT_EQ(root, c.root) << c.path;
    EXPECT_EQ(key, c.key) << c.path;
    EXPECT_EQ(value, c.value) << c.path;
  }
}

TEST_F(RegistryTest, KeyExistsFollowsTheSelectedView) {
  Software().CreateKey("Wow6432Node\\Only32");
  Software().CreateKey("Only64");
  const TRegistrySpy& spy = Install();
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Only32\\", 0));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Only32\\", 1));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Only64\\", 0));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Only64\\", 1));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Only32\\", 2));
  EXPECT_EQ(spy.OpenKeyHandles(), 0u);
}

} // namespace

// --- On a generated image ------------------------------------------------------------------------

namespace {

TEST(RegistryOnImage, ReadsBothViewsOfA64BitAndA32BitSystem) {
  for (const bool is64 : {true, false}) {
    TPlatformImage image(is64);
    image.Install();
    std::string native, redirected;
    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE,
                              "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir",
                              64, native));
    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE,
                              "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir",
                              32, redirected));
    EXPECT_EQ(native, "C:\\Program Files");
    EXPECT_EQ(redirected, is64 ? "C:\\Program Files (x86)" : "C:\\Program Files");
  }
}

TEST(RegistryOnImage, ReadsHiveValuesOfEveryStringKind) {
  TPlatformImage image;
  image.builder->Software().SetMultiString("Tamsery\\PortableSupport", "Firefox",
                                           {"D:\\FirefoxPortable", "E:\\Apps\\FF"});
  image.builder->Software().SetDword("Tamsery\\PortableSupport", "Count", 2);
  image.builder->UserHive("alice").SetString("Software\\Microsoft\\Internet Explorer\\Main",
                                             "Start Page", "http://start.example/");
  image.builder->UserHive("alice").SetString("Software\\Opera Software", "", "C:\\Opera\\",
                                             REG_EXPAND_SZ);
  image.Install();

  std::string text;
  // The key lies in the native view; view 32 looks below Wow6432Node.
  EXPECT_FALSE(RegReadString(HKEY_LOCAL_MACHINE, "\\Software\\Tamsery\\PortableSupport\\",
                             "Firefox", 32, text));
  ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, "\\Software\\Tamsery\\PortableSupport\\", "Firefox",
                            64, text));
  EXPECT_EQ(text, "D:\\FirefoxPortable\r\nE:\\Apps\\FF\r\n");
  EXPECT_FALSE(RegReadString(HKEY_LOCAL_MACHINE, "\\Software\\Tamsery\\PortableSupport\\", "Count",
                             64, text));
  HKEY root = 0;
  std::string key, value;
  SplitRegistryPath("HKCU\\Software\\Microsoft\\Internet Explorer\\Main\\Start Page", root, key,
                    value);
  ASSERT_TRUE(RegReadString(root, key, value, 32, text));
  EXPECT_EQ(text, "http://start.example/");
  SplitRegistryPath("HKCU\\Software\\Opera Software\\@", root, key, value);
  ASSERT_TRUE(RegReadString(root, key, value, 32, text));
  EXPECT_EQ(text, "C:\\Opera\\");
  // The same value through the user's own hive under HKEY_USERS.
  ASSERT_TRUE(RegReadString(HKEY_USERS,
                            "\\" + quillon::test::kImageAliceSid +
                                "\\Software\\Microsoft\\Internet Explorer\\Main\\",
                            "Start Page", 32, text));
  EXPECT_EQ(text, "http://start.example/");
}

TEST(RegistryOnImage, WrittenValuesPersistInTheHive) {
  TPlatformImage image;
  image.Install();
  ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, "\\Software\\Microsoft\\Internet Explorer\\Main\\",
                             "Start Page", 32, "about:blank"));
  image.Reopen(); // a new backend reads the hive files again
  std::string text;
  ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, "\\Software\\Microsoft\\Internet Explorer\\Main\\",
                            "Start Page", 32, text));
  EXPECT_EQ(text, "about:blank");

  TMyRegistry reg;
  reg.SetRootKey(HKEY_USERS);
  ASSERT_TRUE(reg.OpenKeyForReading("\\"));
  const auto users = reg.GetKeyNames();
  EXPECT_NE(std::find(users.begin(), users.end(), quillon::test::kImageAliceSid), users.end());
  EXPECT_NE(std::find(users.begin(), users.end(), quillon::test::kImageBobSid), users.end());
}

} // namespace
