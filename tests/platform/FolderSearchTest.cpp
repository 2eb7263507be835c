#include "platform/FolderSearch.h"

#include "platform/PlatformImage.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::winapi;
using quillon::test::TFindSpy;

namespace {

using Names = std::vector<std::string>;

class FolderSearchTest : public ::testing::Test {
protected:
  FolderSearchTest() {
    image.builder->AddFolder("C:\\PF\\Opera\\profile");
    image.builder->AddFile("C:\\PF\\Opera.txt", "");
    image.builder->AddFolder("C:\\PF\\Opera 9");
    image.builder->AddFile("C:\\PF\\Opera\\Opera.exe", "");
    image.builder->AddFile("C:\\PF\\Opera\\profile\\opera6.ini", "");
    image.builder->AddFile("C:\\PF\\Other\\Opera.ini", "");
    image.builder->AddFile("C:\\PF\\Other\\note.txt", "");
    image.Install();
    spy = &image.SpyOnFinds();
  }

  test::TPlatformImage image;
  TFindSpy* spy = nullptr;
};

TEST_F(FolderSearchTest, FindsMatchingFoldersAsFullPaths) {
  EXPECT_EQ(SearchPath("C:\\PF\\Opera*", false, true, false, true),
            (Names{"C:\\PF\\Opera", "C:\\PF\\Opera 9"}));
  // The file system filters the mask; the folder is not listed as a whole.
  EXPECT_EQ(spy->FindMasks, Names{"C:\\PF\\Opera*"});
  EXPECT_EQ(SearchPath("C:\\PF\\*", false, true, false, false),
            (Names{"Opera", "Opera 9", "Other"}));
}

TEST_F(FolderSearchTest, RecursesBreadthFirstWithRelativeNames) {
  EXPECT_EQ(
      SearchPath("C:\\PF\\Opera*", true, false, true, false),
      (Names{"Opera.txt", "Opera\\Opera.exe", "Other\\Opera.ini", "Opera\\profile\\opera6.ini"}));
  // Files and folders together list each folder once and no dot entries.
  EXPECT_EQ(SearchPath("C:\\PF\\Opera\\*", true, true, false, true),
            (Names{"C:\\PF\\Opera\\Opera.exe", "C:\\PF\\Opera\\profile"}));
  EXPECT_EQ(spy->OpenFindHandles(), 0u);
}

TEST_F(FolderSearchTest, ListFolderKeepsEnumerationOrderAndDots) {
  EXPECT_EQ(ListFolder("C:\\PF\\Opera\\*", true, true, kListNameOnly),
            (Names{".", "..", "Opera.exe", "profile"}));
  EXPECT_EQ(ListFolder("C:\\PF\\Opera\\*", true, false, kListWithFolder),
            Names{"C:\\PF\\Opera\\Opera.exe"});
  EXPECT_TRUE(ListFolder("C:\\PF\\Opera\\*", true, true, 2).empty());
  EXPECT_TRUE(ListFolder("C:\\Missing\\*", true, true, kListNameOnly).empty());
}

TEST(RemoveDotEntries, RemovesOnlyDotNames) {
  Names list = {".", "..", "C:\\A\\.", "C:\\A\\..", "C:\\A\\.hidden", "a..", "C:\\A"};
  RemoveDotEntries(list);
  EXPECT_EQ(list, (Names{"C:\\A\\.hidden", "a..", "C:\\A"}));
}

// --- On a generated image ------------------------------------------------------------------------

class FolderSearchOnImage : public ::testing::Test {
protected:
  FolderSearchOnImage() {
    const std::string pf = "C:\\Program Files (x86)\\";
    image.builder->AddFolder(pf + "Opera");
    image.builder->AddFolder(pf + "Opera 9\\profile");
    image.builder->AddFile(pf + "Opera.txt", "");
    image.builder->AddFile(pf + "Opera 9\\Opera.exe", "");
    image.builder->AddFile(pf + "Opera 9\\profile\\opera6.ini", "");
    image.Install();
  }
  test::TPlatformImage image;
};

TEST_F(FolderSearchOnImage, FindsProgramFoldersByMask) {
  EXPECT_EQ(SearchPath("C:\\Program Files (x86)\\Opera*", false, true, false, true),
            (Names{"C:\\Program Files (x86)\\Opera", "C:\\Program Files (x86)\\Opera 9"}));
  const Names all = SearchPath("C:\\Program Files (x86)\\Opera 9\\*", false, true, false, false);
  EXPECT_EQ(all, Names{"profile"});
}

TEST_F(FolderSearchOnImage, RecursesIntoSubfolders) {
  // Masks match without regard to case, as on Windows.
  EXPECT_EQ(SearchPath("C:\\Program Files (x86)\\*.ini", true, false, true, false),
            Names{"Opera 9\\profile\\opera6.ini"});
  EXPECT_EQ(
      SearchPath("C:\\Program Files (x86)\\Opera*", true, false, true, true),
      (Names{"C:\\Program Files (x86)\\Opera.txt", "C:\\Program Files (x86)\\Opera 9\\Opera.exe",
             "C:\\Program Files (x86)\\Opera 9\\profile\\opera6.ini"}));
}

} // namespace
