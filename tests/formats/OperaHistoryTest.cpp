#include "formats/OperaHistory.h"

#include "model/DateUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace quillon;

namespace {

std::vector<std::string> Titles(std::string_view text) {
  std::vector<std::string> titles;
  TOperaHistoryReader reader(text);
  for (TOperaHistoryRecord r; reader.Next(r);)
    titles.emplace_back(r.Title);
  return titles;
}

struct TLengthCase {
  const char* name;
  std::string text;
  int length;
  std::vector<std::string> titles;
};

TEST(OperaHistory, DecidesTheRecordLengthOncePerFile) {
  const std::vector<TLengthCase> cases = {
      {"two 3-line records", "a\nu\n1300000000\nb\nv\n1300000001\n", 3, {"a", "b"}},
      {"two 4-line records", "a\nu\n1300000000\n-1\nb\nv\n1300000001\n-1\n", 4, {"a", "b"}},
      {"exactly four lines", "a\nu\n1300000000\n7\n", 4, {"a"}},
      {"five lines: one record and two lines left", "a\nu\n1\nb\nv\n", 3, {"a"}},
      {"sixth line a time", "a\nu\n5\nb\nv\n1300000000\nc\n", 3, {"a", "b"}},
      {"sixth line below 10^9", "a\nu\n5\n0\nb\nv\n999999999\n", 4, {"a"}},
      {"sixth line not a number", "a\nu\n1\n2\nb\nhttp://x/\n1\n3\n", 4, {"a", "b"}},
      // -1 is 0xFFFFFFFF in its low 32 bits: a time.
      {"sixth line -1", "a\nu\n1\nb\nv\n-1\nc\n", 3, {"a", "b"}},
      {"sixth line past 64 bits", "a\nu\n1\n2\nb\n99999999999999999999\n1\n3\n", 4, {"a", "b"}},
      {"CR, LF and CR LF breaks", "a\r\nu\r1300000000\nb\r\nv\r1300000001\r", 3, {"a", "b"}},
      {"empty file", "", 3, {}},
  };
  for (const TLengthCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OperaHistoryRecordLength(c.text), c.length);
    EXPECT_EQ(Titles(c.text), c.titles);
  }
}

TEST(OperaHistory, RecordKeepsItsBytesAndGivesItsLinesWithLineFeeds) {
  const std::string text = "Title\r\nhttp://a/\r\n1300000000\r\n-1\r\nT2\nhttp://b/\n5\n0\n";
  TOperaHistoryReader reader(text);
  TOperaHistoryRecord r;
  ASSERT_TRUE(reader.Next(r));
  EXPECT_EQ(r.Url, "http://a/");
  EXPECT_EQ(r.Time, "1300000000");
  EXPECT_EQ(r.Text, "Title\r\nhttp://a/\r\n1300000000\r\n-1\r\n");
  EXPECT_EQ(r.Plaintext(), "Title\nhttp://a/\n1300000000\n-1\n");
  ASSERT_TRUE(reader.Next(r));
  EXPECT_EQ(r.Text, "T2\nhttp://b/\n5\n0\n");
  EXPECT_FALSE(reader.Next(r));
}

struct TRewriteCase {
  const char* name;
  std::string text;
  std::vector<std::string> remove; // Plaintexts
  std::string expected;
  std::size_t removed;
};

TEST(OperaHistory, RewriteTakesOutExactlyTheRecordsAndKeepsEveryOtherByte) {
  const std::vector<TRewriteCase> cases = {
      {"middle record, own breaks kept",
       "a\r\nu\r\n1300000000\r\nb\nv\n1300000001\nc\ru\r1300000002\r",
       {"b\nv\n1300000001\n"},
       "a\r\nu\r\n1300000000\r\nc\ru\r1300000002\r",
       1},
      {"incomplete last record kept",
       "a\nu\n1300000000\nb\nv\n1300000001\ntail\nno break",
       {"a\nu\n1300000000\n"},
       "b\nv\n1300000001\ntail\nno break",
       1},
      {"one of two equal records",
       "a\nu\n1300000000\na\nu\n1300000000\nb\nv\n1300000001\n",
       {"a\nu\n1300000000\n"},
       "a\nu\n1300000000\nb\nv\n1300000001\n",
       1},
      {"every record: empty text", "a\nu\n1\n", {"a\nu\n1\n"}, "", 1},
      {"nothing of it in the file", "a\nu\n1\n", {"z\nu\n1\n"}, "a\nu\n1\n", 0},
      // A lone CR before a removed record followed by a line starting with LF would otherwise
      // merge into one break and lose the empty line.
      {"lone CR before an empty line",
       "a\nu\n1300000000\rb\nv\n1300000001\n\nw\n1300000002\n",
       {"b\nv\n1300000001\n"},
       "a\nu\n1300000000\r\n\nw\n1300000002\n",
       1},
  };
  for (const TRewriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    TLineCounts remove;
    for (const std::string& r : c.remove)
      ++remove[r];
    const TOperaHistoryRewrite rewrite = RewriteOperaHistory(c.text, remove);
    EXPECT_EQ(rewrite.Content, c.expected);
    EXPECT_EQ(rewrite.Removed, c.removed);
  }
}

TEST(OperaHistory, SamplesReadWholeAndRewriteUnchanged) {
  const std::filesystem::path dir = std::filesystem::path(QUILLON_SAMPLES_DIR) / "opera";
  if (!std::filesystem::exists(dir))
    GTEST_SKIP() << "no sample files in " << dir;
  struct TSample {
    const char* file;
    int length;
    std::size_t records;
  };
  for (const TSample& s : {TSample{"danylyuk_opera12_global_history.dat", 4, 92},
                           TSample{"plaso_global_history.dat", 4, 37}}) {
    SCOPED_TRACE(s.file);
    std::ifstream in(dir / s.file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    TOperaHistoryReader reader(text);
    EXPECT_EQ(reader.RecordLength(), s.length);
    EXPECT_EQ(reader.RecordCount(), s.records);
    // With the wrong record length the times would fall on titles and addresses.
    std::size_t times = 0;
    for (TOperaHistoryRecord r; reader.Next(r);)
      times += UnixTimeTextToDateTime(r.Time) > UnixTimeToDateTime(1e9);
    EXPECT_EQ(times, s.records);
    TLineCounts none;
    EXPECT_EQ(RewriteOperaHistory(text, none).Content, text);
  }
}

} // namespace
