#include "formats/FFMorkSimple.h"

#include "formats/FileErrors.h"
#include "formats/StoreLimits.h"
#include "kit/MorkWriter.h"
#include "winapi/MemoryFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace quillon;
using kit::TMorkCell;
using kit::TMorkWriter;
using Lines = std::vector<std::string>;

namespace {

Lines ToLines(const TTextList& list) {
  return Lines(list.begin(), list.end());
}

TMorkFile Parsed(std::string text) {
  TMorkFile mork;
  mork.LoadFromBuffer(std::move(text));
  return mork;
}

// The row whose id is rowId; fails the test when there is none.
std::size_t RowOf(const TMorkFile& mork, const std::string& rowId) {
  for (std::size_t i = 0; i < mork.RowCount(); ++i) {
    if (mork.RowId(i) == rowId)
      return i;
  }
  ADD_FAILURE() << "no row " << rowId;
  return mork.RowCount();
}

constexpr char kSmallFile[] = "// <!-- <mdb:mork:z v=\"1.4\"/> -->\n"
                              "< <(a=c)> // (f=iso-8859-1)\n"
                              "  (80=ns:history:db:row:scope:history:all)(82=URL)(84=VisitCount)>\n"
                              "<(8F=abc)(90=x$20y)>\n"
                              "{1:^80 {(k^81:c)(s=9)}\n"
                              "  [1(^82^8F)(^84=12)]\n"
                              "  [-2(^82=a b,\"c\")]}\n";

TEST(MorkScanner, SortsCellsIntoTheFourLists) {
  const TMorkFile mork = Parsed(kSmallFile);
  EXPECT_EQ(ToLines(mork.RawList()),
            (Lines{"FieldsSub | a=c", "Fields | f=iso-8859-1",
                   "Fields | 80=ns:history:db:row:scope:history:all", "Fields | 82=URL",
                   "Fields | 84=VisitCount", "Contents | 8F=abc", "Contents | 90=x$20y",
                   "ContentsLeft | k^81:c", "ContentsLeft | s=9", "AssignmentData | ^82^8F",
                   "AssignmentData | ^84=12", "AssignmentData | ^82=a b,\"c\""}));
  EXPECT_EQ(
      ToLines(mork.FieldList()),
      (Lines{"f=iso-8859-1", "80=ns:history:db:row:scope:history:all", "82=URL", "84=VisitCount"}));
  EXPECT_EQ(ToLines(mork.DataList()), (Lines{"8F=abc", "90=x y"}));
  EXPECT_EQ(ToLines(mork.TableList()), (Lines{"1=^82^8F,^84=12", "-2=\"^82=a b,\"\"c\"\"\""}));
  ASSERT_EQ(mork.RowCount(), 2u);
  EXPECT_EQ(mork.RowId(0), "1");
  EXPECT_EQ(mork.RowId(1), "-2");
  EXPECT_EQ(mork.RowId(2), "");
}

TEST(MorkScanner, ResolvesRowCellsThroughBothDictionaries) {
  const TMorkFile mork = Parsed(kSmallFile);
  EXPECT_EQ(mork.CellValue("URL", 0), "abc");
  EXPECT_EQ(mork.CellValue("VisitCount", 0), "12");
  EXPECT_EQ(mork.CellValue("url", 0), ""); // column names match exactly
  EXPECT_EQ(mork.CellValue("Name", 0), "");
  EXPECT_EQ(mork.CellValue("URL", 1), "a b,\"c\""); // comma text round trip
  EXPECT_EQ(mork.CellValue("URL", 7), "");

  std::string column = "before", value = "before";
  mork.ResolveCell("^82^8f", column, value); // ids compare ignoring case
  EXPECT_EQ(column, "URL");
  EXPECT_EQ(value, "abc");
  mork.ResolveCell("^84=7", column, value);
  EXPECT_EQ(column, "VisitCount");
  EXPECT_EQ(value, "7");
  mork.ResolveCell("^99^8F", column, value); // an unknown column
  EXPECT_EQ(column, "");
  EXPECT_EQ(value, "abc");
  mork.ResolveCell("^84", column, value); // neither "=" nor a second "^"
  EXPECT_EQ(column, "");
  EXPECT_EQ(value, "84");
  mork.ResolveCell("^82^77", column, value); // an unknown atom
  EXPECT_EQ(column, "URL");
  EXPECT_EQ(value, "");
  column = value = "kept";
  mork.ResolveCell("82=abc", column, value); // not a reference at all
  EXPECT_EQ(column, "kept");
  EXPECT_EQ(value, "kept");
}

// Quoted cells are unquoted into a buffer of the walk; their views must not point there.
TEST(MorkScanner, ViewsOfQuotedCellsOutliveTheWalk) {
  const TMorkFile mork =
      Parsed("< <(a=c)> (82=URL)(83=Title)(84=Host)>\n<(8F=x y)>\n"
             "[1(^82=a b)(^83=say \"hi\", long enough to leave the stack)(^84^8F)]\n");
  const std::vector<std::string_view> names = {"URL", "Title", "Host"};
  std::vector<std::string_view> views(names.size());
  std::string scratch;
  mork.CellViews(0, names, views, scratch);
  EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()),
            (std::vector<std::string>{"a b", "say \"hi\", long enough to leave the stack", "x y"}));
}

TEST(MorkScanner, FirstDictionaryEntryOfAnIdWins) {
  const TMorkFile mork = Parsed("< <(a=c)> (82=URL)(82=Other)>\n"
                                "<(8F=first)>\n[1(^82^8F)]\n<(8f=second)>\n[2(^82^8F)]\n");
  EXPECT_EQ(ToLines(mork.DataList()), (Lines{"8F=first", "8f=second"}));
  EXPECT_EQ(mork.CellValue("URL", 0), "first");
  EXPECT_EQ(mork.CellValue("URL", 1), "first");
  EXPECT_EQ(mork.CellValue("Other", 0), "");
}

// Dense hex ids are looked up by number, anything else by hash; both must answer alike,
// including ids that are the same number written differently.
TEST(MorkScanner, LooksIdsUpAlikeWhateverTheirShape) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"(80=a)(81=b)", {"a", "b", "", ""}},             // dense hex
      {"(80=a)(080=z)(81=b)", {"a", "b", "", "z"}},     // one number, two ids
      {"(80=a)(81=b)(FFFFFF=far)", {"a", "b", "", ""}}, // sparse
      {"(80=a)(81=b)(x1=c)", {"a", "b", "", ""}},       // not a number
      {"(80=a\\)b)(81=b)(0=c)", {"a\\", "b", "", ""}},  // a line without an id
  };
  for (const auto& [atoms, expected] : cases) {
    const TMorkFile mork = Parsed("< <(a=c)> (82=URL)(83=Host)(84=Title)(85=Old)>\n<" + atoms +
                                  ">\n[1(^82^80)(^83^81)(^84^7F)(^85^080)]\n");
    const std::vector<std::string_view> names = {"URL", "Host", "Title", "Old"};
    std::vector<std::string> values(names.size(), "stale");
    mork.CellValues(0, names, values);
    EXPECT_EQ(values, expected) << atoms;
    std::vector<std::string_view> views(names.size(), "stale");
    std::string scratch;
    mork.CellViews(0, names, views, scratch);
    EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()), expected) << atoms;
    for (std::size_t i = 0; i < names.size(); ++i)
      EXPECT_EQ(mork.CellValue(names[i], 0), expected[i]) << atoms << " " << names[i];
  }
}

TEST(MorkScanner, DecodesDollarEscapesOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a$20b", "a b"},
      {"$C3$A9", "\xC3\xA9"},
      {"$4a$4A", "JJ"},
      {"$$41", "$A"},
      {"end$4", "end$4"},
      {"$", "$"},
      {"$g0", "$g0"},
      {"$2g", "$2g"},
      {"a\\)b\\\\", "a\\)b\\\\"},
      {"$00x", std::string("\0x", 2)},
  };
  for (const auto& [text, decoded] : cases)
    EXPECT_EQ(TMorkFile::DecodeEscapes(text), decoded) << text;
}

TEST(MorkScanner, FollowsItsCharacterRulesInsideValues) {
  // ")" ends a cell early and the text after it joins the next cell; "(" starts over.
  TMorkFile mork = Parsed("< <(a=c)> (82=URL)>\n[1(^82=a\\)b)(^82=x(y)]\n");
  EXPECT_EQ(ToLines(mork.TableList()), Lines{"1=^82=a\\,^82=a\\b,y"});
  EXPECT_EQ(mork.CellValue("URL", 0), "a\\");

  // ">" inside a value dictionary ends it; the rest of its cells reach RawList only.
  mork = Parsed("< <(a=c)> (82=URL)>\n<(80=Homer <h@x>)(81=z)>\n");
  EXPECT_EQ(ToLines(mork.DataList()), Lines{});
  EXPECT_EQ(mork.RawList().back(), "ContentsLeft | 81=z");
  EXPECT_EQ(mork.RawList()[mork.RawList().size() - 2], "ContentsLeft | 80=Homer <h@x");

  // "[" and "]" inside a cell are text; a row without an id is dropped.
  mork = Parsed("< <(a=c)> (82=URL)>\n[(^82=x)][2(^82=[y])]");
  EXPECT_EQ(ToLines(mork.TableList()), Lines{"2=^82=[y]"});

  // A file with no rows.
  EXPECT_EQ(Parsed("< <(a=c)> (82=URL)>\n<(80=x)>").RowCount(), 0u);
  EXPECT_EQ(Parsed("").RowCount(), 0u);
}

TEST(MorkScanner, JoinsContinuedLinesAndSkipsComments) {
  // The backslash stays, the line break goes, and so do the next line's leading blanks.
  TMorkFile mork = Parsed("// header\n< <(a=c)> (82=URL)>\n<(80=http://a/\\\n   b/c)>\n"
                          "[1(^82^80)]");
  EXPECT_EQ(ToLines(mork.DataList()), Lines{"80=http://a/\\b/c"});
  EXPECT_EQ(mork.RowId(0), "1");

  // CR alone ends a line too. "//" inside a line is text; at a line's start it opens a comment
  // only after a line that ended with "/".
  mork = Parsed("//x\r< <(a=c)>\r(82=U//RL)/\r// (83=gone)\r(84=kept)>");
  EXPECT_EQ(ToLines(mork.FieldList()), (Lines{"82=U//RL", "84=kept"}));
}

TEST(MorkScanner, WrittenHistoryReadsBack) {
  std::vector<kit::TMorkHistoryEntry> entries = {
      {"http://www.mozilla.org/", "Mozilla", "www.mozilla.org", 1171234567000000, 1171234999000000,
       3, true},
      {"http://example.com/a b?x=1,2", "Caf\xC3\xA9 \"quoted\"", "example.com", 1, 2, 1, false},
      {"http://example.com/" + std::string(150, 'p') + "/end", "", "example.com", 5, 6, 1, false},
      {"http://example.com/t", "A title   with blanks " + std::string(120, ' ') + "at every place",
       "example.com", 7, 8, 1, false},
  };
  const TMorkFile mork = Parsed(kit::BuildHistoryDat(entries));
  ASSERT_EQ(mork.RowCount(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(mork.RowId(i), std::to_string(i + 1));
    // A value too long for one line keeps the backslash of each line break; no blank may be
    // lost at a break, as a reader drops the blanks that start a line.
    const auto unbroken = [](std::string text) {
      text.erase(std::remove(text.begin(), text.end(), '\\'), text.end());
      return text;
    };
    const std::string url = mork.CellValue("URL", i);
    const std::string title = mork.CellValue("Name", i);
    EXPECT_EQ(url.find('\\') != std::string::npos, i == 2);
    EXPECT_EQ(title.find('\\') != std::string::npos, i == 3);
    EXPECT_EQ(unbroken(url), entries[i].Url);
    EXPECT_EQ(unbroken(title), entries[i].Title);
    EXPECT_EQ(mork.CellValue("Hostname", i), entries[i].Hostname);
    EXPECT_EQ(mork.CellValue("LastVisitDate", i), std::to_string(entries[i].LastVisitDate));
    EXPECT_EQ(mork.CellValue("FirstVisitDate", i), std::to_string(entries[i].FirstVisitDate));
  }
  EXPECT_EQ(mork.CellValue("Typed", 0), "1");
  EXPECT_EQ(mork.CellValue("Typed", 1), "");
}

TEST(MorkScanner, ReadsSeveralTablesAndGroups) {
  TMorkWriter writer(kit::TMorkWriterOptions{40, true});
  writer.BeginTable("1", "ns:addrbk:db:row:scope:card:all", "ns:addrbk:db:table:kind:pab");
  writer.AddRow("1", {{"DisplayName", "Alice"}, {"PrimaryEmail", "alice@example.com"}});
  writer.AddRow("2", {{"DisplayName", "Bob"}, {"Count", "7", true}});
  writer.BeginTable("2", "ns:addrbk:db:row:scope:list:all", "ns:addrbk:db:table:kind:list");
  writer.AddRow("1:^81", {{"DisplayName", "Friends"}});
  writer.BeginGroup();
  writer.BeginTable("1", "ns:addrbk:db:row:scope:card:all", "ns:addrbk:db:table:kind:pab");
  writer.AddRow("-2", {{"DisplayName", "Robert"}, {"PrimaryEmail", "alice@example.com"}});
  writer.EndGroup();
  const std::string text = writer.Build();
  ASSERT_NE(text.find("@$${1{@"), std::string::npos);
  ASSERT_NE(text.find("\r\n"), std::string::npos);

  const TMorkFile mork = Parsed(text);
  ASSERT_EQ(mork.RowCount(), 4u);
  EXPECT_EQ(mork.CellValue("PrimaryEmail", RowOf(mork, "1")), "alice@example.com");
  EXPECT_EQ(mork.CellValue("Count", RowOf(mork, "2")), "7");
  EXPECT_EQ(mork.CellValue("DisplayName", RowOf(mork, "1:^81")), "Friends");
  const std::size_t changed = RowOf(mork, "-2");
  EXPECT_EQ(mork.CellValue("DisplayName", changed), "Robert"); // an atom of the group
  EXPECT_EQ(mork.CellValue("PrimaryEmail", changed), "alice@example.com");
}

TEST(MorkScanner, SurvivesTruncatedAndScrambledFiles) {
  const std::string good =
      kit::BuildHistoryDat({{"http://a.example/", "A", "a.example", 1, 2, 1, false},
                            {"http://b.example/(x)", "B$", "b.example", 3, 4, 2, true}},
                           kit::TMorkWriterOptions{30, false});
  for (std::size_t size = 0; size <= good.size(); ++size) {
    const TMorkFile mork = Parsed(good.substr(0, size));
    EXPECT_LE(mork.RowCount(), 2u);
    for (std::size_t row = 0; row < mork.RowCount(); ++row)
      mork.CellValue("URL", row);
  }
  EXPECT_EQ(Parsed(good).CellValue("URL", 0), "http://a.example/");

  std::mt19937 random(20240611);
  const std::string alphabet = "()<>[]^=$\\/,\" \r\nabc019F";
  for (int round = 0; round < 500; ++round) {
    std::string text(static_cast<std::size_t>(random() % 300), ' ');
    for (char& c : text)
      c = alphabet[random() % alphabet.size()];
    const TMorkFile mork = Parsed(text);
    for (std::size_t row = 0; row < mork.RowCount(); ++row) {
      ASSERT_NE(mork.TableList()[row].find('='), std::string::npos);
      mork.CellValue("abc", row);
    }
  }
}

class MorkFileAccess : public ::testing::Test {
protected:
  test::TMemoryFiles files_;
};

TEST_F(MorkFileAccess, LoadsThroughTheSystemAndRaisesWhenItCannot) {
  files_->Add("C:\\Profile\\history.dat", kSmallFile);
  TMorkFile mork;
  mork.LoadFromFile("c:\\profile\\HISTORY.DAT");
  EXPECT_EQ(mork.Buffer(), kSmallFile);
  EXPECT_EQ(mork.RowCount(), 2u);

  // Each load starts afresh; a failed one leaves nothing of the last file.
  files_->Lock("C:\\Profile\\locked.dat", winapi::ERROR_ACCESS_DENIED);
  EXPECT_THROW(mork.LoadFromFile("C:\\Profile\\locked.dat"), EFOpenError);
  EXPECT_THROW(mork.LoadFromFile("C:\\Profile\\missing.dat"), EFOpenError);
  EXPECT_EQ(mork.RowCount(), 0u);
  EXPECT_TRUE(mork.RawList().empty());
  EXPECT_TRUE(mork.FieldList().empty());
  EXPECT_TRUE(mork.DataList().empty());
  EXPECT_EQ(mork.CellValue("URL", 0), "");
}

// Each ")" lists all text since the last "(" again, and each "]" the last row, so these inputs
// would ask for hundreds of gigabytes. From memory the lists end where they reach the memory a
// file of that size may take; from a file the file is refused as a whole.
TEST_F(MorkFileAccess, RepeatedTextEndsAtTheMemoryBudgetOrIsRefused) {
  std::string cells = "< <(a=c)> (82=URL)>\n[1(^82=";
  for (int i = 0; i < 200000; ++i)
    cells += "abcdefghij)";
  std::string rows = "< <(a=c)> (82=URL)>\n[1(^82=" + std::string(1 << 20, 'v') + ")";
  rows.append(200000, ']');
  for (const std::string& text : {cells, rows}) {
    const TMorkFile mork = Parsed(text);
    EXPECT_LE(mork.HeldBytes(), StoreMemoryBudget(text.size()));
    EXPECT_FALSE(mork.TableList().empty() && mork.RawList().empty());

    files_->Add("C:\\Profile\\history.dat", text);
    TMorkFile fromFile;
    try {
      fromFile.LoadFromFile("C:\\Profile\\history.dat");
      ADD_FAILURE() << "not refused";
    } catch (const EFileTooLarge& e) {
      EXPECT_EQ(std::string(e.what()),
                "history.dat repeats its cells so often that listing them would take more than "
                "the " +
                    SizeText(StoreMemoryBudget(text.size())) + " of memory a file of " +
                    SizeText(text.size()) + " may use; not read");
    }
    EXPECT_EQ(fromFile.RowCount(), 0u);
    EXPECT_TRUE(fromFile.RawList().empty());
  }
  // A real file is far from the limit.
  EXPECT_EQ(Parsed(kSmallFile).RowCount(), 2u);
}

TEST_F(MorkFileAccess, ReadsRealThunderbirdFiles) {
  const std::filesystem::path folder = std::filesystem::path(QUILLON_SAMPLES_DIR) / "mork";
  if (!std::filesystem::is_directory(folder))
    GTEST_SKIP() << "no Mork samples in " << folder;
  const auto load = [&](const std::string& name) {
    std::ifstream in(folder / name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    files_->Add("C:\\Samples\\" + name, bytes.str());
    TMorkFile mork;
    mork.LoadFromFile("C:\\Samples\\" + name);
    return mork;
  };
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    const TMorkFile mork = load(file.path().filename().string());
    EXPECT_FALSE(mork.FieldList().empty()) << file.path();
    EXPECT_GE(mork.RowCount(), 1u) << file.path();
  }

  const TMorkFile cards = load("tb_cardForEmail.mab");
  const std::size_t john = RowOf(cards, "3");
  EXPECT_EQ(cards.CellValue("DisplayName", john), "John Doe");
  EXPECT_EQ(cards.CellValue("PrimaryEmail", john), "john.doe@mailinator.invalid");
  EXPECT_EQ(cards.CellValue("SecondEmail", RowOf(cards, "2")), "SecondEmail1\xC3\x90@test.invalid");

  const TMorkFile folders = load("tb_panacea.dat");
  EXPECT_EQ(folders.RowCount(), 13u);
  const std::size_t trash = RowOf(folders, "2");
  EXPECT_EQ(folders.CellValue("folderName", trash), "Trash");
  EXPECT_EQ(folders.CellValue("key", trash),
            "/foo/bar/profile-default/Mail/Loc\\al Folders/Trash.msf");

  const TMorkFile inbox = load("tb_frenchInbox.msf"); // CR line breaks
  EXPECT_EQ(inbox.CellValue("folderName", RowOf(inbox, "1")), "Courrier entrant");
}

} // namespace
