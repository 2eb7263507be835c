// The running user, SIDs and the shell folders discovery asks for, against the system under test.

#include "backend/SystemFixture.h"
#include "winapi/TextCase.h"

#include <string>

namespace quillon::test {
namespace {

using namespace winapi;

using AccountsTest = SystemTest;

TEST_F(AccountsTest, CurrentUserSidLeadsBackToTheUser) {
  std::string user;
  ASSERT_TRUE(GetUserName(user));
  ASSERT_FALSE(user.empty());
  SID sid;
  std::string domain;
  ASSERT_TRUE(LookupAccountName("", user, sid, domain)) << user << ": " << GetLastError();
  EXPECT_FALSE(domain.empty());
  std::string text;
  ASSERT_TRUE(ConvertSidToStringSid(sid, text));
  // A local account: the machine's SID with the account's RID.
  EXPECT_EQ(text.rfind("S-1-5-21-", 0), 0u) << text;
  SID back;
  ASSERT_TRUE(ConvertStringSidToSid(text, back));
  EXPECT_EQ(back, sid);
  std::string name, nameDomain;
  ASSERT_TRUE(LookupAccountSid("", sid, name, nameDomain));
  EXPECT_TRUE(SameTextAscii(name, user)) << name << " / " << user;
  EXPECT_TRUE(SameTextAscii(nameDomain, domain)) << nameDomain << " / " << domain;
}

TEST_F(AccountsTest, WellKnownSidsAndBadSidTexts) {
  const struct {
    const char* text;
    bool valid;
    const char* name; // nullptr: no account has it
    const char* domain;
    std::string bytes; // empty: not compared
  } cases[] = {
      {"S-1-5-18", true, "SYSTEM", "NT AUTHORITY",
       std::string("\x01\x01\0\0\0\0\0\x05\x12\0\0\0", 12)},
      {"S-1-5-32-544", true, "Administrators", "BUILTIN", ""},
      {"S-1-5-21-1-2-3-1001", true, nullptr, nullptr,
       std::string("\x01\x05\0\0\0\0\0\x05\x15\0\0\0\x01\0\0\0\x02\0\0\0\x03\0\0\0\xE9\x03\0\0",
                   28)},
      {"S-1-", false, nullptr, nullptr, ""},
      {"1-5-18", false, nullptr, nullptr, ""},
      {"S-1-5-x", false, nullptr, nullptr, ""},
      {"", false, nullptr, nullptr, ""},
  };
  for (const auto& c : cases) {
    SID sid;
    SetLastError(0);
    ASSERT_EQ(ConvertStringSidToSid(c.text, sid), c.valid) << c.text;
    if (!c.valid) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID)) << c.text;
      continue;
    }
    if (!c.bytes.empty()) {
      EXPECT_EQ(sid, c.bytes) << c.text;
    }
    std::string text;
    ASSERT_TRUE(ConvertSidToStringSid(sid, text));
    EXPECT_EQ(text, c.text);
    std::string name, domain;
    SetLastError(0);
    ASSERT_EQ(LookupAccountSid("", sid, name, domain), c.name != nullptr) << c.text;
    if (c.name == nullptr) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NONE_MAPPED)) << c.text;
      continue;
    }
    EXPECT_TRUE(SameTextAscii(name, c.name)) << c.text << ": " << name;
    EXPECT_TRUE(SameTextAscii(domain, c.domain)) << c.text << ": " << domain;
  }
  SID sid;
  std::string domain;
  EXPECT_FALSE(LookupAccountName("", "no-such-user-quillon", sid, domain));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NONE_MAPPED));
}

TEST_F(AccountsTest, SpecialFoldersLieInTheUsersProfile) {
  std::string user;
  ASSERT_TRUE(GetUserName(user));
  const std::string appData = Folder(CSIDL_APPDATA);
  // <profile>\AppData\Roaming since Windows Vista.
  const std::string suffix = "\\AppData\\Roaming";
  ASSERT_GT(appData.size(), suffix.size());
  ASSERT_TRUE(SameTextAscii(appData.substr(appData.size() - suffix.size()), suffix)) << appData;
  const std::string profile = appData.substr(0, appData.size() - suffix.size());
  EXPECT_TRUE(SameTextAscii(profile.substr(profile.find_last_of('\\') + 1), user)) << profile;

  for (const int csidl : {CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_INTERNET_CACHE, CSIDL_COOKIES,
                          CSIDL_HISTORY, CSIDL_FAVORITES}) {
    const std::string path = Folder(csidl);
    EXPECT_TRUE(SameTextAscii(path.substr(0, profile.size() + 1), profile + "\\"))
        << csidl << ": " << path;
    EXPECT_NE(path.back(), '\\') << csidl << ": " << path;
  }
  EXPECT_TRUE(SameTextAscii(Folder(CSIDL_LOCAL_APPDATA), profile + "\\AppData\\Local"));
}

TEST_F(AccountsTest, ProgramFilesIsTheOneA32BitProgramSees) {
  // The program sees the system as a 32-bit program does, as it sees the registry: on a 64-bit
  // system its Program Files is the one the native view calls "ProgramFilesDir (x86)".
  TRegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                         KEY_READ | KEY_WOW64_64KEY, *key.Out()),
            ERROR_SUCCESS);
  std::string dir;
  if (RegQueryValueEx(key.Get(), "ProgramFilesDir (x86)", nullptr, &dir) != ERROR_SUCCESS) {
    ASSERT_EQ(RegQueryValueEx(key.Get(), "ProgramFilesDir", nullptr, &dir), ERROR_SUCCESS);
  }
  dir.resize(dir.find('\0'));
  EXPECT_TRUE(SameTextAscii(Folder(CSIDL_PROGRAM_FILES), dir)) << dir;
}

} // namespace
} // namespace quillon::test
