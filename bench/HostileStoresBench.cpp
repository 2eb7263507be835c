// The store readers on inputs an attacker would write, beside the real shape of each store: for
// every store the shortest entries just below and just above the size at which it is refused,
// folders nested thousands deep, files just under and far over their size limit, and files of
// nothing but line breaks. Each case reports its time and its peak memory (resident, the file's
// own bytes included) as a multiple of the file ("peak_x_file") and of the budget of
// 4 x file + 64 MB ("peak_x_budget"), and whether the store was refused.
//
// Peak memory is the growth of the process's resident peak during the read. Memory the heap
// freed earlier is given back to the system first, so that an earlier case's leftovers cannot
// hide a read's growth; still, the heap an earlier case left behind can lift a later case's
// figure (BM_MorkRealShape: 2.8 x its file alone, 3.7 x after the other Mork cases), so a case's
// own figure is taken alone (--benchmark_filter). The per-entry cost readers count with is
// measured by BM_ListedEntryCost.

#include "BenchMemory.h"
#include "discovery/BrowserManager.h"
#include "formats/IniFile.h"
#include "formats/MozillaPrefs.h"
#include "formats/NetscapeRegistry.h"
#include "formats/StoreLimits.h"
#include "helpers/MozillaCleaners.h"
#include "helpers/MozillaHelperRead.h"
#include "kit/MorkWriter.h"
#include "kit/MozillaTextStores.h"
#include "kit/NetscapeRegistryWriter.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

using namespace quillon;

class TBenchImage {
public:
  TBenchImage() {
    std::filesystem::create_directories(dir_.Path() + "/c/Profile");
    winapi::image::TImageConfig config;
    config.imageRoot = dir_.Path() + "/c";
    scope_ = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
  }
  std::string Host(const std::string& name) const { return dir_.Path() + "/c/Profile/" + name; }
  std::string Put(const std::string& name, const std::string& content) const {
    std::ofstream(Host(name), std::ios::binary) << content;
    return "C:\\Profile\\" + name;
  }
  // A file of size zero bytes that takes no disk.
  std::string PutSparse(const std::string& name, std::uint64_t size) const {
    std::ofstream(Host(name), std::ios::binary).flush();
    std::filesystem::resize_file(Host(name), size);
    return "C:\\Profile\\" + name;
  }

private:
  kit::TTempDir dir_;
  std::unique_ptr<winapi::TWinApiScope> scope_;
};

using bench::PeakGrowth;

// What a read listed, and whether it refused the store.
struct TReadResult {
  std::size_t Entries = 0;
  bool Refused = false;
};

// Runs read once per iteration; reports the peak memory it took against the file's size and
// budget, and what it listed.
void MeasureRead(benchmark::State& state, std::uint64_t fileSize,
                 const std::function<TReadResult()>& read) {
  std::size_t peak = 0;
  TReadResult result;
  for (auto _ : state)
    peak = PeakGrowth([&] { result = read(); });
  const double mb = 1 << 20;
  state.counters["file_MB"] = static_cast<double>(fileSize) / mb;
  state.counters["entries"] = static_cast<double>(result.Entries);
  state.counters["refused"] = result.Refused ? 1 : 0;
  state.counters["peak_MB"] = static_cast<double>(peak) / mb;
  state.counters["peak_x_file"] = static_cast<double>(peak) / static_cast<double>(fileSize);
  state.counters["peak_x_budget"] =
      static_cast<double>(peak) / static_cast<double>(StoreMemoryBudget(fileSize));
}

// A profile store read through its helper's reader.
TReadResult ReadKind(TBrowserProfile& profile, TCacheType kind,
                     TActionOutcome (*reader)(TProfileStores&)) {
  profile.GetList(kind).Clear();
  const TActionOutcome outcome = reader(profile);
  return {static_cast<std::size_t>(profile.GetList(kind).Count()),
          outcome.Failed(TStoreAccess::Read, kind)};
}

// Puts text into the image as the profile's store of kind and measures reader on it.
void MeasureStore(benchmark::State& state, TBenchImage& image, TCacheType kind,
                  const char* fileName, const std::string& text,
                  TActionOutcome (*reader)(TProfileStores&)) {
  TBrowserProfile profile;
  profile.SetLocation(kind, image.Put(fileName, text));
  MeasureRead(state, text.size(), [&] { return ReadKind(profile, kind, reader); });
}

// A text of lines repeated up to size bytes.
std::string Repeated(std::string_view line, std::size_t size) {
  std::string text;
  text.reserve(size + line.size());
  while (text.size() + line.size() <= size)
    text += line;
  return text;
}

constexpr std::size_t kKiB = 1024;

// --- What an entry costs ---

// The memory one empty entry takes in a list of a million: the kListedEntryCost readers count.
void BM_ListedEntryCost(benchmark::State& state) {
  constexpr int kEntries = 1'000'000;
  std::size_t peak = 0;
  for (auto _ : state) {
    peak = PeakGrowth([&] {
      TCacheList list;
      for (int i = 0; i < kEntries; ++i)
        list.Add();
      benchmark::DoNotOptimize(list.Count());
    });
  }
  state.counters["bytes_per_entry"] = static_cast<double>(peak) / kEntries;
  state.counters["counted"] = static_cast<double>(kListedEntryCost);
}
BENCHMARK(BM_ListedEntryCost)->Unit(benchmark::kMillisecond)->Iterations(1);

// --- cookies.txt ---

// The shortest lines that are cookies, 14 bytes each; the argument is the size in KB.
void BM_CookiesTxtShortestEntries(benchmark::State& state) {
  TBenchImage image;
  const std::string text =
      Repeated("a b c d e f g\n", static_cast<std::size_t>(state.range(0)) * kKiB);
  MeasureStore(state, image, ctCookies, "cookies.txt", text, ReadCookiesTxt);
}
BENCHMARK(BM_CookiesTxtShortestEntries)
    ->Arg(2700)
    ->Arg(2900)
    ->Arg(16384)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// 100,000 cookies of about 100 bytes, as a long-used profile has them (10 MB).
void BM_CookiesTxtRealShape(benchmark::State& state) {
  std::vector<kit::TCookieTxt> cookies;
  for (int i = 0; i < 100'000; ++i)
    cookies.push_back({".www.site" + std::to_string(i % 9973) + ".example.com", true,
                       i % 4 == 0 ? "/" : "/shop/cart", i % 3 == 0, 1900000000 + i,
                       "session_token_" + std::to_string(i % 37),
                       "a1b2c3d4e5f6" + std::to_string(i * 2654435761u) + "0f9e8d7c6b5a4"});
  const std::string text = kit::BuildCookiesTxt(cookies);
  TBenchImage image;
  MeasureStore(state, image, ctCookies, "cookies.txt", text, ReadCookiesTxt);
}
BENCHMARK(BM_CookiesTxtRealShape)->Unit(benchmark::kMillisecond)->Iterations(1);

// A read followed by a clean that removes every cookie: the clean holds the file twice and a
// lookup of the accepted lines on top of the list. The argument is the size in KB of a store of
// the shortest lines, 0 for the real shape.
void BM_CookiesTxtReadAndCleanAll(benchmark::State& state) {
  std::string text;
  if (state.range(0) == 0) {
    std::vector<kit::TCookieTxt> cookies;
    for (int i = 0; i < 100'000; ++i)
      cookies.push_back({".www.site" + std::to_string(i % 9973) + ".example.com", true,
                         i % 4 == 0 ? "/" : "/shop/cart", i % 3 == 0, 1900000000 + i,
                         "session_token_" + std::to_string(i % 37),
                         "a1b2c3d4e5f6" + std::to_string(i * 2654435761u) + "0f9e8d7c6b5a4"});
    text = kit::BuildCookiesTxt(cookies);
  } else {
    text = Repeated("a b c d e f g\n", static_cast<std::size_t>(state.range(0)) * kKiB);
  }
  TBenchImage image;
  TBrowserProfile profile;
  const std::string location = image.Put("cookies.txt", text);
  profile.SetLocation(ctCookies, location);
  const TCleanRule all = [](TCacheType, TCacheItem*, std::string offered) {
    return TCleanDecision{true, std::move(offered)};
  };
  MeasureRead(state, text.size(), [&] {
    image.Put("cookies.txt", text);
    TReadResult result = ReadKind(profile, ctCookies, ReadCookiesTxt);
    result.Refused = result.Refused || CleanCookiesTxt(profile, all).Failed(TStoreAccess::Change);
    return result;
  });
}
BENCHMARK(BM_CookiesTxtReadAndCleanAll)
    ->Arg(2700)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A cookies.txt of zero bytes just under its size limit: one line without a break.
void BM_CookiesTxtJustUnderTheSizeLimit(benchmark::State& state) {
  TBenchImage image;
  TBrowserProfile profile;
  profile.SetLocation(ctCookies, image.PutSparse("cookies.txt", kCookiesTxtLimit - 1));
  MeasureRead(state, kCookiesTxtLimit - 1,
              [&] { return ReadKind(profile, ctCookies, ReadCookiesTxt); });
}
BENCHMARK(BM_CookiesTxtJustUnderTheSizeLimit)->Unit(benchmark::kMillisecond)->Iterations(1);

// A 2 GiB cookies.txt (sparse) is refused from its size.
void BM_CookiesTxtFarOverTheSizeLimit(benchmark::State& state) {
  TBenchImage image;
  TBrowserProfile profile;
  profile.SetLocation(ctCookies, image.PutSparse("cookies.txt", 2048 * kMiB));
  MeasureRead(state, 2048 * kMiB, [&] { return ReadKind(profile, ctCookies, ReadCookiesTxt); });
}
BENCHMARK(BM_CookiesTxtFarOverTheSizeLimit)->Unit(benchmark::kMillisecond)->Iterations(1);

// Line breaks only: no line is an entry or a statement, and none may cost memory of its own.
void BM_BreaksOnly(benchmark::State& state) {
  TBenchImage image;
  const std::string text(static_cast<std::size_t>(state.range(0)) << 20, '\n');
  TBrowserProfile profile;
  profile.SetLocation(ctCookies, image.Put("cookies.txt", text));
  const std::string prefs = image.Put("prefs.js", text);
  MeasureRead(state, text.size(), [&] {
    TReadResult result = ReadKind(profile, ctCookies, ReadCookiesTxt);
    TMozillaPrefsList list;
    list.LoadFromFile(prefs);
    benchmark::DoNotOptimize(list.ReadString("browser.startup.homepage"));
    return result;
  });
}
BENCHMARK(BM_BreaksOnly)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(1);

// --- bookmarks.html ---

// The shortest anchor lines, 9 bytes each, in a folder with the longest name a path keeps, so
// that every entry copies a 256-byte path; the argument is the size in KB.
void BM_BookmarksShortestAnchors(benchmark::State& state) {
  TBenchImage image;
  const std::string html = "<DL><p>\n<DT><H3>" + std::string(250, 'f') + "</H3>\n<DL><p>\n" +
                           Repeated("<A HREF=\n", static_cast<std::size_t>(state.range(0)) * kKiB);
  MeasureStore(state, image, ctBookmarks, "bookmarks.html", html, ReadBookmarksHtml);
}
BENCHMARK(BM_BookmarksShortestAnchors)
    ->Arg(1024)
    ->Arg(1120)
    ->Arg(16384)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// 10,000 bookmarks in 100 folders, as a browser writes them.
void BM_BookmarksRealShape(benchmark::State& state) {
  std::vector<kit::TBookmarkNode> folders;
  for (int f = 0; f < 100; ++f) {
    std::vector<kit::TBookmarkNode> children;
    for (int i = 0; i < 100; ++i) {
      const int n = f * 100 + i;
      children.push_back(kit::TBookmarkNode::Bookmark(
          "Some page about topic " + std::to_string(n) + " - Example Site",
          "http://www.site" + std::to_string(n) + ".example.com/articles/" + std::to_string(n) +
              "/index.html",
          1100000000 + n, 1100000500 + n, "rdf:#$" + std::to_string(n)));
    }
    folders.push_back(kit::TBookmarkNode::Folder("Folder " + std::to_string(f), children));
  }
  const std::string html =
      kit::BuildBookmarksHtml({kit::TBookmarkNode::Folder("Bookmarks Toolbar Folder", folders)});
  TBenchImage image;
  MeasureStore(state, image, ctBookmarks, "bookmarks.html", html, ReadBookmarksHtml);
}
BENCHMARK(BM_BookmarksRealShape)->Unit(benchmark::kMillisecond)->Iterations(1);

// Folders nested depth deep, each holding an anchor, and an anchor behind each closing list.
std::string DeepBookmarks(int depth) {
  std::string html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<H1>Bookmarks</H1>\n<DL><p>\n";
  for (int i = 0; i < depth; ++i)
    html += "<DT><H3 ADD_DATE=\"1100000000\">Folder number " + std::to_string(i) +
            "</H3>\n<DL><p>\n<DT><A HREF=\"http://in" + std::to_string(i) + ".example/\">In " +
            std::to_string(i) + "</A>\n";
  for (int i = depth - 1; i >= 0; --i)
    html += "</DL><p>\n<DT><A HREF=\"http://after" + std::to_string(i) + ".example/\">After</A>\n";
  return html + "</DL><p>\n";
}

void BM_BookmarksDeepNesting(benchmark::State& state) {
  TBenchImage image;
  const std::string html = DeepBookmarks(static_cast<int>(state.range(0)));
  MeasureStore(state, image, ctBookmarks, "bookmarks.html", html, ReadBookmarksHtml);
}
BENCHMARK(BM_BookmarksDeepNesting)
    ->Arg(5000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// --- prefs.js ---

// Reads a prefs.js as a page read does: loads it and looks a preference up.
TReadResult ReadPrefs(const std::string& path) {
  TMozillaPrefsList list;
  try {
    list.LoadFromFile(path);
  } catch (const EFileTooLarge&) {
    return {0, true};
  }
  benchmark::DoNotOptimize(list.ReadString("browser.startup.homepage"));
  return {static_cast<std::size_t>(list.Count()), false};
}

// Statements of distinct one- to seven-digit names, about 18 bytes each; the argument is the
// size in KB.
void BM_PrefsShortestStatements(benchmark::State& state) {
  TBenchImage image;
  std::string text;
  const std::size_t size = static_cast<std::size_t>(state.range(0)) * kKiB;
  for (std::size_t i = 0; text.size() < size; ++i)
    text += "user_pref(" + std::to_string(i) + ",1);\n";
  const std::string path = image.Put("prefs.js", text);
  MeasureRead(state, text.size(), [&] { return ReadPrefs(path); });
}
BENCHMARK(BM_PrefsShortestStatements)
    ->Arg(6900)
    ->Arg(7300)
    ->Arg(16384)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A prefs.js of 1 MB: some 12,000 preferences of add-ons and the browser.
void BM_PrefsRealShape(benchmark::State& state) {
  std::vector<kit::TPrefValue> prefs;
  for (int i = 0; i < 12'000; ++i) {
    const std::string name =
        "extensions.addon" + std::to_string(i % 400) + ".setting" + std::to_string(i);
    if (i % 3 == 0)
      prefs.push_back({name, std::to_string(i * 7919), kit::TPrefKind::Integer});
    else if (i % 3 == 1)
      prefs.push_back({name, i % 2 == 0 ? "true" : "false", kit::TPrefKind::Boolean});
    else
      prefs.push_back({name, "http://www.example.com/some/page/" + std::to_string(i)});
  }
  TBenchImage image;
  const std::string text = kit::BuildPrefsJs(prefs);
  const std::string path = image.Put("prefs.js", text);
  MeasureRead(state, text.size(), [&] { return ReadPrefs(path); });
}
BENCHMARK(BM_PrefsRealShape)->Unit(benchmark::kMillisecond)->Iterations(1);

// --- Mork history ---

// The shortest rows: one row, then "]" after "]", each listing the row again (1 byte a row);
// the argument is the size in KB.
void BM_MorkShortestRows(benchmark::State& state) {
  TBenchImage image;
  const std::string text =
      "[a()]" + std::string(static_cast<std::size_t>(state.range(0)) * kKiB, ']');
  MeasureStore(state, image, ctHistory, "history.dat", text, ReadMorkHistory);
}
BENCHMARK(BM_MorkShortestRows)
    ->Arg(200)
    ->Arg(240)
    ->Arg(16384)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Rows that all name one address of 1 MB, each entry a copy of it; the argument is the number
// of rows.
void BM_MorkRowsSharingOneLongValue(benchmark::State& state) {
  TBenchImage image;
  std::string text = "< <(a=c)> (82=URL)>\n<(90=" + std::string(1 << 20, 'u') + ")>\n";
  for (std::int64_t i = 0; i < state.range(0); ++i)
    text += "[" + std::to_string(i + 1) + "(^82^90)]\n";
  MeasureStore(state, image, ctHistory, "history.dat", text, ReadMorkHistory);
}
BENCHMARK(BM_MorkRowsSharingOneLongValue)
    ->Arg(60)
    ->Arg(70)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A long-used Firefox history: 94 MB, 380,000 pages.
void BM_MorkRealShape(benchmark::State& state) {
  TBenchImage image;
  const std::string text = kit::BuildLongUsedHistoryDat(100u << 20);
  MeasureStore(state, image, ctHistory, "history.dat", text, ReadMorkHistory);
}
BENCHMARK(BM_MorkRealShape)->Unit(benchmark::kMillisecond)->Iterations(1);

// --- profiles.ini ---

// An INI file at its size limit, of sections of the shortest names, each holding a one-letter
// key when the argument is 1.
void BM_IniShortestLines(benchmark::State& state) {
  TBenchImage image;
  std::string text;
  for (std::size_t i = 0; text.size() + 16 < kIniFileLimit; ++i)
    text += state.range(0) == 1 && i % 2 == 1 ? "a=\n" : "[" + std::to_string(i) + "\n";
  const std::string path = image.Put("profiles.ini", text);
  MeasureRead(state, text.size(), [&] {
    const TIniFile ini(path);
    return TReadResult{ini.ReadSections().size(), false};
  });
}
BENCHMARK(BM_IniShortestLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// --- registry.dat ---

// Loads a registry file as discovery does.
TReadResult ReadRegistry(const std::string& path) {
  try {
    const TNSRegistry registry(path);
    std::size_t keys = 0;
    if (registry.Root() != nullptr)
      for (const auto& child : registry.Root()->Children)
        keys += 1 + child->Children.size();
    return {keys, false};
  } catch (const EFileTooLarge&) {
    return {0, true};
  }
}

// count keys side by side below the root, each a 32-byte record and an 8-byte name, written
// directly: the image kit's writer looks each key up among its siblings.
std::string WideRegistry(std::uint32_t count) {
  constexpr std::uint32_t kRoot = 16, kStride = 40;
  std::string bytes(kRoot + (count + 2) * kStride, '\0');
  const auto put = [&](std::uint32_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      bytes[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  put(12, kRoot);
  for (std::uint32_t i = 0; i <= count; ++i) {
    const std::uint32_t off = kRoot + i * kStride;
    put(off, off);
    put(off + 4, off + 32);
    const std::string name = "k" + std::to_string(i);
    bytes.replace(off + 32, name.size(), name);
    bytes[off + 8] = 8;
    bytes[off + 10] = 1; // a key
    put(off + 12, i == 0 || i == count ? 0 : off + kStride);
    put(off + 16, i == 0 ? off + kStride : 0);
    put(off + 28, i == 0 ? 0 : kRoot);
  }
  return bytes;
}

// The argument is the number of keys.
void BM_NetscapeRegistryShortestRecords(benchmark::State& state) {
  const std::string bytes = WideRegistry(static_cast<std::uint32_t>(state.range(0)));
  TBenchImage image;
  const std::string path = image.Put("registry.dat", bytes);
  MeasureRead(state, bytes.size(), [&] { return ReadRegistry(path); });
}
BENCHMARK(BM_NetscapeRegistryShortestRecords)
    ->Arg(200000)
    ->Arg(230000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The registry of a Mozilla suite with 20 profiles.
void BM_NetscapeRegistryRealShape(benchmark::State& state) {
  std::vector<std::pair<std::string, std::string>> profiles;
  for (int i = 0; i < 20; ++i)
    profiles.emplace_back("profile" + std::to_string(i),
                          "C:\\Documents and Settings\\user\\Application Data\\Mozilla\\Profiles\\"
                          "profile" +
                              std::to_string(i) + "\\abcd1234.slt");
  const std::string bytes = kit::BuildMozillaRegistry(profiles, "profile0");
  TBenchImage image;
  const std::string path = image.Put("registry.dat", bytes);
  MeasureRead(state, bytes.size(), [&] { return ReadRegistry(path); });
}
BENCHMARK(BM_NetscapeRegistryRealShape)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
