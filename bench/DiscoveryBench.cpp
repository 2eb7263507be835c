// Discovery with the first full read of every profile, on a machine of 10 users with 5 Mozilla
// profiles each and 20,000 entries per kind in each profile: what the user waits for at start.
#include "discovery/BrowserManager.h"
#include "discovery/ProcessSetup.h"
#include "kit/ImageBuilder.h"
#include "kit/MorkWriter.h"
#include "kit/MozillaTextStores.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

using namespace quillon;

namespace {

constexpr int kUsers = 10;
constexpr int kProfilesPerUser = 5;
constexpr int kEntries = 20000;

struct TStores {
  std::string Cookies, Bookmarks, History, Prefs, Ini;
};

TStores MakeStores() {
  TStores s;
  std::vector<kit::TCookieTxt> cookies;
  std::vector<kit::TBookmarkNode> bookmarks;
  std::vector<kit::TMorkHistoryEntry> history;
  for (int i = 0; i < kEntries; ++i) {
    const std::string host = "host" + std::to_string(i) + ".example.com";
    cookies.push_back({"." + host, true, "/", false, 1400000000 + i, "n" + std::to_string(i), "v"});
    bookmarks.push_back(kit::TBookmarkNode::Bookmark("Page " + std::to_string(i),
                                                     "http://" + host + "/", 1200000000 + i));
    history.push_back({"http://" + host + "/page", "Page " + std::to_string(i), host,
                       1200000000000000LL + i, 1300000000000000LL + i, 1, false});
  }
  s.Cookies = kit::BuildCookiesTxt(cookies);
  s.Bookmarks = kit::BuildBookmarksHtml(bookmarks);
  s.History = kit::BuildHistoryDat(history);
  s.Prefs = kit::BuildPrefsJs({{"browser.startup.homepage", "http://www.example.com/"}});
  s.Ini = "[General]\r\nStartWithLastProfile=1\r\n\r\n";
  for (int p = 0; p < kProfilesPerUser; ++p)
    s.Ini += "[Profile" + std::to_string(p) + "]\r\nName=p" + std::to_string(p) +
             "\r\nIsRelative=1\r\nPath=Profiles/p" + std::to_string(p) + ".default\r\n\r\n";
  return s;
}

void BM_DiscoveryOfFiftyProfiles(benchmark::State& state) {
  kit::TTempDir dir;
  {
    kit::TImageBuilder image(dir.Path(), true);
    const TStores stores = MakeStores();
    for (int u = 0; u < kUsers; ++u) {
      const std::string name = "user" + std::to_string(u);
      image.AddUser(name, "S-1-5-21-1-2-3-" + std::to_string(1000 + u));
      const std::string firefox = "C:\\Users\\" + name + "\\AppData\\Roaming\\Mozilla\\Firefox\\";
      image.AddFile(firefox + "profiles.ini", stores.Ini);
      for (int p = 0; p < kProfilesPerUser; ++p) {
        const std::string folder = firefox + "Profiles\\p" + std::to_string(p) + ".default\\";
        image.AddFile(folder + "prefs.js", stores.Prefs);
        image.AddFile(folder + "cookies.txt", stores.Cookies);
        image.AddFile(folder + "bookmarks.html", stores.Bookmarks);
        image.AddFile(folder + "history.dat", stores.History);
      }
    }
    image.Commit();
  }
  winapi::image::TImageConfig config;
  config.imageRoot = dir.Path();
  winapi::TWinApiScope scope(std::make_shared<winapi::image::TImageWinApi>(config));
  TProcessSetup setup;
  for (auto _ : state) {
    auto manager = std::make_unique<TBrowserManager>();
    if (manager->Profiles().Count() != kUsers * kProfilesPerUser)
      state.SkipWithError("not every profile was found");
    benchmark::DoNotOptimize(manager->Profiles().Items(0).GetList(ctCookies).Count());
    // Freeing three million entries is the program's end, not what the user waits for at start.
    state.PauseTiming();
    manager.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DiscoveryOfFiftyProfiles)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
