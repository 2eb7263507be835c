#include "formats/BookmarksHtml.h"

#include "model/DateUtils.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillon;

namespace {

struct TBookmarkLineCase {
  const char* line;
  const char* title;
  const char* url;
  double added;     // Unix seconds, 0: absent
  double lastVisit; // likewise
  const char* identifier;
};

TEST(ParseBookmarkLine, TakesAttributesInAnyOrderAndCase) {
  SetTimeZoneSnapshot({});
  const std::vector<TBookmarkLineCase> cases = {
      {R"(    <DT><A HREF="http://a.example/" ADD_DATE="1100000000" LAST_VISIT="1100000500" )"
       R"(LAST_CHARSET="UTF-8" ID="rdf:#$n1">News &amp; more</A>)",
       "News &amp; more", "http://a.example/", 1100000000, 1100000500, "rdf:#$n1"},
      {R"(<dt><a href="http://b.example/?q=1&amp;r=2" id="x" last_visit="7.5" add_date="6">T</a>)",
       "T", "http://b.example/?q=1&amp;r=2", 6, 7.5, "x"},
      {R"(<DT><A HREF="u" ADD_DATE="yesterday" LAST_VISIT="">Title > with gt</A> tail)",
       "Title > with gt", "u", 0, 0, "kept"},
      {R"(<DT><A HREF="u" ADD_DATE="1.1e9">no end tag)", "no end tag", "u", 1.1e9, 0, "kept"},
      {R"(<DT><A HREF="u")", "", "u", 0, 0, "kept"},
      {R"(<DT><H3 ADD_DATE="5" ID="f">Folder</H3>)", "", "", 5, 0, "f"},
  };
  for (const TBookmarkLineCase& c : cases) {
    SCOPED_TRACE(c.line);
    std::string title = "stale", url = "stale", identifier = "kept";
    TDateTime lastVisit = 9, added = 9;
    ParseBookmarkLine(c.line, title, url, lastVisit, added, identifier);
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(url, c.url);
    EXPECT_EQ(identifier, c.identifier);
    EXPECT_DOUBLE_EQ(added, c.added == 0 ? 0 : kUnixDateDelta + c.added / kSecsPerDay);
    EXPECT_DOUBLE_EQ(lastVisit, c.lastVisit == 0 ? 0 : kUnixDateDelta + c.lastVisit / kSecsPerDay);
  }
}

} // namespace
