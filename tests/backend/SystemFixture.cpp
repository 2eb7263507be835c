#include "backend/SystemFixture.h"

#include <algorithm>

namespace quillon::test {

using namespace winapi;

namespace {

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Names unique within the run; the native tests share one system.
std::string FreshName() {
  static int counter = 0;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "Quillon-" + std::to_string(++counter);
  if (test != nullptr)
    name += std::string("-") + test->name();
  std::replace(name.begin(), name.end(), '/', '-');
  return name;
}

} // namespace

bool RemoveTree(const std::string& folder) {
  // Deepest folders first, without recursion: a list of folders still to empty.
  std::vector<std::string> folders{folder};
  for (std::size_t i = 0; i < folders.size(); ++i) {
    WIN32_FIND_DATA data;
    TFindHandle find(FindFirstFile(folders[i] + "\\*", data));
    if (!find.Valid())
      continue;
    do {
      if (data.cFileName == "." || data.cFileName == "..")
        continue;
      const std::string path = folders[i] + "\\" + data.cFileName;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        folders.push_back(path);
      } else {
        SetFileAttributes(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFile(path);
      }
    } while (FindNextFile(find.Get(), data));
  }
  bool removed = true;
  for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    removed = RemoveDirectory(*it) && removed;
  return removed;
}

bool RemoveKeyTree(HKEY root, const std::string& subKey) {
  std::vector<std::string> keys{subKey};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    TRegKey key;
    if (RegOpenKeyEx(root, keys[i], 0, KEY_READ, *key.Out()) != ERROR_SUCCESS)
      continue;
    std::string name;
    for (DWORD index = 0; RegEnumKeyEx(key.Get(), index, name) == ERROR_SUCCESS; ++index)
      keys.push_back(keys[i] + "\\" + name);
  }
  bool removed = true;
  for (auto it = keys.rbegin(); it != keys.rend(); ++it)
    removed = RegDeleteKey(root, *it) == ERROR_SUCCESS && removed;
  return removed;
}

void SystemTest::SetUp() {
  backend_ = MakeSystemBackend();
}

void SystemTest::TearDown() {
  for (const std::string& url : seededUrls_)
    DeleteUrlCacheEntry(url); // a test may have removed it already
  for (auto it = madeKeys_.rbegin(); it != madeKeys_.rend(); ++it)
    EXPECT_TRUE(RemoveKeyTree(it->first, it->second)) << it->second;
  for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it)
    EXPECT_TRUE(RemoveTree(*it)) << *it;
  backend_.reset();
}

std::string SystemTest::Folder(int csidl) {
  std::string path;
  EXPECT_TRUE(SHGetSpecialFolderPath(csidl, path)) << "CSIDL " << csidl;
  return path;
}

std::string SystemTest::MakeFolder(const std::string& folder) {
  std::vector<std::string> missing;
  for (std::string path = folder; !path.empty() && !DirectoryExists(path); path = ParentOf(path))
    missing.push_back(path);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    EXPECT_TRUE(CreateDirectory(*it)) << *it << ": " << GetLastError();
    // Only the outermost one made needs removing; the others go with it.
    if (it == missing.rbegin())
      madeFolders_.push_back(*it);
  }
  return folder;
}

std::string SystemTest::Scratch() {
  return MakeFolder(Folder(CSIDL_APPDATA) + "\\" + FreshName());
}

std::string SystemTest::ScratchKey(HKEY root) {
  const std::string subKey = "Software\\" + FreshName();
  TRegKey key;
  DWORD disposition = 0;
  EXPECT_EQ(RegCreateKeyEx(root, subKey, KEY_ALL_ACCESS, *key.Out(), &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  madeKeys_.emplace_back(root, subKey);
  return subKey;
}

void SystemTest::AddUrlCacheEntries(const std::vector<TUrlCacheSeed>& seeds) {
  for (const TUrlCacheSeed& seed : seeds)
    seededUrls_.push_back(seed.Url);
  backend_->AddUrlCacheEntries(seeds);
}

void SystemTest::WriteFile(const std::string& path, const std::string& content) {
  EXPECT_TRUE(WriteWholeFile(path, content)) << path << ": " << GetLastError();
}

} // namespace quillon::test
