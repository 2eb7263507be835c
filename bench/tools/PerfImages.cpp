#include "tools/PerfImages.h"

#include "kit/DemoImage.h"
#include "kit/MorkWriter.h"
#include "kit/SQLiteStoreWriter.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillon::bench {

namespace {

std::string CookiesStore(const std::string& root) {
  const std::string path = root + "/Users/alice/AppData/Roaming/Mozilla/Firefox/Profiles/"
                                  "k3x9q2lm.default/cookies.sqlite";
  std::filesystem::remove(path);
  kit::WriteFirefox3Cookies(path, LargeCookieRows());
  return path;
}

std::string VisitsStore(const std::string& root) {
  const std::string path = root + "/Users/alice/AppData/Local/Google/Chrome/User Data/Default/"
                                  "History";
  constexpr int kUrls = 100000;
  constexpr int kVisits = 600000;
  // Chrome counts microseconds from 1601; these are days of 2010.
  constexpr std::int64_t kBase = 12900000000000000;
  std::vector<kit::TChromeUrlRow> urls;
  urls.reserve(kUrls);
  for (int i = 0; i < kUrls; ++i)
    urls.push_back({i + 1,
                    "http://www.site" + std::to_string(i % 4001) + ".example.com/articles/" +
                        std::to_string(i) + "/index.html?ref=home",
                    "Article " + std::to_string(i) + " - Some long page title", 6,
                    kBase + i * 1000000LL});
  std::vector<kit::TChromeVisitRow> visits;
  visits.reserve(kVisits);
  for (int i = 0; i < kVisits; ++i)
    visits.push_back({i + 1, (i * 7919LL) % kUrls + 1, kBase + i * 250000LL});
  std::filesystem::remove(path);
  kit::WriteChromeHistory(path, urls, visits);
  return path;
}

std::string MorkStore(const std::string& root) {
  const std::string path = root + "/Users/bob/AppData/Roaming/Mozilla/Firefox/Profiles/"
                                  "w7p1c0de.default/history.dat";
  const std::string text = kit::BuildLongUsedHistoryDat(103u << 20);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(text.data(), static_cast<std::streamsize>(text.size()));
  return path;
}

} // namespace

std::vector<kit::TFirefoxCookieRow> LargeCookieRows() {
  constexpr int kCookies = 200000;
  std::vector<kit::TFirefoxCookieRow> rows;
  rows.reserve(kCookies);
  for (int i = 0; i < kCookies; ++i) {
    kit::TFirefoxCookieRow row;
    row.Id = 1200000000000000 + i;
    row.Name = "__utm" + std::to_string(i % 7) + "_" + std::to_string(i);
    row.Value = "17." + std::to_string(i * 31);
    row.Host = ".www.site" + std::to_string(i % 9973) + ".example.com";
    row.Path = i % 3 == 0 ? "/" : "/shop/cart/";
    row.Expiry = 1262347200 + i;
    row.LastAccessed = 1245067200000000 + i;
    row.IsSecure = i % 4 == 0;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string WritePerfImage(std::string_view kind, const std::string& root) {
  if (kind != "cookies" && kind != "visits" && kind != "mork")
    throw std::invalid_argument("no perf image of kind " + std::string(kind));
  kit::WriteDemoImage(root);
  return kind == "cookies"  ? CookiesStore(root)
         : kind == "visits" ? VisitsStore(root)
                            : MorkStore(root);
}

} // namespace quillon::bench
