#include "winapi/image/ImageAccounts.h"

#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

using namespace quillon::winapi;
using namespace quillon::test;

namespace fs = std::filesystem;

namespace {

const std::string kProfileList = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const std::string kSamNames = "SAM\\Domains\\Account\\Users\\Names\\";
const std::string kCarolSid = kMachine + "-1003";
const std::string kDaveSid = kMachine + "-1004";

// alice and bob as usual; carol has a profile folder but neither SAM entry nor hive; dave's SAM
// name differs from his folder name.
class AccountsTest : public ::testing::Test {
protected:
  AccountsTest() {
    auto& b = *image_.builder;
    b.Software().SetString(kProfileList + kCarolSid, "ProfileImagePath",
                           "%SystemDrive%\\Users\\carol.QUILLON", REG_EXPAND_SZ);
    b.AddFolder("C:\\Users\\carol.QUILLON");
    b.Software().SetString(kProfileList + kDaveSid, "ProfileImagePath", "C:\\Users\\dave",
                           REG_EXPAND_SZ);
    b.Sam().SetRaw(kSamNames + "David", "", 1004, "");
  }

  std::string NameOf(TWinApi& api, const std::string& sidText, std::string* domain = nullptr) {
    SID sid;
    if (!ConvertStringSidToSid(sidText, sid))
      return "<bad sid>";
    std::string name, dom;
    if (!api.accounts->AccountOfSid("", sid, name, dom))
      return "<error " + std::to_string(api.lastError->Get()) + ">";
    if (domain)
      *domain = dom;
    return name;
  }

  std::string SidOf(TWinApi& api, const std::string& account, std::string* domain = nullptr) {
    SID sid;
    std::string dom, text;
    if (!api.accounts->SidOfAccount("", account, sid, dom))
      return "<error " + std::to_string(api.lastError->Get()) + ">";
    if (domain)
      *domain = dom;
    return ConvertSidToStringSid(sid, text) ? text : "<bad sid>";
  }

  std::string Folder(TWinApi& api, int csidl) {
    std::string path;
    return api.accounts->SpecialFolder(csidl, path) ? path : "<none>";
  }

  TTestImage image_;
};

} // namespace

TEST_F(AccountsTest, NamesComeFromTheSamElseFromTheProfileFolder) {
  image_.builder->Commit();
  auto api = image_.Open("alice");
  std::string domain;
  EXPECT_EQ(NameOf(*api, kAliceSid, &domain), "alice");
  EXPECT_EQ(domain, "QUILLON-PC");
  EXPECT_EQ(NameOf(*api, kDaveSid, &domain), "David");
  EXPECT_EQ(NameOf(*api, kCarolSid, &domain), "carol.QUILLON");
  EXPECT_EQ(domain, "QUILLON-PC");
  std::string user;
  ASSERT_TRUE(api->accounts->UserName(user));
  EXPECT_EQ(user, "alice");
  ASSERT_TRUE(image_.Open("dave")->accounts->UserName(user));
  EXPECT_EQ(user, "David");
  EXPECT_FALSE(image_.Open("nobody")->accounts->UserName(user));
}

TEST_F(AccountsTest, DomainIsTheComputerNameOfTheSelectedControlSet) {
  image_.builder->System().SetDword("Select", "Current", 2);
  image_.builder->System().SetString("ControlSet002\\Control\\ComputerName\\ComputerName",
                                     "ComputerName", "OFFICE-7");
  image_.builder->Commit();
  auto api = image_.Open();
  std::string domain;
  EXPECT_EQ(NameOf(*api, kBobSid, &domain), "bob");
  EXPECT_EQ(domain, "OFFICE-7");
  EXPECT_EQ(SidOf(*api, "office-7\\BOB"), kBobSid);
  EXPECT_EQ(NameOf(*api, kMachine, &domain), "OFFICE-7") << "the machine's own SID";
}

TEST_F(AccountsTest, WellKnownSidsHaveTheirWindowsNames) {
  image_.builder->Commit();
  auto api = image_.Open();
  const struct {
    const char* sid;
    const char* name;
    const char* domain;
  } cases[] = {
      {"S-1-5-18", "SYSTEM", "NT AUTHORITY"},
      {"S-1-5-19", "LOCAL SERVICE", "NT AUTHORITY"},
      {"S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY"},
      {"S-1-1-0", "Everyone", ""},
      {"S-1-5-32-544", "Administrators", "BUILTIN"},
      {"S-1-5-32-545", "Users", "BUILTIN"},
      {"S-1-5-32-546", "Guests", "BUILTIN"},
      {"S-1-5-32-547", "Power Users", "BUILTIN"},
      {"S-1-5-32-551", "Backup Operators", "BUILTIN"},
      {"S-1-5-11", "Authenticated Users", "NT AUTHORITY"},
  };
  for (const auto& c : cases) {
    std::string domain = "?";
    EXPECT_EQ(NameOf(*api, c.sid, &domain), c.name) << c.sid;
    EXPECT_EQ(domain, c.domain) << c.sid;
    EXPECT_EQ(SidOf(*api, c.name), c.sid) << c.name;
  }
  EXPECT_EQ(SidOf(*api, "nt authority\\system"), "S-1-5-18");
  EXPECT_EQ(SidOf(*api, "BUILTIN\\Users"), "S-1-5-32-545");
}

TEST_F(AccountsTest, UnknownAccountsAreNotMapped) {
  image_.builder->Commit();
  auto api = image_.Open();
  EXPECT_EQ(NameOf(*api, "S-1-5-21-9-9-9-1001"), "<error 1332>");
  EXPECT_EQ(NameOf(*api, kMachine + "-1999"), "<error 1332>");
  EXPECT_EQ(SidOf(*api, "nobody"), "<error 1332>");
  EXPECT_EQ(SidOf(*api, "OTHERPC\\alice"), "<error 1332>");
  EXPECT_EQ(SidOf(*api, "systemprofile"), "<error 1332>") << "system profiles are no accounts";
  std::string name, domain;
  EXPECT_FALSE(api->accounts->AccountOfSid("", SID("\x01\x05", 2), name, domain));
  EXPECT_EQ(api->lastError->Get(), static_cast<DWORD>(ERROR_INVALID_SID));
}

TEST_F(AccountsTest, LookupAccountNameIsTheInverseForEveryProfile) {
  image_.builder->Commit();
  auto api = image_.Open();
  for (const std::string& sid : {kAliceSid, kBobSid, kCarolSid, kDaveSid}) {
    std::string domain;
    const std::string name = NameOf(*api, sid, &domain);
    EXPECT_EQ(SidOf(*api, name), sid) << name;
    EXPECT_EQ(SidOf(*api, domain + "\\" + name), sid) << name;
  }
  std::string domain;
  EXPECT_EQ(SidOf(*api, "ALICE", &domain), kAliceSid);
  EXPECT_EQ(domain, "QUILLON-PC");
}

TEST_F(AccountsTest, MachineSidComesFromTheSamAccountDomain) {
  const std::string sample = QUILLON_SAMPLES_DIR "/registry/plaso_regf_SAM";
  if (!fs::exists(sample))
    GTEST_SKIP() << "registry samples are not available";
  const std::string sampleMachine = "S-1-5-21-4070822719-3404542230-2541167049";
  image_.builder->Software().SetString(kProfileList + sampleMachine + "-1001", "ProfileImagePath",
                                       "C:\\Users\\gold", REG_EXPAND_SZ);
  image_.builder->Commit();
  CopyHostFile(sample, image_.Host("C:\\Windows\\System32\\config\\SAM"));
  auto api = image_.Open();
  std::string domain;
  EXPECT_EQ(NameOf(*api, sampleMachine + "-1001", &domain), "gold_administrator");
  EXPECT_EQ(domain, "QUILLON-PC");
  EXPECT_EQ(NameOf(*api, sampleMachine + "-500"), "Administrator");
  EXPECT_EQ(SidOf(*api, "Guest"), sampleMachine + "-501");
  // alice's SID shares the RID 1001 but belongs to another domain: her folder names her.
  EXPECT_EQ(NameOf(*api, kAliceSid, &domain), "alice");
  EXPECT_EQ(domain, "");
}

TEST_F(AccountsTest, LibrariesAndFunctionsOfTheDynamicBinding) {
  image_.builder->Commit();
  auto api = image_.Open();
  for (const char* library : {"advapi32.dll", "ADVAPI32.DLL", "advapi32", "kernel32.dll",
                              "shell32.dll", "version.dll", "wininet.dll"})
    EXPECT_TRUE(api->accounts->CanLoadLibrary(library)) << library;
  EXPECT_FALSE(api->accounts->CanLoadLibrary("jwa.dll"));
  EXPECT_EQ(api->lastError->Get(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  for (const char* function : {"ConvertStringSidToSidA", "ConvertSidToStringSidA",
                               "ConvertSecurityDescriptorToStringSecurityDescriptorA",
                               "ConvertStringSecurityDescriptorToSecurityDescriptorA",
                               "MakeAbsoluteSD", "MakeSelfRelativeSD", "GetSecurityInfo",
                               "GetUserNameA", "LookupAccountSidA", "LookupAccountNameA"})
    EXPECT_TRUE(api->accounts->Exports("Advapi32.dll", function)) << function;
  EXPECT_FALSE(api->accounts->Exports("advapi32.dll", "getusernamea"));
  EXPECT_EQ(api->lastError->Get(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_FALSE(api->accounts->Exports("missing.dll", "GetUserNameA"));
  EXPECT_EQ(api->lastError->Get(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(AccountsTest, ShellFoldersComeFromShellFoldersFirst) {
  image_.builder->UserHive("alice").SetString(
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData",
      "D:\\Roaming\\");
  image_.builder->Commit();
  auto api = image_.Open("alice");
  EXPECT_EQ(Folder(*api, CSIDL_APPDATA), "D:\\Roaming");
  EXPECT_EQ(Folder(*api, CSIDL_LOCAL_APPDATA), "C:\\Users\\alice\\AppData\\Local");
  EXPECT_EQ(Folder(*api, CSIDL_INTERNET_CACHE),
            "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files");
  EXPECT_EQ(Folder(*api, CSIDL_COOKIES),
            "C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Cookies");
  EXPECT_EQ(Folder(*api, CSIDL_HISTORY),
            "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\History");
  EXPECT_EQ(Folder(*api, CSIDL_FAVORITES), "C:\\Users\\alice\\Favorites");
  EXPECT_EQ(Folder(*api, CSIDL_PROGRAM_FILES), "C:\\Program Files (x86)");
  EXPECT_EQ(Folder(*api, 99), "<none>");
}

TEST_F(AccountsTest, UserShellFoldersAreExpandedWhenShellFoldersLackAValue) {
  const std::string userShellFolders =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  auto& erin = image_.builder->AddUser("erin", kMachine + "-1005", false);
  erin.SetString(userShellFolders, "Cache", "%LOCALAPPDATA%\\MyCache", REG_EXPAND_SZ);
  erin.SetString(userShellFolders, "Local AppData", "%userprofile%\\Local", REG_EXPAND_SZ);
  erin.SetString(userShellFolders, "Favorites", "%SystemDrive%\\Favs\\", REG_EXPAND_SZ);
  erin.SetString(userShellFolders, "History", "%UNKNOWN%\\H", REG_EXPAND_SZ);
  // A folder that refers to itself gets the Windows default for the reference.
  erin.SetString(userShellFolders, "AppData", "%APPDATA%\\Sub", REG_EXPAND_SZ);
  image_.builder->Commit();
  auto api = image_.Open("erin");
  EXPECT_EQ(Folder(*api, CSIDL_INTERNET_CACHE), "C:\\Users\\erin\\Local\\MyCache");
  EXPECT_EQ(Folder(*api, CSIDL_LOCAL_APPDATA), "C:\\Users\\erin\\Local");
  EXPECT_EQ(Folder(*api, CSIDL_FAVORITES), "C:\\Favs");
  EXPECT_EQ(Folder(*api, CSIDL_HISTORY), "%UNKNOWN%\\H");
  EXPECT_EQ(Folder(*api, CSIDL_COOKIES),
            "C:\\Users\\erin\\AppData\\Roaming\\Microsoft\\Windows\\Cookies");
  EXPECT_EQ(Folder(*api, CSIDL_APPDATA), "C:\\Users\\erin\\AppData\\Roaming\\Sub");
}

TEST_F(AccountsTest, WindowsDefaultsServeAUserWithoutHive) {
  image_.builder->Commit();
  auto api = image_.Open("carol.quillon");
  EXPECT_EQ(Folder(*api, CSIDL_APPDATA), "C:\\Users\\carol.QUILLON\\AppData\\Roaming");
  EXPECT_EQ(Folder(*api, CSIDL_HISTORY),
            "C:\\Users\\carol.QUILLON\\AppData\\Local\\Microsoft\\Windows\\History");
  auto nobody = image_.Open("nobody");
  EXPECT_EQ(Folder(*nobody, CSIDL_APPDATA), "<none>");
  EXPECT_EQ(Folder(*nobody, CSIDL_PROGRAM_FILES), "C:\\Program Files (x86)");
}

// The program is a 32-bit process: on a 64-bit system it is shown the 32-bit view's folder.
TEST_F(AccountsTest, ProgramFilesIsTheFolderOfThe32BitView) {
  image_.builder->Software().SetString("Wow6432Node\\Microsoft\\Windows\\CurrentVersion",
                                       "ProgramFilesDir", "%SystemDrive%\\Programme (x86)",
                                       REG_EXPAND_SZ);
  image_.builder->Commit();
  EXPECT_EQ(Folder(*image_.Open(), CSIDL_PROGRAM_FILES), "C:\\Programme (x86)");
  fs::remove(image_.Host("C:\\Windows\\System32\\config\\SOFTWARE"));
  EXPECT_EQ(Folder(*image_.Open(), CSIDL_PROGRAM_FILES), "C:\\Program Files");
}

TEST(AccountsOn32BitImage, ProgramFilesIsTheNativeFolder) {
  TTestImage image(/*is64=*/false);
  image.builder->Software().SetString("Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                                      "%SystemDrive%\\Programme", REG_EXPAND_SZ);
  image.builder->Commit();
  std::string path;
  ASSERT_TRUE(image.Open()->accounts->SpecialFolder(CSIDL_PROGRAM_FILES, path));
  EXPECT_EQ(path, "C:\\Programme");
}
