#include "formats/OperaHotlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// "folder|name|url" per bookmark.
std::vector<std::string> Read(std::string_view text) {
  std::vector<std::string> out;
  TOperaHotlistReader reader(text);
  for (TOperaBookmark b; reader.Next(b);)
    out.push_back(std::string(b.Folder) + "|" + std::string(b.Name) + "|" + std::string(b.Url));
  return out;
}

using Rows = std::vector<std::string>;

struct TReadCase {
  const char* name;
  std::string text;
  Rows rows;
};

TEST(OperaHotlist, ReadsBookmarksWithTheirFolderPath) {
  const std::vector<TReadCase> cases = {
      {"header lines say nothing",
       "Opera Hotlist version 2.0\nNAME=header\nURL=x\n\n#URL\n\tNAME=a\n\tURL=http://a/\n",
       {"|a|http://a/"}},
      {"nested folders, then a bookmark after \"-\" in the enclosing one",
       "#FOLDER\n\tNAME=Outer\n\n#FOLDER\n\tNAME=Inner\n\n#URL\n\tNAME=b\n\tURL=u\n\n-\n\n"
       "#URL\n\tNAME=c\n\tURL=v\n\n-\n#URL\n\tNAME=d\n",
       {"Outer\\Inner|b|u", "Outer|c|v", "|d|"}},
      {"keys compared exactly: lower case and blanks before \"=\" ignored",
       "#URL\n\tname=x\n\tNAME =y\n\tURL= spaced\n\tNAME=n\n",
       {"|n| spaced"}},
      {"no NAME: no folder path", "#FOLDER\nNAME=F\n\n#URL\nURL=u\n", {"||u"}},
      {"\"#URL\" with blanks opens nothing", "#URL \nNAME=x\n #URL\nNAME=y\n", {}},
      {"\"-\" on the outermost level", "-\n-\n#URL\nNAME=a\n", {"|a|"}},
      {"a value holding \"=\"", "#URL\nNAME=a=b\nURL=http://x/?q=1\n", {"|a=b|http://x/?q=1"}},
      {"CR LF and CR breaks", "#FOLDER\r\nNAME=F\r\r#URL\rNAME=a\r\nURL=u", {"F|a|u"}},
  };
  for (const TReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Read(c.text), c.rows);
  }
}

struct TRewriteCase {
  const char* name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> remove;
  std::string expected;
  std::size_t removed;
};

TEST(OperaHotlist, RewriteDropsOnlyTheBookmarksBlocksAndKeepsEveryOtherByte) {
  const std::string head = "Opera Hotlist version 2.0\r\nOptions: encoding = utf8\r\n\r\n";
  const std::string folder = "#FOLDER\r\n\tNAME=F\r\n\r\n";
  const std::string a = "#URL\r\n\tNAME=a\r\n\tURL=http://a/\r\n\r\n";
  const std::string b = "#URL\r\n\tNAME=b\r\n\tURL=http://b/\r\n\r\n";
  const std::vector<TRewriteCase> cases = {
      {"one bookmark in a folder",
       head + folder + a + b + "-\r\n\r\n",
       {{"a", "http://a/"}},
       head + folder + b + "-\r\n\r\n",
       1},
      {"the second of three bookmarks", head + a + b + folder, {{"b", "http://b/"}},
       head + a + folder, 1},
      {"one of two equal blocks", head + a + a, {{"a", "http://a/"}}, head + a, 1},
      {"same name, other address: kept", head + a, {{"a", "http://other/"}}, head + a, 0},
      {"block ended by \"-\": the line stays",
       head + folder + "#URL\n\tNAME=a\n\tURL=http://a/\n-\n" + b,
       {{"a", "http://a/"}},
       head + folder + "-\n" + b,
       1},
      // The block began right after the folder's lines: its empty line stays, or the lines after
      // it would join the folder block.
      {"block without an empty line before it",
       "#FOLDER\n\tNAME=F\n#URL\n\tNAME=a\n\tURL=http://a/\n\nNAME=G\n",
       {{"a", "http://a/"}},
       "#FOLDER\n\tNAME=F\n\nNAME=G\n",
       1},
      {"last block without a line break",
       head + "#URL\n\tNAME=a\n\tURL=http://a/",
       {{"a", "http://a/"}},
       head,
       1},
      {"lone CR before a dropped block, LF after it",
       "#FOLDER\rNAME=F\r#URL\rNAME=a\rURL=http://a/\r\n\nNAME=G\n",
       {{"a", "http://a/"}},
       "#FOLDER\rNAME=F\r\n\nNAME=G\n",
       1},
  };
  for (const TRewriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBookmarkCounts remove;
    for (const auto& [name, url] : c.remove)
      ++remove[OperaBookmarkKey(name, url)];
    const TOperaHotlistRewrite rewrite = RewriteOperaHotlist(c.text, remove);
    EXPECT_EQ(rewrite.Content, c.expected);
    EXPECT_EQ(rewrite.Removed, c.removed);
    EXPECT_EQ(Read(rewrite.Content).size() + rewrite.Removed, Read(c.text).size());
  }
}

TEST(OperaHotlist, SamplesReadWholeAndRewriteUnchanged) {
  const std::filesystem::path dir = std::filesystem::path(QUILLON_SAMPLES_DIR) / "opera";
  if (!std::filesystem::exists(dir))
    GTEST_SKIP() << "no sample files in " << dir;
  struct TSample {
    const char* file;
    std::size_t bookmarks;
    const char* someRow;
  };
  for (const TSample& s :
       {TSample{"magec_2009_bookmarks.adr", 23, "|Intranet1|http://intranet.uoc.es/"},
        TSample{"danylyuk_opera12_bookmarks.adr", 23,
                "Opera|Mail.Ru|http://redir.opera.com/bookmarks/mail.ru"}}) {
    SCOPED_TRACE(s.file);
    std::ifstream in(dir / s.file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    const Rows rows = Read(text);
    EXPECT_EQ(rows.size(), s.bookmarks);
    EXPECT_NE(std::find(rows.begin(), rows.end(), s.someRow), rows.end());
    TBookmarkCounts none;
    EXPECT_EQ(RewriteOperaHotlist(text, none).Content, text);
  }
}

} // namespace
