// Files under Windows path rules, as the program uses them, against the system under test.

#include "backend/SystemFixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace quillon::test {
namespace {

using namespace winapi;

using FilesTest = SystemTest;

// The names a mask lists, sorted (Windows promises no order); the find's error when it fails.
std::vector<std::string> Listing(const std::string& mask, DWORD& error) {
  std::vector<std::string> names;
  WIN32_FIND_DATA data;
  TFindHandle find(FindFirstFile(mask, data));
  error = find.Valid() ? ERROR_SUCCESS : GetLastError();
  if (!find.Valid())
    return names;
  do
    names.push_back(data.cFileName);
  while (FindNextFile(find.Get(), data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES)) << mask;
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FilesTest, FindFirstFileMatchesMasksAsWindows) {
  const std::string dir = Scratch();
  for (const char* name : {"a.txt", "B.TXT", "c.txt.bak", "noext",
                           "Gr\xC3\xBC\xC3\x9F"
                           "e.txt"})
    WriteFile(dir + "\\" + name, name);
  ASSERT_TRUE(CreateDirectory(dir + "\\sub"));

  const std::string umlauts = "Gr\xC3\xBC\xC3\x9F"
                              "e.txt";
  const std::vector<std::string> all = {".",     "..",        "B.TXT", umlauts,
                                        "a.txt", "c.txt.bak", "noext", "sub"};
  const struct {
    std::string mask;
    std::vector<std::string> names;
    DWORD error;
  } cases[] = {
      {"*", all, ERROR_SUCCESS},
      {"*.*", all, ERROR_SUCCESS}, // names without a dot too
      {"*.txt", {"B.TXT", umlauts, "a.txt"}, ERROR_SUCCESS},
      {"?.TxT", {"B.TXT", "a.txt"}, ERROR_SUCCESS},
      {"NOEXT", {"noext"}, ERROR_SUCCESS},
      {"c*", {"c.txt.bak"}, ERROR_SUCCESS},
      {"sub", {"sub"}, ERROR_SUCCESS},           // a folder's own entry
      {"GR\xC3\x9C*", {umlauts}, ERROR_SUCCESS}, // case beyond ASCII
      {"missing*", {}, ERROR_FILE_NOT_FOUND},
      {"nofolder\\*", {}, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    DWORD error = 0;
    EXPECT_EQ(Listing(dir + "\\" + c.mask, error), c.names) << c.mask;
    EXPECT_EQ(error, c.error) << c.mask;
  }
}

TEST_F(FilesTest, AttributesTellFoldersFilesReadOnlyAndMissing) {
  const std::string dir = Scratch();
  WriteFile(dir + "\\f.txt", "x");
  WriteFile(dir + "\\ro.txt", "x");
  ASSERT_TRUE(SetFileAttributes(dir + "\\ro.txt", FILE_ATTRIBUTE_READONLY));

  constexpr DWORD kKinds = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
  const struct {
    std::string path;
    DWORD kinds; // the attributes of kKinds it has; INVALID_FILE_ATTRIBUTES for none
    DWORD error;
  } cases[] = {
      {dir, FILE_ATTRIBUTE_DIRECTORY, 0},
      {dir + "\\", FILE_ATTRIBUTE_DIRECTORY, 0},
      {dir + "\\F.TXT", 0, 0},
      {dir + "/f.txt", 0, 0},
      {dir + "\\f.txt.", 0, 0}, // trailing dots and spaces are no part of a name
      {dir + "\\f.txt  ", 0, 0},
      {dir + ".\\f.txt", 0, 0},
      {dir + "\\sub\\..\\f.txt", 0, 0},
      {dir + "\\ro.txt", FILE_ATTRIBUTE_READONLY, 0},
      {dir + "\\missing.txt", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {dir + "\\nofolder\\missing.txt", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    const DWORD attributes = GetFileAttributes(c.path);
    if (c.kinds == INVALID_FILE_ATTRIBUTES) {
      EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES) << c.path;
      EXPECT_EQ(GetLastError(), c.error) << c.path;
    } else {
      ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << c.path;
      EXPECT_EQ(attributes & kKinds, c.kinds) << c.path;
    }
  }
  // A new file is marked for backup, as every file Windows writes.
  EXPECT_EQ(GetFileAttributes(dir + "\\f.txt"), FILE_ATTRIBUTE_ARCHIVE);
  WIN32_FIND_DATA data;
  TFindHandle find(FindFirstFile(dir + "\\f.txt", data));
  ASSERT_TRUE(find.Valid());
  EXPECT_EQ(data.cFileName, "f.txt");
  EXPECT_EQ(data.nFileSize, 1u);
  EXPECT_NE(FileTimeToU64(data.ftLastWriteTime), 0u);
  EXPECT_TRUE(FileExists(dir + "\\f.txt"));
  EXPECT_FALSE(FileExists(dir));
  EXPECT_TRUE(DirectoryExists(dir));
  EXPECT_FALSE(DirectoryExists(dir + "\\f.txt"));
}

TEST_F(FilesTest, DriveRootListsNoDotEntries) {
  const std::string appData = Folder(CSIDL_APPDATA);
  DWORD error = 0;
  const std::vector<std::string> names = Listing(appData.substr(0, 3) + "*", error);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(names.empty());
  EXPECT_EQ(std::count(names.begin(), names.end(), "."), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), ".."), 0);
}

TEST_F(FilesTest, CreateNewNeverOverwrites) {
  const std::string file = Scratch() + "\\store.dat";
  ASSERT_TRUE(WriteWholeFile(file, "first", CREATE_NEW));
  EXPECT_FALSE(WriteWholeFile(file, "second", CREATE_NEW));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  std::string data;
  ASSERT_TRUE(ReadWholeFile(file, data));
  EXPECT_EQ(data, "first");
  ASSERT_TRUE(WriteWholeFile(file, "third", CREATE_ALWAYS));
  ASSERT_TRUE(ReadWholeFile(file, data));
  EXPECT_EQ(data, "third");
}

TEST_F(FilesTest, MoveFileExReplacesOnlyWhenAsked) {
  const struct {
    const char* name;
    bool sourceExists, targetExists;
    DWORD flags;
    bool moved;
    DWORD error;
  } cases[] = {
      {"to a free name", true, false, 0, true, 0},
      {"onto a file", true, true, 0, false, ERROR_ALREADY_EXISTS},
      {"onto a file, replacing", true, true, MOVEFILE_REPLACE_EXISTING, true, 0},
      {"from nothing", false, false, MOVEFILE_REPLACE_EXISTING, false, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    const std::string dir = Scratch();
    if (c.sourceExists)
      WriteFile(dir + "\\new", "new");
    if (c.targetExists)
      WriteFile(dir + "\\old", "old");
    EXPECT_EQ(MoveFileEx(dir + "\\new", dir + "\\old", c.flags), c.moved) << c.name;
    if (!c.moved) {
      EXPECT_EQ(GetLastError(), c.error) << c.name;
      EXPECT_EQ(FileExists(dir + "\\new"), c.sourceExists) << c.name;
    }
    std::string data;
    EXPECT_EQ(ReadWholeFile(dir + "\\old", data), c.moved || c.targetExists) << c.name;
    EXPECT_EQ(data, c.moved ? "new" : c.targetExists ? "old" : "") << c.name;
    if (c.moved) {
      EXPECT_FALSE(FileExists(dir + "\\new")) << c.name;
    }
  }
}

TEST_F(FilesTest, FailuresGiveWindowsErrorCodesAndChangeNothing) {
  const struct {
    const char* name;
    bool (*call)(const std::string& dir);
    DWORD error;
  } cases[] = {
      {"delete a missing file", [](const std::string& d) { return DeleteFile(d + "\\missing"); },
       ERROR_FILE_NOT_FOUND},
      {"delete in a missing folder",
       [](const std::string& d) { return DeleteFile(d + "\\nofolder\\f"); }, ERROR_PATH_NOT_FOUND},
      {"delete a read-only file", [](const std::string& d) { return DeleteFile(d + "\\ro.txt"); },
       ERROR_ACCESS_DENIED},
      {"delete a folder as a file", [](const std::string& d) { return DeleteFile(d + "\\full"); },
       ERROR_ACCESS_DENIED},
      {"replace a read-only file by a move",
       [](const std::string& d) {
         return MoveFileEx(d + "\\f.txt", d + "\\ro.txt", MOVEFILE_REPLACE_EXISTING);
       },
       ERROR_ACCESS_DENIED},
      {"overwrite a read-only file",
       [](const std::string& d) { return WriteWholeFile(d + "\\ro.txt", "new"); },
       ERROR_ACCESS_DENIED},
      {"copy onto a file when told not to",
       [](const std::string& d) { return CopyFile(d + "\\f.txt", d + "\\ro.txt", true); },
       ERROR_FILE_EXISTS},
      {"make an existing folder",
       [](const std::string& d) { return CreateDirectory(d + "\\full"); }, ERROR_ALREADY_EXISTS},
      {"make a folder where a file is",
       [](const std::string& d) { return CreateDirectory(d + "\\f.txt"); }, ERROR_ALREADY_EXISTS},
      {"make a folder in a missing one",
       [](const std::string& d) { return CreateDirectory(d + "\\nofolder\\sub"); },
       ERROR_PATH_NOT_FOUND},
      {"remove a folder that holds a file",
       [](const std::string& d) { return RemoveDirectory(d + "\\full"); }, ERROR_DIR_NOT_EMPTY},
      {"remove a file as a folder",
       [](const std::string& d) { return RemoveDirectory(d + "\\f.txt"); }, ERROR_DIRECTORY},
      {"read a missing file",
       [](const std::string& d) {
         std::string data;
         return ReadWholeFile(d + "\\missing", data);
       },
       ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    const std::string dir = Scratch();
    WriteFile(dir + "\\full\\..\\f.txt", "x"); // ".." taken as Windows takes it
    ASSERT_TRUE(CreateDirectory(dir + "\\full"));
    WriteFile(dir + "\\full\\f.txt", "x");
    WriteFile(dir + "\\ro.txt", "ro");
    ASSERT_TRUE(SetFileAttributes(dir + "\\ro.txt", FILE_ATTRIBUTE_READONLY));
    SetLastError(0);
    EXPECT_FALSE(c.call(dir)) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
    std::string data;
    EXPECT_TRUE(ReadWholeFile(dir + "\\ro.txt", data)) << c.name;
    EXPECT_EQ(data, "ro") << c.name;
    EXPECT_TRUE(FileExists(dir + "\\f.txt")) << c.name;
    EXPECT_TRUE(FileExists(dir + "\\full\\f.txt")) << c.name;
  }
}

TEST_F(FilesTest, ReplaceFileNeedsTheReplacedFile) {
  const std::string dir = Scratch();
  WriteFile(dir + "\\store", "old");
  WriteFile(dir + "\\store.new", "new");
  ASSERT_TRUE(ReplaceFile(dir + "\\store", dir + "\\store.new"));
  std::string data;
  ASSERT_TRUE(ReadWholeFile(dir + "\\store", data));
  EXPECT_EQ(data, "new");
  EXPECT_FALSE(FileExists(dir + "\\store.new"));

  WriteFile(dir + "\\other.new", "other");
  EXPECT_FALSE(ReplaceFile(dir + "\\missing", dir + "\\other.new"));
  EXPECT_TRUE(FileExists(dir + "\\other.new"));
}

} // namespace
} // namespace quillon::test
