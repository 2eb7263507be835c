#include "winapi/image/ImageRegistry.h"

#include "RegistryTestSupport.h"
#include "winapi/image/Hive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>

using namespace quillon::winapi;
using namespace quillon::test;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::UnorderedElementsAre;

namespace fs = std::filesystem;

namespace {

const std::string kSamplesDir = QUILLON_SAMPLES_DIR "/registry";
const std::string kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";

bool SampleAvailable(const std::string& name) {
  return fs::exists(kSamplesDir + "/" + name);
}

void SetHoursAgo(const std::string& path, int hours) {
  fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hours));
}

std::string Sid(TWinApi& api) {
  return static_cast<image::TImageWinApi&>(api).Registry().CurrentUserSid();
}

} // namespace

// --- Mounting ------------------------------------------------------------------------------

TEST(RegistryMount, MachineHivesAndEveryProfileAppear) {
  TTestImage image;
  image.builder->Commit();
  auto api = image.Open();
  EXPECT_THAT(SubKeys(*api, HKEY_LOCAL_MACHINE, ""), ElementsAre("SAM", "SOFTWARE", "SYSTEM"));
  EXPECT_THAT(SubKeys(*api, HKEY_USERS, ""),
              UnorderedElementsAre(".DEFAULT", "S-1-5-18", "S-1-5-19", "S-1-5-20", kAliceSid,
                                   kAliceSid + "_Classes", kBobSid, kBobSid + "_Classes"));
  EXPECT_EQ(SubKeys(*api, HKEY_USERS, kBobSid + "_Classes"),
            (std::vector<std::string>{"Local Settings"}));
  EXPECT_EQ(api->Registry().ProfileFolderOfSid(kBobSid), "C:\\Users\\bob");
  EXPECT_EQ(api->Registry().ProfileFolderOfSid("S-1-5-19"),
            "C:\\Windows\\ServiceProfiles\\LocalService");
}

TEST(RegistryMount, MissingHivesLeaveTheirKeysAbsent) {
  TTestImage image;
  image.builder->Commit();
  fs::remove(image.Host("C:\\Windows\\System32\\config\\SAM"));
  fs::remove(image.Host("C:\\Users\\bob\\NTUSER.DAT"));
  fs::remove(image.Host("C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat"));
  auto api = image.Open();
  EXPECT_THAT(SubKeys(*api, HKEY_LOCAL_MACHINE, ""), ElementsAre("SOFTWARE", "SYSTEM"));
  EXPECT_FALSE(KeyExists(*api, HKEY_LOCAL_MACHINE, "SAM"));
  const auto users = SubKeys(*api, HKEY_USERS, "");
  EXPECT_THAT(users, Not(Contains(kBobSid)));
  EXPECT_THAT(users, Contains(kBobSid + "_Classes"));
  EXPECT_THAT(users, Not(Contains(kAliceSid + "_Classes")));
  EXPECT_FALSE(KeyExists(*api, HKEY_USERS, kBobSid + "\\Software"));
}

TEST(RegistryMount, DamagedOrForeignHiveFilesLeaveTheirKeysAbsent) {
  if (!SampleAvailable("plaso_corrupt_sub_key_list.hiv"))
    GTEST_SKIP() << "registry samples are not available";
  TTestImage image;
  image.builder->Commit();
  CopyHostFile(kSamplesDir + "/plaso_corrupt_sub_key_list.hiv",
               image.Host("C:\\Users\\bob\\NTUSER.DAT"));
  // A hive cut short and a file that is no hive at all.
  const std::string system = image.Host("C:\\Windows\\System32\\config\\SYSTEM");
  const std::string systemBytes = ReadHostFile(system);
  std::ofstream(system, std::ios::binary | std::ios::trunc) << systemBytes.substr(0, 5000);
  std::ofstream(image.Host("C:\\Windows\\System32\\config\\DEFAULT"), std::ios::trunc)
      << "not a hive";

  auto api = image.Open(kBobSid);
  EXPECT_THAT(SubKeys(*api, HKEY_LOCAL_MACHINE, ""), ElementsAre("SAM", "SOFTWARE"));
  const auto users = SubKeys(*api, HKEY_USERS, "");
  EXPECT_THAT(users, Not(Contains(kBobSid)));
  EXPECT_THAT(users, Not(Contains(".DEFAULT")));
  EXPECT_THAT(users, Contains(kAliceSid));
  HKEY key = 0;
  EXPECT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(api->registry->Open(HKEY_USERS, kBobSid, 0, KEY_READ, key), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryMount, RealSampleHivesMountAndEnumerate) {
  if (!SampleAvailable("plaso_NTUSER-WIN7.DAT") || !SampleAvailable("plaso_NTUSER.DAT") ||
      !SampleAvailable("plaso_regf_SAM"))
    GTEST_SKIP() << "registry samples are not available";
  TTestImage image;
  image.builder->Commit();
  CopyHostFile(kSamplesDir + "/plaso_NTUSER-WIN7.DAT", image.Host("C:\\Users\\alice\\NTUSER.DAT"));
  CopyHostFile(kSamplesDir + "/plaso_NTUSER.DAT", image.Host("C:\\Users\\bob\\NTUSER.DAT"));
  CopyHostFile(kSamplesDir + "/plaso_regf_SAM", image.Host("C:\\Windows\\System32\\config\\SAM"));
  auto api = image.Open("alice");
  EXPECT_THAT(SubKeys(*api, HKEY_CURRENT_USER, ""),
              ElementsAre("AppEvents", "Console", "Control Panel", "Environment", "EUDC",
                          "Identities", "Keyboard Layout", "Network", "Printers", "Software",
                          "System"));
  EXPECT_THAT(SubKeys(*api, HKEY_USERS, kBobSid),
              ElementsAre("AppEvents", "Console", "Control Panel", "Environment", "Identities",
                          "Keyboard Layout", "Printers", "Software", "UNICODE Program Groups",
                          "Windows 3.1 Migration Status"));
  EXPECT_THAT(SubKeys(*api, HKEY_LOCAL_MACHINE, "SAM\\SAM\\Domains\\Account\\Users\\Names"),
              ElementsAre("Administrator", "gold_administrator", "Guest"));
  DWORD type = 0;
  Query(*api, HKEY_LOCAL_MACHINE, "sam\\sam\\domains\\account\\users\\names\\GUEST", "", KEY_READ,
        &type);
  EXPECT_EQ(type, 0x1F5u) << "the RID is the default value's type";
  // Every key and value of the real hive reads through the registry calls, as an independent
  // reader sees them.
  std::map<std::string, std::size_t> ours;
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    const std::string path = pending.back();
    pending.pop_back();
    for (const std::string& child : SubKeys(*api, HKEY_CURRENT_USER, path))
      pending.push_back(path.empty() ? child : path + "\\" + child);
    const auto names = ValueNames(*api, HKEY_CURRENT_USER, path);
    for (const std::string& name : names)
      EXPECT_NE(Query(*api, HKEY_CURRENT_USER, path, name).rfind("<error", 0), 0u)
          << path << " " << name;
    ours[path] = names.size();
  }
  EXPECT_GT(ours.size(), 100u);
  if (!ToolAvailable("regfexport"))
    return;
  std::map<std::string, std::size_t> theirs;
  std::istringstream lines(RunTool("regfexport '" + kSamplesDir + "/plaso_NTUSER-WIN7.DAT'"));
  std::string line, current;
  while (std::getline(lines, line)) {
    if (line.rfind("Key path: ", 0) == 0) {
      const auto slash = line.find('\\');
      current = slash == std::string::npos ? "" : line.substr(slash + 1);
      theirs[current] = 0;
    } else if (line.rfind("Value: ", 0) == 0) {
      ++theirs[current];
    }
  }
  EXPECT_EQ(ours, theirs);
}

// --- The current user ----------------------------------------------------------------------

TEST(RegistryCurrentUser, ChosenByFolderNameOrSidWithoutRegardToCase) {
  TTestImage image;
  image.builder->UserHive("bob").SetString("Software\\Who", "Name", "bob's hive");
  image.builder->Commit();
  for (const std::string& user : std::vector<std::string>{"bob", "BOB", kBobSid}) {
    auto api = image.Open(user);
    EXPECT_EQ(Sid(*api), kBobSid) << user;
    EXPECT_EQ(QueryString(*api, HKEY_CURRENT_USER, "Software\\Who", "Name"), "bob's hive") << user;
  }
}

TEST(RegistryCurrentUser, AnUnknownOrSystemChoiceLeavesNoCurrentUser) {
  TTestImage image;
  image.builder->Commit();
  for (const std::string user : {"carol", "S-1-5-18", "systemprofile"}) {
    auto api = image.Open(user);
    EXPECT_EQ(Sid(*api), "") << user;
    EXPECT_FALSE(KeyExists(*api, HKEY_CURRENT_USER, "")) << user;
  }
}

TEST(RegistryCurrentUser, DefaultUserNameOfWinlogonComesBeforeTheNewestHive) {
  TTestImage image;
  image.builder->Software().SetString("Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                      "DefaultUserName", "Alice");
  image.builder->Commit();
  SetHoursAgo(image.Host("C:\\Users\\alice\\NTUSER.DAT"), 48);
  SetHoursAgo(image.Host("C:\\Users\\bob\\NTUSER.DAT"), 1);
  EXPECT_EQ(Sid(*image.Open()), kAliceSid);
}

TEST(RegistryCurrentUser, OtherwiseTheUserWhoseHiveChangedLastButNeverASystemProfile) {
  TTestImage image;
  image.builder->Commit();
  SetHoursAgo(image.Host("C:\\Users\\alice\\NTUSER.DAT"), 5);
  SetHoursAgo(image.Host("C:\\Users\\bob\\NTUSER.DAT"), 2);
  SetHoursAgo(image.Host("C:\\Windows\\ServiceProfiles\\LocalService\\NTUSER.DAT"), 0);
  EXPECT_EQ(Sid(*image.Open()), kBobSid);
  SetHoursAgo(image.Host("C:\\Users\\alice\\NTUSER.DAT"), 1);
  EXPECT_EQ(Sid(*image.Open()), kAliceSid);
}

// --- Views ---------------------------------------------------------------------------------

TEST(RegistryViews, On64BitImagesThe32BitViewIsRedirectedAndTheSharedKeysAreNot) {
  TTestImage image(true);
  image.builder->Software().SetString("Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                                      "Marker", "shared");
  image.builder->Software().SetString("Classes\\.txt", "", "txtfile");
  image.builder->Commit();
  auto api = image.Open();
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  EXPECT_EQ(QueryString(*api, HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", KEY_READ),
            "C:\\Program Files (x86)");
  EXPECT_EQ(
      QueryString(*api, HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", KEY_READ | KEY_WOW64_32KEY),
      "C:\\Program Files (x86)");
  EXPECT_EQ(
      QueryString(*api, HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", KEY_READ | KEY_WOW64_64KEY),
      "C:\\Program Files");
  // The base a 32-bit program tests for stays reachable in its own view.
  EXPECT_TRUE(KeyExists(*api, HKEY_LOCAL_MACHINE, "\\Software\\Wow6432Node\\"));
  EXPECT_EQ(QueryString(*api, HKEY_LOCAL_MACHINE,
                        "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\",
                        "ProgramFilesDir"),
            "C:\\Program Files (x86)");
  EXPECT_EQ(QueryString(*api, HKEY_LOCAL_MACHINE,
                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "Marker"),
            "shared");
  EXPECT_EQ(QueryString(*api, HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.txt", ""), "txtfile");
  EXPECT_EQ(QueryString(*api, HKEY_CLASSES_ROOT, ".TXT", ""), "txtfile");
}

TEST(RegistryViews, KeysOpenedBelowARedirectedKeyStayInItsView) {
  TTestImage image(true);
  image.builder->Commit();
  auto api = image.Open();
  HKEY software32 = 0, software64 = 0, child = 0;
  ASSERT_EQ(api->registry->Open(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, software32),
            ERROR_SUCCESS);
  ASSERT_EQ(api->registry->Open(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ | KEY_WOW64_64KEY,
                                software64),
            ERROR_SUCCESS);
  ASSERT_EQ(api->registry->Open(software32, "Microsoft\\Windows\\CurrentVersion", 0,
                                KEY_READ | KEY_WOW64_64KEY, child),
            ERROR_SUCCESS);
  std::string data;
  ASSERT_EQ(api->registry->QueryValue(child, "ProgramFilesDir", nullptr, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("C:\\Program Files (x86)") + '\0');
  api->registry->Close(child);
  ASSERT_EQ(api->registry->Open(software64, "Microsoft\\Windows\\CurrentVersion", 0,
                                KEY_READ | KEY_WOW64_64KEY, child),
            ERROR_SUCCESS);
  ASSERT_EQ(api->registry->QueryValue(child, "ProgramFilesDir", nullptr, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("C:\\Program Files") + '\0');
  api->registry->Close(child);
  api->registry->Close(software32);
  api->registry->Close(software64);
}

TEST(RegistryViews, KeysCreatedInThe32BitViewLandInWow6432Node) {
  TTestImage image(true);
  image.builder->Commit();
  {
    auto api = image.Open();
    HKEY key = 0;
    ASSERT_EQ(api->registry->Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App", KEY_ALL_ACCESS,
                                    key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(api->registry->SetValue(key, "Path", REG_SZ, "C:\\x86"), ERROR_SUCCESS);
    api->registry->Close(key);
  }
  auto api = image.Open();
  EXPECT_FALSE(KeyExists(*api, HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", KEY_READ | KEY_WOW64_64KEY));
  EXPECT_EQ(QueryString(*api, HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Vendor\\App", "Path",
                        KEY_READ | KEY_WOW64_64KEY),
            "C:\\x86");
  EXPECT_EQ(QueryString(*api, HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App", "Path"), "C:\\x86");
}

TEST(RegistryViews, On32BitImagesBothViewsAreTheSame) {
  TTestImage image(false);
  image.builder->Commit();
  auto api = image.Open();
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  for (const REGSAM view : {REGSAM{0}, KEY_WOW64_32KEY, KEY_WOW64_64KEY})
    EXPECT_EQ(QueryString(*api, HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", KEY_READ | view),
              "C:\\Program Files")
        << view;
  EXPECT_FALSE(KeyExists(*api, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node"));
  EXPECT_FALSE(fs::exists(image.Host("C:\\Program Files (x86)")));
}

// --- Win32 behaviour -----------------------------------------------------------------------

TEST(RegistryCalls, NamesCompareWithoutRegardToCaseAndPathsTolerateOuterBackslashes) {
  TTestImage image;
  image.builder->UserHive("alice").SetString("Software\\\xC3\x84pfel\\Sub",
                                             "Gr\xC3\xB6\xC3\x9F"
                                             "e",
                                             "42");
  image.builder->Commit();
  auto api = image.Open("alice");
  EXPECT_EQ(QueryString(*api, HKEY_CURRENT_USER, "\\SOFTWARE\\\xC3\xA4PFEL\\sub\\",
                        "GR\xC3\x96\xC3\x9F"
                        "E"),
            "42");
  EXPECT_EQ(QueryString(*api, HKEY_USERS, kAliceSid + "\\software\\\xC3\x84pfel\\Sub",
                        "gr\xC3\xB6\xC3\x9f"
                        "e"),
            "42");
  EXPECT_EQ(QueryString(*api, HKEY_LOCAL_MACHINE,
                        "system\\currentcontrolset\\control\\"
                        "computername\\computername",
                        "ComputerName"),
            "QUILLON-PC");
}

TEST(RegistryCalls, HandlesAreDistinctAndClosingFreesThem) {
  TTestImage image;
  image.builder->Commit();
  auto api = image.Open("alice");
  HKEY a = 0, b = 0, missing = 0x1234;
  ASSERT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software", 0, KEY_READ, a), ERROR_SUCCESS);
  ASSERT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software", 0, KEY_READ, b), ERROR_SUCCESS);
  EXPECT_NE(a, b);
  EXPECT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software\\Nope", 0, KEY_READ, missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, 0u);
  EXPECT_EQ(api->registry->Close(a), ERROR_SUCCESS);
  EXPECT_EQ(api->registry->Close(a), ERROR_INVALID_HANDLE);
  std::string name;
  EXPECT_EQ(api->registry->EnumKey(a, 0, name), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api->registry->EnumKey(b, 0, name), ERROR_SUCCESS);
  EXPECT_EQ(api->registry->Close(b), ERROR_SUCCESS);
  EXPECT_EQ(api->registry->Close(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST(RegistryCalls, EnumerationEndsWithNoMoreItemsAndMissingValuesAreNotFound) {
  TTestImage image;
  image.builder->UserHive("alice").SetString("Software\\V", "One", "1");
  image.builder->UserHive("alice").SetDword("Software\\V", "Two", 2);
  image.builder->Commit();
  auto api = image.Open("alice");
  HKEY key = 0;
  ASSERT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software\\V", 0, KEY_READ, key), ERROR_SUCCESS);
  std::string name;
  EXPECT_EQ(api->registry->EnumValue(key, 0, name), ERROR_SUCCESS);
  EXPECT_EQ(name, "One");
  EXPECT_EQ(api->registry->EnumValue(key, 1, name), ERROR_SUCCESS);
  EXPECT_EQ(name, "Two");
  EXPECT_EQ(api->registry->EnumValue(key, 2, name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(api->registry->EnumKey(key, 0, name), ERROR_NO_MORE_ITEMS);
  DWORD type = 0;
  EXPECT_EQ(api->registry->QueryValue(key, "Three", &type, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(api->registry->QueryValue(key, "", &type, nullptr), ERROR_FILE_NOT_FOUND);
  api->registry->Close(key);
  EXPECT_EQ(api->registry->EnumKey(HKEY_PERFORMANCE_DATA, 0, name), ERROR_NO_MORE_ITEMS);
}

// --- Writes --------------------------------------------------------------------------------

TEST(RegistryWrites, EveryValueTypeRoundTripsThroughTheHiveFile) {
  TTestImage image;
  image.builder->Commit();
  const std::string nul(1, '\0');
  struct TValue {
    std::string name;
    DWORD type;
    std::string written;
    std::string readBack;
  };
  const std::vector<TValue> values = {
      {"Sz", REG_SZ, "Start Page", "Start Page" + nul},
      {"", REG_SZ, "default value" + nul, "default value" + nul},
      {"Expand", REG_EXPAND_SZ, "%APPDATA%\\x", "%APPDATA%\\x" + nul},
      {"Multi", REG_MULTI_SZ, "zz" + nul + "aa" + nul + "\xC3\xA9t\xC3\xA9" + nul + nul,
       "zz" + nul + "aa" + nul + "\xC3\xA9t\xC3\xA9" + nul + nul},
      {"Dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4), std::string("\x78\x56\x34\x12", 4)},
      {"Qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8),
       std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {"Binary", REG_BINARY, std::string("\x00\x01\x02", 3), std::string("\x00\x01\x02", 3)},
      {"None", REG_NONE, "", ""},
      {"\xE6\x97\xA5\xE6\x9C\xAC", REG_SZ, "\xF0\x9F\x98\x80 smile",
       "\xF0\x9F\x98\x80 smile" + nul},
  };
  {
    auto api = image.Open("alice");
    HKEY key = 0;
    DWORD disposition = 0;
    ASSERT_EQ(api->registry->Create(HKEY_CURRENT_USER, "Software\\Quillon\\Test", KEY_ALL_ACCESS,
                                    key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    for (const TValue& v : values)
      ASSERT_EQ(api->registry->SetValue(key, v.name, v.type, v.written), ERROR_SUCCESS) << v.name;
    api->registry->Close(key);
    ASSERT_EQ(api->registry->Create(HKEY_CURRENT_USER, "software\\quillon\\TEST", KEY_ALL_ACCESS,
                                    key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    api->registry->Close(key);
  }
  auto api = image.Open("alice"); // reads the hive file afresh
  for (const TValue& v : values) {
    DWORD type = 0xFFFF;
    EXPECT_EQ(Query(*api, HKEY_CURRENT_USER, "Software\\Quillon\\Test", v.name, KEY_READ, &type),
              v.readBack)
        << v.name;
    EXPECT_EQ(type, v.type) << v.name;
  }
}

TEST(RegistryWrites, DeletingValuesAndKeys) {
  TTestImage image;
  image.builder->UserHive("alice").SetString("Software\\A\\B", "x", "1");
  image.builder->UserHive("alice").SetString("Software\\A", "keep", "2");
  image.builder->UserHive("alice").SetString("Software\\A", "drop", "3");
  image.builder->Commit();
  auto api = image.Open("alice");
  HKEY a = 0, b = 0;
  ASSERT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software\\A", 0, KEY_ALL_ACCESS, a),
            ERROR_SUCCESS);
  ASSERT_EQ(api->registry->Open(a, "B", 0, KEY_ALL_ACCESS, b), ERROR_SUCCESS);
  EXPECT_EQ(api->registry->DeleteValue(a, "DROP"), ERROR_SUCCESS);
  EXPECT_EQ(api->registry->DeleteValue(a, "drop"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(api->registry->DeleteKey(HKEY_CURRENT_USER, "Software\\A"), ERROR_ACCESS_DENIED)
      << "a key with sub-keys stays";
  EXPECT_EQ(api->registry->DeleteKey(a, "b"), ERROR_SUCCESS);
  EXPECT_EQ(api->registry->DeleteKey(a, "b"), ERROR_FILE_NOT_FOUND);
  std::string data;
  EXPECT_EQ(api->registry->QueryValue(b, "x", nullptr, &data), 1018) << "the handle's key is gone";
  EXPECT_EQ(api->registry->DeleteKey(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(api->registry->DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_ACCESS_DENIED);
  api->registry->Close(b);
  api->registry->Close(a);

  auto fresh = image.Open("alice");
  EXPECT_THAT(ValueNames(*fresh, HKEY_CURRENT_USER, "Software\\A"), ElementsAre("keep"));
  EXPECT_FALSE(KeyExists(*fresh, HKEY_CURRENT_USER, "Software\\A\\B"));
  EXPECT_EQ(fresh->registry->DeleteKey(HKEY_CURRENT_USER, "Software\\A"), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(*image.Open("alice"), HKEY_CURRENT_USER, "Software\\A"));
}

TEST(RegistryWrites, KeysCannotBeMadeBesideTheMountedHives) {
  TTestImage image;
  image.builder->Commit();
  auto api = image.Open();
  HKEY key = 0;
  EXPECT_EQ(api->registry->Create(HKEY_LOCAL_MACHINE, "NEWHIVE\\x", KEY_ALL_ACCESS, key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(api->registry->SetValue(HKEY_LOCAL_MACHINE, "v", REG_SZ, "x"), ERROR_ACCESS_DENIED);
}

TEST(RegistryWrites, AFailedCommitLeavesTheHiveFileByteForByteUnchanged) {
  TTestImage image;
  image.builder->UserHive("alice").SetString("Software\\A", "old", "1");
  image.builder->Commit();
  const std::string hive = image.Host("C:\\Users\\alice\\NTUSER.DAT");
  const std::string before = ReadHostFile(hive);
  auto api = image.Open("alice");
  HKEY key = 0;
  ASSERT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software\\A", 0, KEY_ALL_ACCESS, key),
            ERROR_SUCCESS);
  // Another program holding the hive open makes the commit fail.
  int holder = open(hive.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_SH), 0);
  EXPECT_EQ(api->registry->SetValue(key, "new", REG_SZ, "2"), ERROR_CANTWRITE);
  HKEY created = 0;
  EXPECT_EQ(
      api->registry->Create(HKEY_CURRENT_USER, "Software\\B", KEY_ALL_ACCESS, created, nullptr),
      ERROR_CANTWRITE);
  EXPECT_EQ(api->registry->DeleteValue(key, "old"), ERROR_CANTWRITE);
  EXPECT_EQ(ReadHostFile(hive), before);
  // Nothing of the failed writes is seen, and the handle still works.
  EXPECT_THAT(ValueNames(*api, HKEY_CURRENT_USER, "Software\\A"), ElementsAre("old"));
  EXPECT_FALSE(KeyExists(*api, HKEY_CURRENT_USER, "Software\\B"));

  close(holder);
  EXPECT_EQ(api->registry->SetValue(key, "new", REG_SZ, "2"), ERROR_SUCCESS);
  api->registry->Close(key);
  EXPECT_THAT(ValueNames(*image.Open("alice"), HKEY_CURRENT_USER, "Software\\A"),
              ElementsAre("old", "new"));
}

TEST(RegistryWrites, AReadOnlyHiveFileIsNotChanged) {
  TTestImage image;
  image.builder->UserHive("alice").SetString("Software\\A", "old", "1");
  image.builder->Commit();
  const std::string hive = image.Host("C:\\Users\\alice\\NTUSER.DAT");
  fs::permissions(hive, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = ReadHostFile(hive);
  auto api = image.Open("alice");
  HKEY key = 0;
  ASSERT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software\\A", 0, KEY_ALL_ACCESS, key),
            ERROR_SUCCESS);
  EXPECT_EQ(api->registry->SetValue(key, "new", REG_SZ, "2"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(api->registry->DeleteValue(key, "old"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(QueryString(*api, HKEY_CURRENT_USER, "Software\\A", "old"), "1");
  api->registry->Close(key);
  EXPECT_EQ(ReadHostFile(hive), before);
}

TEST(RegistryWrites, ACommittedHiveKeepsItsPermissions) {
  TTestImage image;
  image.builder->Commit();
  const std::string hive = image.Host("C:\\Users\\alice\\NTUSER.DAT");
  const auto mode = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(hive, mode);
  auto api = image.Open("alice");
  HKEY key = 0;
  ASSERT_EQ(api->registry->Create(HKEY_CURRENT_USER, "Software\\New", KEY_ALL_ACCESS, key, nullptr),
            ERROR_SUCCESS);
  api->registry->Close(key);
  EXPECT_EQ(fs::status(hive).permissions(), mode);
}

// A handle that has read its key's values sees what is written or deleted through it afterwards.
TEST(RegistryWrites, AHandleReadsItsKeysValuesAsTheyAreNow) {
  TTestImage image;
  image.builder->UserHive("alice").SetString("Software\\A", "x", "1");
  image.builder->Commit();
  auto api = image.Open("alice");
  HKEY key = 0;
  ASSERT_EQ(api->registry->Open(HKEY_CURRENT_USER, "Software\\A", 0, KEY_ALL_ACCESS, key),
            ERROR_SUCCESS);
  const auto read = [&](const std::string& name) {
    std::string data;
    const LONG r = api->registry->QueryValue(key, name, nullptr, &data);
    return r == ERROR_SUCCESS ? data : "<" + std::to_string(r) + ">";
  };
  EXPECT_EQ(read("X"), std::string("1\0", 2));
  ASSERT_EQ(api->registry->SetValue(key, "y", REG_SZ, "2"), ERROR_SUCCESS);
  EXPECT_EQ(read("Y"), std::string("2\0", 2));
  ASSERT_EQ(api->registry->DeleteValue(key, "x"), ERROR_SUCCESS);
  EXPECT_EQ(read("x"), "<2>");
  api->registry->Close(key);
}

TEST(RegistryWrites, ChangesReadTheSameInIndependentReaders) {
  if (!ToolAvailable("hivexregedit") || !ToolAvailable("regfexport"))
    GTEST_SKIP() << "hivexregedit or regfexport is not installed";
  TTestImage image;
  image.builder->Commit();
  {
    auto api = image.Open("bob");
    HKEY key = 0;
    ASSERT_EQ(api->registry->Create(HKEY_CURRENT_USER, "Software\\Opera Software", KEY_ALL_ACCESS,
                                    key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(api->registry->SetValue(key, "Last Directory3", REG_SZ, "C:\\Program Files\\Opera"),
              ERROR_SUCCESS);
    ASSERT_EQ(api->registry->SetValue(key, "List", REG_MULTI_SZ, std::string("b\0a\0\0", 5)),
              ERROR_SUCCESS);
    ASSERT_EQ(api->registry->DeleteValue(key, "List"), ERROR_SUCCESS);
    ASSERT_EQ(api->registry->SetValue(key, "List", REG_MULTI_SZ, std::string("c\0d\0\0", 5)),
              ERROR_SUCCESS);
    api->registry->Close(key);
  }
  const std::string hive = image.Host("C:\\Users\\bob\\NTUSER.DAT");
  const std::string hivex =
      RunTool("hivexregedit --export '" + hive + "' '\\Software\\Opera Software'");
  EXPECT_NE(hivex.find("\"Last Directory3\"=hex(1):43,00,3a,00,5c,00,50,00"), std::string::npos)
      << hivex;
  EXPECT_NE(hivex.find("\"List\"=hex(7):63,00,00,00,64,00,00,00,00,00"), std::string::npos)
      << hivex;
  const std::string regf = RunTool("regfexport '" + hive + "'");
  EXPECT_NE(regf.find("Data: C:\\Program Files\\Opera\n"), std::string::npos) << regf;
}
