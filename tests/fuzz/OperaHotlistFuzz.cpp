// Opera hotlists (.adr): reads the input's bookmarks, rewrites it without removing any (which must
// give the input back byte for byte), then without one bookmark, which must leave every other
// bookmark read as before, folder path included.

#include "formats/OperaHotlist.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace quillon;

namespace {

struct TRow {
  std::string Folder, Name, Url;
  bool operator==(const TRow&) const = default;
};

std::vector<TRow> Rows(std::string_view text) {
  std::vector<TRow> rows;
  TOperaHotlistReader reader(text);
  std::size_t end = 0;
  for (TOperaBookmark b; reader.Next(b);) {
    // Blocks follow each other, begin at their "#URL" line and stay inside the text.
    if (b.Offset < end || b.Offset + b.Size > text.size() || text.substr(b.Offset, 4) != "#URL")
      std::abort();
    end = b.Offset + b.Size;
    rows.push_back({std::string(b.Folder), std::string(b.Name), std::string(b.Url)});
  }
  return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<TRow> rows = Rows(text);

  TBookmarkCounts none;
  const TOperaHotlistRewrite same = RewriteOperaHotlist(text, none);
  if (same.Content != text || same.Removed != 0)
    std::abort();
  if (rows.empty())
    return 0;

  const std::size_t pick = size % rows.size();
  TBookmarkCounts one;
  ++one[OperaBookmarkKey(rows[pick].Name, rows[pick].Url)];
  const TOperaHotlistRewrite fewer = RewriteOperaHotlist(text, one);
  if (fewer.Removed != 1 || !one.empty())
    std::abort();
  // The first bookmark of that name and address goes, and only it.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].Name == rows[pick].Name && rows[i].Url == rows[pick].Url) {
      rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (Rows(fewer.Content) != rows)
    std::abort();
  return 0;
}
