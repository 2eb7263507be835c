#include "platform/PathSolve.h"

#include "platform/FakeAccounts.h"
#include "platform/PlatformImage.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::winapi;
using quillon::test::TFakeAccounts;

namespace {

using Lines = std::vector<std::string>;

// The shell's folders come from `fake`; registry and files from an image a test builds, or from
// nothing (a system without keys) when it builds none.
class PathSolveTest : public ::testing::Test {
protected:
  PathSolveTest() { bare_->accounts = fake; }
  ~PathSolveTest() override { ResetPathPlaceholders(); }

  Lines Variants(const std::string& pattern) {
    Lines results;
    SolvePathVariants(pattern, results);
    return results;
  }
  // The image to fill before Install(): 64-bit unless told.
  test::TPlatformImage& Image(bool is64 = true) {
    if (!image_)
      image_ = std::make_unique<test::TPlatformImage>(is64);
    return *image_;
  }
  kit::THiveWriter& User() { return Image().builder->UserHive("alice"); }
  void Install() {
    Image().Install();
    image_->backend->accounts = fake;
  }

  std::shared_ptr<TFakeAccounts> fake = std::make_shared<TFakeAccounts>();

private:
  std::shared_ptr<TWinApi> bare_ = std::make_shared<TWinApi>();
  TWinApiScope scope_{bare_};
  std::unique_ptr<test::TPlatformImage> image_; // installed over bare_ by Install()
};

const std::string kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

TEST_F(PathSolveTest, ProgramFilesOfBothViewsExpandToTwoVariants) {
  // A 32-bit process on 64-bit Windows: the shell answers the x86 folder, the native view of the
  // registry the other one (the image's ProgramFilesDir of both views).
  fake->SpecialFolders[CSIDL_PROGRAM_FILES] = "C:\\Program Files (x86)";
  fake->SpecialFolders[CSIDL_LOCAL_APPDATA] = "C:\\Users\\alice\\AppData\\Local\\";
  Install();
  InitPathPlaceholders();

  EXPECT_EQ(
      Variants("<$PROGRAMFILES>\\Opera\\Opera.exe"),
      (Lines{"C:\\Program Files\\Opera\\Opera.exe", "C:\\Program Files (x86)\\Opera\\Opera.exe"}));
  EXPECT_EQ(SolvePath("<$PROGRAMFILES>\\Opera\\Opera.exe"),
            "C:\\Program Files (x86)\\Opera\\Opera.exe");
  EXPECT_EQ(Variants("<$LOCALAPPDATA>\\Google\\Chrome\\"),
            (Lines{"C:\\Users\\alice\\AppData\\Local\\Google\\Chrome\\"}));
}

TEST_F(PathSolveTest, RegistryFillsFoldersTheShellDoesNotKnow) {
  test::TPlatformImage& image = Image(/*is64=*/false);
  image.builder->UserHive("alice").SetString(
      kShellFolders, "Local AppData", "C:\\Documents and Settings\\bob\\Local Settings\\\\Data\\");
  image.builder->Software().SetString("Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                                      "C:\\Programme");
  Install();
  InitPathPlaceholders();

  EXPECT_EQ(SolvePath("<$LOCALAPPDATA>\\Google\\Chrome\\"),
            "C:\\Documents and Settings\\bob\\Local Settings\\Data\\Google\\Chrome\\");
  EXPECT_EQ(Variants("<$PROGRAMFILES>\\"), (Lines{"C:\\Programme\\"}));
}

TEST_F(PathSolveTest, UnknownFolderKeepsAnEmptyLineButYieldsNoVariant) {
  InitPathPlaceholders();
  const auto& lines = PathPlaceholders().Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().Name, "<$PROGRAMFILES>");
  EXPECT_EQ(lines.front().Value, "");
  EXPECT_EQ(SolvePath("<$LOCALAPPDATA>\\Google\\Chrome\\"), "\\Google\\Chrome\\");
  // A variant with the folder missing would point at the root of the current drive.
  EXPECT_TRUE(Variants("<$LOCALAPPDATA>\\Google\\Chrome\\").empty());
}

TEST_F(PathSolveTest, OnlyKnownPlaceholdersInTheirOwnCaseExpand) {
  fake->SpecialFolders[CSIDL_PROGRAM_FILES] = "C:\\PF";
  InitPathPlaceholders();
  for (const std::string pattern :
       {"C:\\Plain\\path", "<$programfiles>\\x", "<$NOSUCHFOLDER>\\x", "<$ProgramFiles>\\x"}) {
    EXPECT_EQ(SolvePath(pattern), pattern);
    EXPECT_EQ(Variants(pattern), Lines{pattern});
  }
  EXPECT_EQ(SolvePath("<$PROGRAMFILES>\\a;<$PROGRAMFILES>\\b"), "C:\\PF\\a;C:\\PF\\b");
}

TEST(SolvePathVariants, ExpandsEveryCombination) {
  TPathPlaceholders table;
  table.Append("<$A>", "a2");
  table.Append("<$A>", "A1");
  table.Append("<$B>", "b");
  table.Append("<$B>", "B"); // the same value in other case
  table.Append("<$C>", "");
  TPathPlaceholderValues values;
  BuildPlaceholderValueSets(table, values);
  ASSERT_EQ(values.Entries().size(), 3u);
  EXPECT_EQ(values.Entries()[0].Values.Values(), (Lines{"A1", "a2"}));
  EXPECT_EQ(values.Entries()[1].Values.Values(), Lines{"b"});
  EXPECT_TRUE(values.Entries()[2].Values.Values().empty());

  Lines results = {"kept"};
  SolvePathVariants("<$A>-<$B>-<$A>", results, values);
  // Each step expands the first placeholder of the last line that still has one.
  EXPECT_EQ(results, (Lines{"kept", "a2-b-a2", "a2-b-A1", "A1-b-a2", "A1-b-A1"}));

  results.clear();
  SolvePathVariants("<$C>\\x", results, values);
  EXPECT_TRUE(results.empty());
}

TEST(SolvePathVariants, StopsOnAValueThatNamesItsOwnPlaceholder) {
  TPathPlaceholders table;
  table.Append("<$A>", "<$A>\\x");
  TPathPlaceholderValues values;
  BuildPlaceholderValueSets(table, values);
  Lines results;
  SolvePathVariants("<$A>", results, values);
  EXPECT_EQ(results.size(), 1u);
}

TEST(PathPlaceholders, FollowNameValueListRules) {
  TPathPlaceholders table;
  table.Append("<$A>", "first");
  table.Append("<$A>", "second");
  table.Append("<$B>", "");
  EXPECT_EQ(table.Value("<$a>"), "first");
  table.SetValue("<$A>", "changed");
  EXPECT_EQ(table.Lines()[0].Value, "changed");
  EXPECT_EQ(table.Lines()[1].Value, "second");
  table.SetValue("<$A>", ""); // deletes the first line only
  EXPECT_EQ(table.Value("<$A>"), "second");
  table.SetValue("<$C>", "new");
  ASSERT_EQ(table.Lines().size(), 3u);
  EXPECT_EQ(table.Lines()[2].Name, "<$C>");
  EXPECT_EQ(SolvePath("<$A>|<$C>|<$B>", table), "second|new|");
}

TEST_F(PathSolveTest, UpdateFromRegistryCutsAppendsAndRespectsOverwrite) {
  User().SetString("Software\\X", "Path", "C:\\Apps\\Tool\\bin\\tool.exe");
  Install();
  TPathPlaceholders table;
  UpdatePlaceholderFromRegistry(table, "<$T>", HKEY_CURRENT_USER, "bin", "\\\\data\\", false, 32,
                                "Path", "\\Software\\X\\");
  EXPECT_EQ(table.Value("<$T>"), "C:\\Apps\\Tool\\data");
  table.SetValue("<$T>", "kept");
  UpdatePlaceholderFromRegistry(table, "<$T>", HKEY_CURRENT_USER, "", "", false, 32, "Path",
                                "\\Software\\X\\");
  EXPECT_EQ(table.Value("<$T>"), "kept");
  UpdatePlaceholderFromRegistry(table, "<$T>", HKEY_CURRENT_USER, "", "", true, 32, "Missing",
                                "\\Software\\X\\");
  EXPECT_EQ(table.Value("<$T>"), "kept");
}

TEST_F(PathSolveTest, SpecialFoldersFallBackToTheRegistryInView32) {
  User().SetString(kShellFolders, "Favorites", "C:\\Users\\alice\\Favorites");
  User().SetString(kShellFolders, "AppData", "C:\\Users\\alice\\AppData\\Roaming");
  Install(); // the image's ProgramFilesDir of both views
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_FAVORITES), "C:\\Users\\alice\\Favorites");
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_PROGRAM_FILES), "C:\\Program Files (x86)");
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_APPDATA), ""); // no fallback for other folders
  fake->SpecialFolders[CSIDL_FAVORITES] = "D:\\Fav";
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_FAVORITES), "D:\\Fav");
}

TEST(NormalizePath, CollapsesBackslashRunsAndDropsOneTrailing) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"C:\\\\A\\\\\\\\B\\", "C:\\A\\B"},
      {"C:\\A", "C:\\A"},
      {"C:\\A\\\\\\", "C:\\A"},
      {"\\", ""},
      {"", ""},
      {"\\\\server\\share", "\\server\\share"}};
  for (const auto& [in, out] : table)
    EXPECT_EQ(NormalizePath(in), out) << in;
}

// --- On a generated image ------------------------------------------------------------------------

TEST(PathSolveOnImage, PlaceholdersOfA64BitSystem) {
  test::TPlatformImage image;
  image.Install();
  InitPathPlaceholders();
  Lines results;
  SolvePathVariants("<$PROGRAMFILES>\\Opera\\", results);
  EXPECT_EQ(results, (Lines{"C:\\Program Files\\Opera\\", "C:\\Program Files (x86)\\Opera\\"}));
  // The program sees the system as a 32-bit process does.
  EXPECT_EQ(SolvePath("<$PROGRAMFILES>\\Opera\\"), "C:\\Program Files (x86)\\Opera\\");
  results.clear();
  SolvePathVariants("<$LOCALAPPDATA>\\Google\\Chrome\\", results);
  EXPECT_EQ(results, Lines{"C:\\Users\\alice\\AppData\\Local\\Google\\Chrome\\"});
  ResetPathPlaceholders();
}

TEST(PathSolveOnImage, PlaceholdersOfA32BitSystem) {
  test::TPlatformImage image(false);
  image.Install();
  InitPathPlaceholders();
  Lines results;
  SolvePathVariants("<$PROGRAMFILES>\\", results);
  EXPECT_EQ(results, Lines{"C:\\Program Files\\"});
  EXPECT_EQ(SolvePath("<$PROGRAMFILES>\\"), "C:\\Program Files\\");
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_FAVORITES), "C:\\Users\\alice\\Favorites");
  ResetPathPlaceholders();
}

} // namespace
