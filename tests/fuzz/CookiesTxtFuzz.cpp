// cookies.txt: reads the input (at hostile sizes too), then cleans every other entry. The file
// written back must list exactly the entries that were not removed, and keep every other line.

#include "FuzzFile.h"
#include "helpers/MozillaCleaners.h"
#include "helpers/MozillaHelperRead.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace quillon;

namespace {

constexpr char kPath[] = "C:\\Profile\\cookies.txt";

std::vector<std::string> Lines(const TCacheList& list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list.Count(); ++i)
    lines.push_back(list[i].Plaintext);
  std::sort(lines.begin(), lines.end());
  return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::TFuzzFile file(kPath, fuzz::TFuzzFile::Repeated(data, size));
  TProfileStores profile;
  profile.SetLocation(ctCookies, kPath);
  ReadCookiesTxt(profile);
  TCacheList& list = profile.GetList(ctCookies);
  for (int i = 0; i < list.Count(); ++i)
    if (list[i].Plaintext.empty() || list[i].Plaintext.front() == '#')
      std::abort();

  // Every other entry goes; the rest must read back as they were.
  std::vector<std::string> kept;
  for (int i = 0; i < list.Count(); ++i)
    if (i % 2 == 1)
      kept.push_back(list[i].Plaintext);
  std::sort(kept.begin(), kept.end());
  CleanCookiesTxt(profile, [](TCacheType, TCacheItem* item, std::string offered) {
    return TCleanDecision{item->Index() % 2 == 0, std::move(offered)};
  });
  if (Lines(list) != kept)
    std::abort();
  TProfileStores again;
  again.SetLocation(ctCookies, kPath);
  ReadCookiesTxt(again);
  if (Lines(again.GetList(ctCookies)) != kept)
    std::abort();
  return 0;
}
