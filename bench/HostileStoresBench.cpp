// The text-store readers on inputs an attacker would write: bookmarks.html with folders nested
// thousands deep, a cookies.txt just under and far over its size limit, files of nothing but
// line breaks, and stores of the shortest lines that still make entries. Each reports its time
// and its peak memory as a multiple of the file ("peak_x_file", the file's own bytes included),
// to hold against the budget of 4 x file + 64 MB.

#include "discovery/BrowserManager.h"
#include "formats/IniFile.h"
#include "formats/MozillaPrefs.h"
#include "formats/StoreLimits.h"
#include "helpers/MozillaHelperRead.h"
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

// Resident memory of the process in bytes, now ("VmRSS") or at its peak ("VmHWM").
std::size_t ProcessMemory(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0)
      return std::stoull(line.substr(line.find(':') + 1)) * 1024;
  return 0;
}

// Runs read once per iteration and reports the peak memory it took over the file size.
void MeasureRead(benchmark::State& state, std::uint64_t fileSize,
                 const std::function<void()>& read) {
  double ratio = 0;
  double peakMB = 0;
  for (auto _ : state) {
    std::ofstream("/proc/self/clear_refs") << "5"; // restart the peak at the current size
    const std::size_t before = ProcessMemory("VmRSS:");
    read();
    const std::size_t peak = ProcessMemory("VmHWM:");
    peakMB = static_cast<double>(peak - before) / (1 << 20);
    ratio = static_cast<double>(peak - before) / static_cast<double>(fileSize);
  }
  state.counters["MB"] = static_cast<double>(fileSize) / (1 << 20);
  state.counters["peak_MB"] = peakMB;
  state.counters["peak_x_file"] = ratio;
}

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
  TBrowserProfile profile;
  profile.SetLocation(ctBookmarks, image.Put("bookmarks.html", html));
  MeasureRead(state, html.size(), [&] {
    ReadBookmarksHtml(profile);
    benchmark::DoNotOptimize(profile.GetList(ctBookmarks).Count());
  });
  state.counters["entries"] = profile.GetList(ctBookmarks).Count();
}
BENCHMARK(BM_BookmarksDeepNesting)
    ->Arg(5000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A cookies.txt of zero bytes just under its limit: one line without a break, read in full.
void BM_CookiesTxtJustUnderTheLimit(benchmark::State& state) {
  TBenchImage image;
  TBrowserProfile profile;
  profile.SetLocation(ctCookies, image.PutSparse("cookies.txt", kCookiesTxtLimit - 1));
  MeasureRead(state, kCookiesTxtLimit - 1, [&] {
    profile.GetList(ctCookies).Clear();
    ReadCookiesTxt(profile);
  });
}
BENCHMARK(BM_CookiesTxtJustUnderTheLimit)->Unit(benchmark::kMillisecond)->Iterations(1);

// A 2 GiB cookies.txt (sparse) is refused from its size.
void BM_CookiesTxtFarOverTheLimit(benchmark::State& state) {
  TBenchImage image;
  TBrowserProfile profile;
  profile.SetLocation(ctCookies, image.PutSparse("cookies.txt", 2048 * kMiB));
  bool refused = false;
  for (auto _ : state) {
    try {
      ReadCookiesTxt(profile);
    } catch (const EFileTooLarge&) {
      refused = true;
    }
  }
  state.counters["refused"] = refused ? 1 : 0;
}
BENCHMARK(BM_CookiesTxtFarOverTheLimit)->Unit(benchmark::kMicrosecond);

// The shortest lines that are entries: each costs an entry record of its own.
void BM_CookiesTxtShortestEntries(benchmark::State& state) {
  TBenchImage image;
  std::string text;
  const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
  while (text.size() < size)
    text += "a b c d e f g\n";
  TBrowserProfile profile;
  profile.SetLocation(ctCookies, image.Put("cookies.txt", text));
  MeasureRead(state, text.size(), [&] {
    profile.GetList(ctCookies).Clear();
    ReadCookiesTxt(profile);
  });
  state.counters["entries"] = profile.GetList(ctCookies).Count();
}
BENCHMARK(BM_CookiesTxtShortestEntries)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(1);

// Line breaks only: no line is an entry or a statement, and none may cost memory of its own.
void BM_BreaksOnly(benchmark::State& state) {
  TBenchImage image;
  const std::string text(static_cast<std::size_t>(state.range(0)) << 20, '\n');
  TBrowserProfile profile;
  profile.SetLocation(ctCookies, image.Put("cookies.txt", text));
  const std::string prefs = image.Put("prefs.js", text);
  MeasureRead(state, text.size(), [&] {
    ReadCookiesTxt(profile);
    TMozillaPrefsList list;
    list.LoadFromFile(prefs);
    benchmark::DoNotOptimize(list.ReadString("browser.startup.homepage"));
  });
}
BENCHMARK(BM_BreaksOnly)->Arg(64)->Unit(benchmark::kMillisecond)->Iterations(1);

// prefs.js of the shortest statements, looked up as a page read does.
void BM_PrefsShortestStatements(benchmark::State& state) {
  TBenchImage image;
  std::string text;
  const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
  for (std::size_t i = 0; text.size() < size; ++i)
    text += "user_pref(" + std::to_string(i) + ",1);\n";
  const std::string path = image.Put("prefs.js", text);
  MeasureRead(state, text.size(), [&] {
    TMozillaPrefsList list;
    list.LoadFromFile(path);
    benchmark::DoNotOptimize(list.ReadString("browser.startup.homepage"));
  });
}
BENCHMARK(BM_PrefsShortestStatements)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(1);

// An INI file at its limit, of one-letter keys in one-letter sections.
void BM_IniShortestLines(benchmark::State& state) {
  TBenchImage image;
  std::string text;
  for (std::size_t i = 0; text.size() + 16 < kIniFileLimit; ++i)
    text += i % 2 == 0 ? "[" + std::to_string(i) + "]\n" : "a=\n";
  const std::string path = image.Put("profiles.ini", text);
  MeasureRead(state, text.size(), [&] {
    const TIniFile ini(path);
    benchmark::DoNotOptimize(ini.ReadSections().size());
  });
}
BENCHMARK(BM_IniShortestLines)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
