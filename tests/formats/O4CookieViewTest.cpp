// What the Opera cookie window and its commands show: the tree's texts and order, the
// "Domain Path" with its quoting, the cells of a cookie and of a cache entry, and trees nested
// deeper than any recursion could walk.

#include "formats/O4CookieView.h"

#include "model/FakeTimeLocale.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

using Texts = std::vector<std::string>;

Texts TreeLines(const TO4Domains& root) {
  Texts lines;
  VisitO4CookieTree(root, [&](int level, std::string_view text) {
    lines.push_back(std::to_string(level) + ":" + std::string(text));
  });
  return lines;
}

TEST(O4DelimitedText, QuotesWhatWouldOtherwiseSplitOrVanish) {
  const struct {
    Texts items;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{"abc", "def"}, "abc/def"},
      {{"/"}, R"("/")"},
      {{"/", "/a"}, R"("/"/"/a")"},
      {{"a b"}, R"("a b")"},
      {{"tab\there"}, "\"tab\there\""},
      {{R"(say "hi")"}, R"("say ""hi""")"},
      {{"caf\xc3\xa9"}, "caf\xc3\xa9"}, // bytes above the blank need no quotes
      {{""}, R"("")"},                  // one empty item differs from no item
      {{"", "x"}, "/x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(O4DelimitedText(c.items, '/'), c.text) << c.text;
}

TEST(O4DomainPathText, IsTheFullNameASlashAndThePaths) {
  TO4CookieRoot root;
  TO4Domain& com = root.AddDomain();
  com.Name = "com";
  TO4Domain& example = com.AddDomain();
  example.Name = "example";
  TO4Domain& www = example.AddDomain();
  www.Name = "www";
  www.AddPath("/");
  www.AddPath("/a");
  EXPECT_EQ(O4DomainPathText(com), "com/");
  EXPECT_EQ(O4DomainPathText(example), "example.com/");
  EXPECT_EQ(O4DomainPathText(www), R"(www.example.com/"/"/"/a")");
}

TEST(O4DomainPathText, CutsAndMarksANameLongerThanAnyRealOne) {
  TO4CookieRoot root;
  TO4Domains* holder = &root;
  for (int i = 0; i < 5000; ++i) {
    TO4Domain& d = holder->AddDomain();
    d.Name = "ab";
    holder = &d;
  }
  auto& innermost = static_cast<TO4Domain&>(*holder);
  const std::string text = O4DomainPathText(innermost);
  EXPECT_EQ(text.size(), kO4MaxDomainPathBytes + kO4CutMark.size());
  EXPECT_TRUE(text.ends_with(kO4CutMark));
  EXPECT_TRUE(text.starts_with("ab.ab.ab."));

  // Many paths are cut the same way, and a text that fits is not marked.
  TO4Domain& wide = root.AddDomain();
  wide.Name = "w";
  for (int i = 0; i < 2000; ++i)
    wide.AddPath("/p" + std::to_string(i));
  EXPECT_TRUE(O4DomainPathText(wide).ends_with(kO4CutMark));
  EXPECT_EQ(O4DomainPathText(*root.Domains()[0]), "ab/");
}

TEST(VisitO4CookieTree, ShowsDetailsPathsAndSubDomainsInOrder) {
  TO4CookieRoot root;
  TO4Domain& org = root.AddDomain();
  org.Name = "org";
  org.FilterType = 1;
  org.MatchType = 2;
  org.AcceptType = 3;
  TO4Domain& site = org.AddDomain();
  site.Name = "site";
  site.AddPath("/b");
  site.AddPath("/A");
  TO4Domain& net = root.AddDomain();
  net.Name = "net";
  const Texts expected = {
      "0:org",
      "1:Size: " + std::to_string(org.RecordSize()),
      "1:Filter Type: 1",
      "1:Match Type: 2",
      "1:Accept Type: 3",
      "1:Paths",
      "2:< none >",
      "1:Domains",
      "2:site",
      "3:Size: " + std::to_string(site.RecordSize()),
      "3:Filter Type: 0",
      "3:Match Type: 0",
      "3:Accept Type: 0",
      "3:Paths",
      "4:/A", // in their sorted order, without regard to case
      "4:/b",
      "3:Domains",
      "4:< none >",
      "0:net",
      "1:Size: " + std::to_string(net.RecordSize()),
      "1:Filter Type: 0",
      "1:Match Type: 0",
      "1:Accept Type: 0",
      "1:Paths",
      "2:< none >",
      "1:Domains",
      "2:< none >",
  };
  EXPECT_EQ(TreeLines(root), expected);
}

TEST(O4CookieRows, ListADomainsOwnCookiesBeforeItsSubDomains) {
  TO4CookieRoot root;
  TO4Domain& a = root.AddDomain();
  TO4Domain& ab = a.AddDomain();
  TO4Domain& abc = ab.AddDomain();
  TO4Domain& ad = a.AddDomain();
  TO4Domain& e = root.AddDomain();
  for (auto [domain, name] :
       {std::pair{&abc, "abc1"}, {&e, "e1"}, {&a, "a1"}, {&ad, "ad1"}, {&ab, "ab1"}, {&a, "a2"}})
    domain->AddCookie().Name = name;
  Texts names;
  for (const TO4Cookie* cookie : O4CookieRows(root))
    names.push_back(cookie->Name);
  EXPECT_EQ(names, (Texts{"a1", "a2", "ab1", "abc1", "ad1", "e1"}));
}

TEST(O4CookieCellText, ShowsEveryFieldAsTheWindowDoes) {
  testing::TFakeTimeZone zone(-60, 0, false); // UTC+1
  const TFormatSettings settings;
  TO4CookieRoot root;
  TO4Domain& com = root.AddDomain();
  com.Name = "com";
  TO4Domain& shop = com.AddDomain();
  shop.Name = "shop";
  TO4Cookie& cookie = shop.AddCookie();
  cookie.Name = "id";
  cookie.Value = "42";
  cookie.Expires = 0x1'0000'0000ull + 86400; // format 1: only the low 32 bits count
  cookie.LastUsed = 0;
  cookie.Comment = "c";
  cookie.CommentURL = "http://c/";
  cookie.PortList = "80";
  cookie.ReceiveDomain = "rd";
  cookie.ReceivePath = "/rp";
  cookie.Secure = true;
  cookie.Protected = true;
  cookie.ThirdParty = true;
  cookie.Password = true;
  cookie.Version = 200;
  const Texts expected = {"shop.com/",
                          "id",
                          "42",
                          "1970-01-02 01:00:00",
                          "1970-01-01 01:00:00",
                          "c",
                          "http://c/",
                          "80",
                          "rd",
                          "/rp",
                          "True",
                          "False",
                          "True",
                          "False",
                          "True",
                          "False",
                          "True",
                          "200"};
  ASSERT_EQ(expected.size(), std::size_t{kO4CookieColumnCount});
  for (int c = 0; c < kO4CookieColumnCount; ++c)
    EXPECT_EQ(O4CookieCellText(cookie, c, settings), expected[static_cast<std::size_t>(c)])
        << O4CookieColumns()[static_cast<std::size_t>(c)].Caption;
  EXPECT_EQ(O4CookieCellText(cookie, kO4CookieColumnCount, settings), "");
}

TEST(O4TimeText, ConvertsWithTheZoneInForceNow) {
  const struct {
    int bias, daylightBias;
    bool daylight;
    std::uint64_t seconds;
    const char* text;
  } cases[] = {
      {0, 0, false, 0, "1970-01-01"}, // midnight shows no time
      {0, 0, false, 0xFFFFFFFFull, "2106-02-07 06:28:15"},
      {-60, -60, true, 86400, "1970-01-02 02:00:00"},
      {300, 0, false, 0x2'0000'0000ull + 3600, "1969-12-31 20:00:00"},
  };
  for (const auto& c : cases) {
    testing::TFakeTimeZone zone(c.bias, c.daylightBias, c.daylight);
    EXPECT_EQ(O4TimeText(c.seconds, TFormatSettings{}), c.text) << c.seconds;
  }
}

TEST(O4CacheCellText, ShowsAddressFileValueAndExpiry) {
  testing::TFakeTimeZone zone(0, 0, false);
  TO4CacheRoot root;
  TO4CacheEntry& entry = root.AddEntry();
  entry.Url = "http://a.example/x.png";
  entry.FileName = "opr00001.png";
  entry.HTTPRecord.Tag15 = "image/png";
  entry.HTTPRecord.Expires = 86400 + 61;
  const Texts expected = {"http://a.example/x.png", "opr00001.png", "image/png",
                          "1970-01-02 00:01:01", ""};
  for (int c = 0; c <= kO4CacheColumnCount; ++c)
    EXPECT_EQ(O4CacheCellText(entry, c, TFormatSettings{}), expected[static_cast<std::size_t>(c)]);
}

// A file may nest domains as deep as its size allows; walking them must not use the call stack.
TEST(O4CookieView, WalksAChainOfDomainsDeeperThanTheStackAllows) {
  constexpr int kDepth = 300'000;
  TO4CookieRoot root;
  TO4Domains* holder = &root;
  for (int i = 0; i < kDepth; ++i) {
    TO4Domain& d = holder->AddDomain();
    d.AddCookie();
    holder = &d;
  }
  EXPECT_EQ(O4CookieRows(root).size(), std::size_t{kDepth});
  int lines = 0;
  int deepest = 0;
  VisitO4CookieTree(root, [&](int level, std::string_view) {
    ++lines;
    deepest = std::max(deepest, level);
  });
  // Eight lines per domain (itself, four details, "Paths" with "< none >", "Domains"), and the
  // innermost one's "< none >" under "Domains".
  EXPECT_EQ(lines, 8 * kDepth + 1);
  EXPECT_EQ(deepest, 2 * kDepth);
}

} // namespace
} // namespace quillon
