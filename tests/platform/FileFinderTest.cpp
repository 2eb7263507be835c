#include "platform/FileFinder.h"

#include "platform/FakeWinApi.h"
#include "platform/PlatformImage.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::winapi;
using quillon::test::TFakeWinApi;

namespace {

using Names = std::vector<std::string>;

class FileFinderTest : public ::testing::Test {
protected:
  FileFinderTest() {
    fake->AddFolder("C:\\F\\Sub");
    fake->AddFile("C:\\F\\a.url");
    fake->AddFolder("C:\\F\\Links");
    fake->AddFile("C:\\F\\b.txt");
    fake->AddFile("C:\\F\\Sub\\deep.url");
    fake->AddFile("C:\\G\\c.url");
  }

  std::shared_ptr<TFakeWinApi> fake = std::make_shared<TFakeWinApi>();
  TWinApiScope scope{fake};
};

TEST_F(FileFinderTest, FolderMaskScansAllEntriesFilesFirst) {
  Names result = {"existing"};
  FindFiles("C:\\F\\", result, true, true, false);
  EXPECT_EQ(fake->FindMasks, Names{"C:\\F\\*.*"});
  // Files before folders whatever the order met; no dot entries; nothing from C:\F\Sub.
  EXPECT_EQ(result, (Names{"existing", "a.url", "b.txt", "Sub", "Links"}));
  EXPECT_EQ(fake->OpenFindHandles(), 0u);
}

TEST_F(FileFinderTest, MasksJoinedBySemicolonsAreScannedInOrder) {
  Names result;
  FindFiles("C:\\G\\*.url;C:\\F\\*.url;C:\\Missing\\*.url;", result, true, false, true);
  EXPECT_EQ(result, (Names{"C:\\G\\c.url", "C:\\F\\a.url"}));
  // The empty mask after the last ";" finds nothing.
  EXPECT_EQ(fake->FindMasks, (Names{"C:\\G\\*.url", "C:\\F\\*.url", "C:\\Missing\\*.url"}));
}

TEST_F(FileFinderTest, WantedKindsAndNameForms) {
  Names folders;
  FindFiles("C:\\F\\*.*", folders, false, true, true);
  EXPECT_EQ(folders, (Names{"C:\\F\\Sub", "C:\\F\\Links"}));
  Names files;
  FindFiles("C:\\F\\*.url", files, true, false, false);
  EXPECT_EQ(files, Names{"a.url"});
  Names none;
  FindFiles("", none, true, true, false);
  EXPECT_TRUE(none.empty());
}

// --- On a generated image ------------------------------------------------------------------------

class FileFinderOnImage : public ::testing::Test {
protected:
  FileFinderOnImage() {
    image.builder->AddFolder("C:\\F\\Sub");
    image.builder->AddFolder("C:\\F\\Alpha");
    image.builder->AddFile("C:\\F\\b.url", "[InternetShortcut]\r\n");
    image.builder->AddFile("C:\\F\\a.txt", "");
    image.builder->AddFile("C:\\F\\Sub\\deep.url", "");
    image.builder->AddFile("C:\\G\\c.url", "");
    image.Install();
  }
  test::TPlatformImage image;
};

TEST_F(FileFinderOnImage, ListsOneLevelFilesBeforeFolders) {
  Names result;
  FindFiles("C:\\F\\", result, true, true, false);
  EXPECT_EQ(result, (Names{"a.txt", "b.url", "Alpha", "Sub"}));
  result.clear();
  FindFiles("C:\\F\\*.*", result, false, true, true);
  EXPECT_EQ(result, (Names{"C:\\F\\Alpha", "C:\\F\\Sub"}));
}

TEST_F(FileFinderOnImage, ScansJoinedMasksInOrder) {
  Names result;
  FindFiles("C:\\G\\*.url;C:\\F\\*.url;", result, true, false, true);
  EXPECT_EQ(result, (Names{"C:\\G\\c.url", "C:\\F\\b.url"}));
  result.clear();
  FindFiles("c:\\f\\*.URL", result, true, false, false);
  EXPECT_EQ(result, Names{"b.url"});
}

} // namespace
