// The Mozilla text stores at the size a long-used profile reaches: a cookies.txt of 100,000
// cookies cleaned (every tenth removed, the rest written back), a bookmarks.html of 100,000
// anchors cleaned the same way, and a prefs.js of 100,000 statements read, changed and written.
// Stores live in a generated image and go through the Windows layer as in the program.

#include "discovery/BrowserManager.h"
#include "formats/MozillaPrefs.h"
#include "helpers/MozillaCleaners.h"
#include "kit/MozillaTextStores.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillon;

constexpr int kCount = 100'000;

class TBenchImage {
public:
  TBenchImage() {
    std::filesystem::create_directories(dir_.Path() + "/c/Profile");
    winapi::image::TImageConfig config;
    config.imageRoot = dir_.Path() + "/c";
    scope_ = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
  }
  std::string Put(const std::string& name, const std::string& content) const {
    std::ofstream(dir_.Path() + "/c/Profile/" + name, std::ios::binary) << content;
    return "C:\\Profile\\" + name;
  }

private:
  kit::TTempDir dir_;
  std::unique_ptr<winapi::TWinApiScope> scope_;
};

// Accepts every tenth entry it is asked about.
TCleanRule EveryTenth() {
  return [n = 0](TCacheType, TCacheItem*, std::string offered) mutable {
    return TCleanDecision{n++ % 10 == 0, std::move(offered)};
  };
}

void BM_CleanCookiesTxt(benchmark::State& state) {
  std::vector<kit::TCookieTxt> cookies;
  for (int i = 0; i < kCount; ++i)
    cookies.push_back({".site" + std::to_string(i) + ".example", true, "/path/" + std::to_string(i),
                       i % 3 == 0, 1900000000 + i, "cookie" + std::to_string(i % 50),
                       "value-" + std::to_string(i * 2654435761u)});
  const std::string file = kit::BuildCookiesTxt(cookies);
  TBenchImage image;
  for (auto _ : state) {
    state.PauseTiming();
    TBrowserProfile profile;
    profile.SetLocation(ctCookies, image.Put("cookies.txt", file));
    TCacheList& list = profile.GetList(ctCookies);
    for (const kit::TCookieTxt& c : cookies) {
      TCacheItem& item = list.Add();
      item.Host = c.Domain;
      item.Path = c.Path;
      item.Name = c.Name;
      item.Plaintext = kit::CookiesTxtLine(c);
    }
    state.ResumeTiming();
    CleanCookiesTxt(profile, EveryTenth());
    benchmark::DoNotOptimize(list.Count());
  }
  state.counters["cookies"] = kCount;
  state.counters["MB"] = static_cast<double>(file.size()) / (1 << 20);
}
BENCHMARK(BM_CleanCookiesTxt)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CleanBookmarksHtml(benchmark::State& state) {
  std::vector<kit::TBookmarkNode> folders;
  for (int f = 0; f < 100; ++f) {
    std::vector<kit::TBookmarkNode> children;
    for (int i = 0; i < kCount / 100; ++i) {
      const int n = f * (kCount / 100) + i;
      children.push_back(kit::TBookmarkNode::Bookmark(
          "Page " + std::to_string(n), "http://site" + std::to_string(n) + ".example/",
          1100000000 + n, 1100000500 + n, "rdf:#$" + std::to_string(n)));
    }
    folders.push_back(kit::TBookmarkNode::Folder("Folder " + std::to_string(f), children));
  }
  std::vector<kit::TBookmarkRecord> records;
  const std::string file = kit::BuildBookmarksHtml(folders, {}, &records);
  TBenchImage image;
  for (auto _ : state) {
    state.PauseTiming();
    TBrowserProfile profile;
    profile.SetLocation(ctBookmarks, image.Put("bookmarks.html", file));
    TCacheList& list = profile.GetList(ctBookmarks);
    for (const kit::TBookmarkRecord& r : records) {
      TCacheItem& item = list.Add();
      item.Name = r.Title;
      item.Host = r.Url;
      item.Path = r.FolderPath;
    }
    state.ResumeTiming();
    CleanBookmarksHtml(profile, EveryTenth());
    benchmark::DoNotOptimize(list.Count());
  }
  state.counters["anchors"] = static_cast<double>(records.size());
  state.counters["MB"] = static_cast<double>(file.size()) / (1 << 20);
}
BENCHMARK(BM_CleanBookmarksHtml)->Unit(benchmark::kMillisecond)->Iterations(5);

std::string LargePrefs() {
  std::vector<kit::TPrefValue> prefs;
  for (int i = 0; i < kCount; ++i) {
    const std::string name = "extensions.addon" + std::to_string(i) + ".setting";
    if (i % 3 == 0)
      prefs.push_back({name, std::to_string(i), kit::TPrefKind::Integer});
    else if (i % 3 == 1)
      prefs.push_back({name, i % 2 ? "true" : "false", kit::TPrefKind::Boolean});
    else
      prefs.push_back({name, "http://site" + std::to_string(i) + ".example/\"q\"\\x"});
  }
  return kit::BuildPrefsJs(prefs);
}

void BM_PrefsParse(benchmark::State& state) {
  const std::string file = LargePrefs();
  for (auto _ : state) {
    TMozillaPrefsList list;
    list.LoadFromText(file);
    benchmark::DoNotOptimize(list.Count());
  }
  state.counters["lines"] = kCount;
  state.counters["MB"] = static_cast<double>(file.size()) / (1 << 20);
}
BENCHMARK(BM_PrefsParse)->Unit(benchmark::kMillisecond)->Iterations(5);

// What a page reset does: read the file, write four pages, save it through the image.
void BM_PrefsResetRoundTrip(benchmark::State& state) {
  const std::string file = LargePrefs();
  TBenchImage image;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = image.Put("prefs.js", file);
    state.ResumeTiming();
    TMozillaPrefsList list;
    list.LoadFromFile(path);
    for (const char* name : {"browser.search.defaultengine", "browser.startup.homepage",
                             "mailnews.start_page.url", "extensions.addon5.setting"})
      list.WriteString(name, "about:blank");
    list.SaveToFile(path);
  }
}
BENCHMARK(BM_PrefsResetRoundTrip)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
