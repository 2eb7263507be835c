// quillon-cli ie-cache: the session user's URL cache as the cache window shows it, sorted by the
// column named, each cell terminal-safe, and a walk that ends early reported.

#include "cli/IECacheCommand.h"
#include "cli/CliRun.h"

#include "kit/ImageBuilder.h"
#include "kit/TempDir.h"
#include "winapi/FakeUrlCache.h"
#include "winapi/image/ImageTimeLocale.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quillon {
namespace {

using namespace winapi;
using quillon::testing::Lines;
using quillon::testing::RunCli;
using Texts = std::vector<std::string>;

constexpr const char* kHeader = "Source Filename\tLocal Filename\tType\tUse #\tHit rate\tSize\t"
                                "Last Modified\tExpires\tLast Access\tLast Sync\tExtension";

struct TCacheFixture {
  TCacheFixture() : api(std::make_shared<TWinApi>()), scope(api) {
    cache = std::make_shared<test::TFakeUrlCache>(api->lastError);
    api->urlCache = cache;
    // As on an image: texts sort without regard to case.
    api->timeLocale = std::make_shared<image::TImageTimeLocale>(api->lastError);
  }
  void Add(std::string url, std::uint32_t type, std::uint64_t size) {
    TUrlCacheEntryData e;
    e.SourceUrl = std::move(url);
    e.EntryType = type;
    e.Size = size;
    cache->Entries.push_back(std::move(e));
  }
  // The first cell of each printed line after the header.
  Texts Urls(int sortColumn) {
    std::ostringstream out, err;
    EXPECT_EQ(cli::PrintIECache(sortColumn, false, out, err), 0) << err.str();
    Texts urls;
    const Texts lines = Lines(out.str());
    EXPECT_EQ(lines.at(0), kHeader);
    for (std::size_t i = 1; i < lines.size(); ++i)
      urls.push_back(lines[i].substr(0, lines[i].find('\t')));
    return urls;
  }
  std::shared_ptr<TWinApi> api;
  TWinApiScope scope;
  std::shared_ptr<test::TFakeUrlCache> cache;
};

TEST(CliIECache, PrintsTheCacheInTheOrderOfTheColumnNamed) {
  TCacheFixture f;
  f.Add("http://b/", URLHISTORY_CACHE_ENTRY, 10);
  f.Add("http://C/", COOKIE_CACHE_ENTRY, 0x100000000ull);
  f.Add("http://a/", NORMAL_CACHE_ENTRY, 7);
  const struct {
    const char* args;
    Texts urls;
  } cases[] = {
      {"", {"http://b/", "http://C/", "http://a/"}},
      {"--sort source", {"http://a/", "http://b/", "http://C/"}},
      {"--sort=type", {"http://a/", "http://C/", "http://b/"}},
      {"--sort size", {"http://a/", "http://b/", "http://C/"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    Texts args;
    std::istringstream words(c.args);
    for (std::string word; words >> word;)
      args.push_back(word);
    EXPECT_EQ(f.Urls(cli::ParseIECacheArgs(args)), c.urls);
  }
}

TEST(CliIECache, RowsHoldEveryColumnAndHostileTextsStayInTheirCell) {
  TCacheFixture f;
  TUrlCacheEntryData e;
  e.SourceUrl = "http://x/\n\x1b[2Jfake\trow";
  e.LocalFile = "C:\\c\\x[1].htm";
  e.Extension = "htm";
  e.EntryType = NORMAL_CACHE_ENTRY | 0x40;
  e.UseCount = 2;
  e.HitRate = 3;
  e.Size = 4;
  f.cache->Entries = {e};
  std::ostringstream out, err;
  ASSERT_EQ(cli::PrintIECache(-1, false, out, err), 0);
  EXPECT_EQ(Lines(out.str()),
            (Texts{kHeader, "http://x/\\n\\x1b[2Jfake\\trow\tC:\\c\\x[1].htm\tNormal,64\t2\t3\t4"
                            "\t\t\t\t\thtm"}));
  EXPECT_EQ(err.str(), "");
}

TEST(CliIECache, AWalkThatEndsEarlyPrintsWhatWasReadThenFails) {
  TCacheFixture f;
  f.Add("http://a/", NORMAL_CACHE_ENTRY, 1);
  f.cache->WalkError = ERROR_ACCESS_DENIED;
  std::ostringstream out, err;
  EXPECT_EQ(cli::PrintIECache(-1, false, out, err), 1);
  EXPECT_EQ(Lines(out.str()).size(), 2u);
  EXPECT_EQ(err.str(), "quillon-cli: The URL cache could not be read to the end (1 entry read): "
                       "Access is denied.\n");
}

TEST(CliIECache, BadArgumentsAreUsageErrors) {
  kit::TTempDir dir;
  kit::TImageBuilder image(dir.Path());
  image.Commit();
  const struct {
    Texts args;
    const char* message;
  } cases[] = {
      {{"--sort", "Size"},
       "unknown column 'Size' for --sort: expected one of source, local, "
       "type, use, hits, size, modified, expires, access, sync, extension"},
      {{"--sort"}, "option --sort needs a column"},
      {{"size"}, "usage: quillon-cli [options] ie-cache [--sort COLUMN]"},
  };
  for (const auto& c : cases) {
    Texts args{"--image", dir.Path(), "ie-cache"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = RunCli(args);
    EXPECT_EQ(r.code, 2) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // A sound command line on an image whose user has no URL cache: the header alone.
  const auto r = RunCli({"--image", dir.Path(), "ie-cache", "--sort", "access"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Lines(r.out), Texts{kHeader});
}

} // namespace
} // namespace quillon
