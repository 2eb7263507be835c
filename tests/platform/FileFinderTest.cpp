#include "platform/FileFinder.h"

#include "platform/PlatformImage.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::winapi;
using quillon::test::TFindSpy;

namespace {

using Names = std::vector<std::string>;

// Folders named so that the listing (in name order) meets them before the files.
class FileFinderTest : public ::testing::Test {
protected:
  FileFinderTest() {
    image.builder->AddFolder("C:\\F\\Sub");
    image.builder->AddFile("C:\\F\\a.url", "");
    image.builder->AddFolder("C:\\F\\Links");
    image.builder->AddFile("C:\\F\\b.txt", "");
    image.builder->AddFile("C:\\F\\Sub\\deep.url", "");
    image.builder->AddFile("C:\\G\\c.url", "");
    image.Install();
    spy = &image.SpyOnFinds();
  }

  test::TPlatformImage image;
  TFindSpy* spy = nullptr;
};

TEST_F(FileFinderTest, FolderMaskScansAllEntriesFilesFirst) {
  Names result = {"existing"};
  FindFiles("C:\\F\\", result, true, true, false);
  EXPECT_EQ(spy->FindMasks, Names{"C:\\F\\*.*"});
  // Files before folders whatever the order met; no dot entries; nothing from C:\F\Sub.
  EXPECT_EQ(result, (Names{"existing", "a.url", "b.txt", "Links", "Sub"}));
  EXPECT_EQ(spy->OpenFindHandles(), 0u);
}

TEST_F(FileFinderTest, MasksJoinedBySemicolonsAreScannedInOrder) {
  Names result;
  FindFiles("C:\\G\\*.url;C:\\F\\*.url;C:\\Missing\\*.url;", result, true, false, true);
  EXPECT_EQ(result, (Names{"C:\\G\\c.url", "C:\\F\\a.url"}));
  // The empty mask after the last ";" finds nothing.
  EXPECT_EQ(spy->FindMasks, (Names{"C:\\G\\*.url", "C:\\F\\*.url", "C:\\Missing\\*.url"}));
  EXPECT_EQ(spy->OpenFindHandles(), 0u);
}

TEST_F(FileFinderTest, WantedKindsAndNameForms) {
  Names folders;
  FindFiles("C:\\F\\*.*", folders, false, true, true);
  EXPECT_EQ(folders, (Names{"C:\\F\\Links", "C:\\F\\Sub"}));
  Names files;
  FindFiles("c:\\f\\*.URL", files, true, false, false); // masks match without regard to case
  EXPECT_EQ(files, Names{"a.url"});
  Names none;
  FindFiles("", none, true, true, false);
  EXPECT_TRUE(none.empty());
}

} // namespace
