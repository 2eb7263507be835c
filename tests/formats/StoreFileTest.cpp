#include "formats/StoreFile.h"

#include "formats/TextStoreImage.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::Always;
using quillon::test::TTextStoreImage;
using Files = std::vector<std::string>;

TEST(ReplaceStoreFile, ReplacesTheStoreAndLeavesNothingBesideIt) {
  TTextStoreImage image;
  const std::string path = image.Put("cookies.txt", "old content\n");
  ASSERT_TRUE(ReplaceStoreFile(path, "new\r\ncontent"));
  EXPECT_EQ(image.Read("cookies.txt"), "new\r\ncontent");
  EXPECT_EQ(image.Files(), Files{"cookies.txt"});
}

TEST(ReplaceStoreFile, CreatesAStoreThatDidNotExist) {
  TTextStoreImage image;
  ASSERT_TRUE(ReplaceStoreFile(TTextStoreImage::Path("prefs.js"), "x"));
  EXPECT_EQ(image.Read("prefs.js"), "x");
  EXPECT_EQ(image.Files(), Files{"prefs.js"});
}

TEST(ReplaceStoreFile, FullDiskLeavesTheStoreByteForByteAndRemovesThePartialFile) {
  TTextStoreImage image;
  const std::string original = std::string("line 1\r\nline 2\n\0binary", 22);
  const std::string path = image.Put("cookies.txt", original);
  image.Api().FailWrite = Always();
  EXPECT_FALSE(ReplaceStoreFile(path, std::string(4096, 'n')));
  EXPECT_EQ(winapi::GetLastError(), static_cast<winapi::DWORD>(winapi::ERROR_DISK_FULL));
  EXPECT_EQ(image.Read("cookies.txt"), original);
  EXPECT_EQ(image.Files(), Files{"cookies.txt"});
}

TEST(ReplaceStoreFile, FailedRenameLeavesTheStoreAndRemovesTheNewContent) {
  TTextStoreImage image;
  const std::string path = image.Put("bookmarks.html", "old");
  image.Api().FailMove = Always();
  EXPECT_FALSE(ReplaceStoreFile(path, "new"));
  EXPECT_EQ(winapi::GetLastError(), static_cast<winapi::DWORD>(winapi::ERROR_SHARING_VIOLATION));
  EXPECT_EQ(image.Read("bookmarks.html"), "old");
  EXPECT_EQ(image.Files(), Files{"bookmarks.html"});
}

TEST(ReplaceStoreFile, ReadOnlyStoreIsRefusedAndKept) {
  TTextStoreImage image;
  const std::string path = image.Put("prefs.js", "old");
  ASSERT_TRUE(winapi::SetFileAttributes(path, winapi::FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(ReplaceStoreFile(path, "new"));
  EXPECT_EQ(image.Read("prefs.js"), "old");
  EXPECT_EQ(image.Files(), Files{"prefs.js"});
}

TEST(ReplaceStoreFile, MissingFolderFailsWithoutCreatingAnything) {
  TTextStoreImage image;
  EXPECT_FALSE(ReplaceStoreFile("C:\\Profile\\gone\\prefs.js", "new"));
  EXPECT_EQ(image.Files(), Files{});
}
