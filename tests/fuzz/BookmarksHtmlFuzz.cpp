// bookmarks.html: reads the input (at hostile sizes too: deep nesting, long names, many lines).
// Every anchor line is an entry, whatever the nesting; the folder path an entry keeps is bounded;
// a clean of every other entry leaves a file whose anchors are among those that stayed.

#include "FuzzFile.h"
#include "helpers/MozillaCleaners.h"
#include "helpers/MozillaHelperRead.h"
#include "platform/TextLines.h"

#include <cstdlib>
#include <set>
#include <string>
#include <utility>

using namespace quillon;

namespace {

constexpr char kPath[] = "C:\\Profile\\bookmarks.html";
// The path bound, its separator and the three bytes of the ellipsis.
constexpr std::size_t kLongestPath = 256 + 4;

std::set<std::pair<std::string, std::string>> Anchors(const TCacheList& list) {
  std::set<std::pair<std::string, std::string>> anchors;
  for (int i = 0; i < list.Count(); ++i)
    anchors.emplace(list[i].Name, list[i].Host);
  return anchors;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::TFuzzFile::Repeated(data, size);
  fuzz::TFuzzFile file(kPath, text);
  TProfileStores profile;
  profile.SetLocation(ctBookmarks, kPath);
  ReadBookmarksHtml(profile);
  TCacheList& list = profile.GetList(ctBookmarks);

  int anchorLines = 0;
  TTextLineReader reader(text);
  TTextLine line;
  while (reader.Next(line))
    anchorLines += line.Text.find("<A HREF=") != std::string_view::npos ? 1 : 0;
  if (list.Count() != anchorLines)
    std::abort();
  for (int i = 0; i < list.Count(); ++i)
    if (list[i].Path.size() > kLongestPath)
      std::abort();

  std::set<std::pair<std::string, std::string>> staying;
  for (int i = 1; i < list.Count(); i += 2)
    staying.emplace(list[i].Name, list[i].Host);
  CleanBookmarksHtml(profile, [](TCacheType, TCacheItem* item, std::string offered) {
    return TCleanDecision{item->Index() % 2 == 0, std::move(offered)};
  });
  if (Anchors(list) != staying)
    std::abort();
  TProfileStores again;
  again.SetLocation(ctBookmarks, kPath);
  ReadBookmarksHtml(again);
  for (const auto& anchor : Anchors(again.GetList(ctBookmarks)))
    if (!staying.contains(anchor))
      std::abort();
  return 0;
}
