// The registry below HKEY_CURRENT_USER, as the program uses it, against the system under test.

#include "backend/SystemFixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace quillon::test {
namespace {

using namespace winapi;
using namespace std::string_literals;

using RegistryTest = SystemTest;

std::string Le32(std::uint32_t v) {
  std::string bytes;
  for (int i = 0; i < 4; ++i)
    bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
  return bytes;
}

TEST_F(RegistryTest, ValuesOfEveryTypeComeBackAsTheProgramReadsThem) {
  const std::string keyPath = ScratchKey();
  TRegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, *key.Out()), ERROR_SUCCESS);
  const struct {
    std::string name;
    DWORD type;
    std::string written;
    std::string read;
  } cases[] = {
      {"", REG_SZ, "default", "default\0"s},
      {"Start Page", REG_SZ, "http://quillon.test/", "http://quillon.test/\0"s},
      {"Terminated", REG_SZ, "x\0"s, "x\0"s},
      {"Umlaut", REG_SZ,
       "Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr\xC3\xBC\xC3\x9F"
       "e\0"s},
      {"Empty", REG_SZ, "", "\0"s},
      {"Expand", REG_EXPAND_SZ, "%USERPROFILE%\\x", "%USERPROFILE%\\x\0"s},
      {"Multi", REG_MULTI_SZ, "one\0two\0\0"s, "one\0two\0\0"s},
      {"Multi bare", REG_MULTI_SZ, "one\0two"s, "one\0two\0\0"s},
      {"Astral", REG_SZ, "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80\0"s}, // a surrogate pair
      {"Binary", REG_BINARY, "\x01\x00\xFF"s, "\x01\x00\xFF"s},
      {"Dword", REG_DWORD, Le32(0x12345678), Le32(0x12345678)},
      {"Qword", REG_QWORD, Le32(1) + Le32(2), Le32(1) + Le32(2)},
  };
  for (const auto& c : cases)
    ASSERT_EQ(RegSetValueEx(key.Get(), c.name, c.type, c.written), ERROR_SUCCESS) << c.name;
  for (const auto& c : cases) {
    DWORD type = REG_NONE;
    std::string data;
    ASSERT_EQ(RegQueryValueEx(key.Get(), c.name, &type, &data), ERROR_SUCCESS) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(data, c.read) << c.name;
  }
  // Value names are matched without regard to case.
  std::string data;
  EXPECT_EQ(RegQueryValueEx(key.Get(), "start page", nullptr, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, "http://quillon.test/\0"s);
}

TEST_F(RegistryTest, MissingKeysAndValuesAreFileNotFound) {
  const std::string keyPath = ScratchKey();
  TRegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, *key.Out()), ERROR_SUCCESS);
  TRegKey missing;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, keyPath + "\\Missing", 0, KEY_READ, *missing.Out()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(
      RegOpenKeyEx(HKEY_CURRENT_USER, keyPath + "\\Missing\\Deeper", 0, KEY_READ, *missing.Out()),
      ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueEx(key.Get(), "Missing", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  // A new key has no default value set.
  EXPECT_EQ(RegQueryValueEx(key.Get(), "", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValue(key.Get(), "Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKey(key.Get(), "Missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, EnumerationListsEachNameOnceThenNoMoreItems) {
  const std::string keyPath = ScratchKey();
  TRegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, *key.Out()), ERROR_SUCCESS);
  const std::vector<std::string> subKeys = {"Alpha", "beta", "Gamma"};
  // The default value is listed by its empty name once it is set.
  const std::vector<std::string> values = {"", "One", "three", "Two"};
  DWORD disposition = 0;
  for (const std::string& name : subKeys) {
    TRegKey sub;
    ASSERT_EQ(RegCreateKeyEx(key.Get(), name, KEY_ALL_ACCESS, *sub.Out(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY) << name;
  }
  TRegKey again;
  ASSERT_EQ(RegCreateKeyEx(key.Get(), "ALPHA", KEY_ALL_ACCESS, *again.Out(), &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  for (const std::string& name : values)
    ASSERT_EQ(RegSetValueEx(key.Get(), name, REG_SZ, name), ERROR_SUCCESS);

  const struct {
    const char* what;
    LONG (*enumerate)(HKEY, DWORD, std::string&);
    std::vector<std::string> names;
  } cases[] = {{"keys", RegEnumKeyEx, subKeys}, {"values", RegEnumValue, values}};
  for (const auto& c : cases) {
    std::vector<std::string> seen;
    std::string name;
    DWORD index = 0;
    for (; c.enumerate(key.Get(), index, name) == ERROR_SUCCESS && index < 10; ++index)
      seen.push_back(name);
    EXPECT_EQ(c.enumerate(key.Get(), index, name), ERROR_NO_MORE_ITEMS) << c.what;
    std::sort(seen.begin(), seen.end(),
              [](const std::string& a, const std::string& b) { return lstrcmpi(a, b) < 0; });
    EXPECT_EQ(seen, c.names) << c.what;
  }
}

TEST_F(RegistryTest, DeletingKeysAndValues) {
  const std::string keyPath = ScratchKey();
  TRegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, *key.Out()), ERROR_SUCCESS);
  for (const char* sub : {"Leaf", "Parent\\Child"}) {
    TRegKey made;
    ASSERT_EQ(RegCreateKeyEx(key.Get(), sub, KEY_ALL_ACCESS, *made.Out()), ERROR_SUCCESS) << sub;
  }
  ASSERT_EQ(RegSetValueEx(key.Get(), "Value", REG_SZ, "v"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteValue(key.Get(), "VALUE"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueEx(key.Get(), "Value", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKey(key.Get(), "leaf"), ERROR_SUCCESS);
  // RegDeleteKey removes no key that still has subkeys.
  EXPECT_EQ(RegDeleteKey(key.Get(), "Parent"), ERROR_ACCESS_DENIED);
  const struct {
    const char* sub;
    LONG open;
  } cases[] = {
      {"Leaf", ERROR_FILE_NOT_FOUND}, {"Parent", ERROR_SUCCESS}, {"Parent\\Child", ERROR_SUCCESS}};
  for (const auto& c : cases) {
    TRegKey opened;
    EXPECT_EQ(RegOpenKeyEx(key.Get(), c.sub, 0, KEY_READ, *opened.Out()), c.open) << c.sub;
  }
}

TEST_F(RegistryTest, TheProgramsViewOfTheMachineIsThe32BitOne) {
  // A key made without a view flag, as the program opens keys.
  const std::string keyPath = ScratchKey(HKEY_LOCAL_MACHINE);
  const std::string name = keyPath.substr(keyPath.find('\\') + 1);
  const struct {
    std::string path;
    REGSAM view;
    LONG open;
  } cases[] = {
      {keyPath, 0, ERROR_SUCCESS},
      {keyPath, KEY_WOW64_32KEY, ERROR_SUCCESS},
      {keyPath, KEY_WOW64_64KEY, ERROR_FILE_NOT_FOUND},
      {"SOFTWARE\\Wow6432Node\\" + name, KEY_WOW64_64KEY, ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    TRegKey key;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, c.path, 0, KEY_READ | c.view, *key.Out()), c.open)
        << c.path << " view " << c.view;
  }
  // The user's keys are one in both views.
  const std::string userKey = ScratchKey();
  TRegKey key;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, userKey, 0, KEY_READ | KEY_WOW64_64KEY, *key.Out()),
            ERROR_SUCCESS);
}

} // namespace
} // namespace quillon::test
