#pragma once
// Opera's hotlist (Opera6.adr, bookmarks.adr): a text file of blocks. "#FOLDER" opens a folder,
// "#URL" a bookmark; the indented "KEY=value" lines that follow describe it; an empty line ends a
// block, and a line "-" ends the innermost folder. Lines before the first block (the header) say
// nothing about bookmarks.

#include "formats/StoreLimits.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillon {

// Hotlists of thousands of bookmarks take a few MB.
constexpr std::uint64_t kOperaHotlistLimit = 256 * kMiB;

struct TOperaBookmark {
  // The values of the block's keys, empty when absent (the last of two equal keys wins).
  std::string_view Name, Url, ShortName, Description, Created, Visited;
  // The "\"-joined names of the enclosing folders, outermost first; empty for a bookmark without
  // a NAME. Valid until the next bookmark is read.
  std::string_view Folder;
  // The bytes the bookmark takes in the file: from its "#URL" line up to the line that ends it,
  // and that line too when it is an empty line after a block that began after an empty line (so
  // that leaving the bytes out leaves every other line read as before).
  std::size_t Offset = 0;
  std::size_t Size = 0;
};

// Walks the bookmarks of a text in file order, in linear time.
class TOperaHotlistReader {
public:
  explicit TOperaHotlistReader(std::string_view text) : text_(text) {}
  // The next bookmark; false after the last one.
  bool Next(TOperaBookmark& bookmark);

private:
  enum class TBlock : unsigned char { None, Folder, Bookmark };
  // Applies one line that is no block boundary to the open block.
  void TakeValue(std::string_view line, TOperaBookmark& bookmark, bool& named);
  void CloseFolder();

  std::string_view text_;
  std::size_t pos_ = 0;
  TBlock block_ = TBlock::None;
  std::string folder_;
};

// A bookmark as the cleaner matches it: its NAME and URL.
std::string OperaBookmarkKey(std::string_view name, std::string_view url);
// Bookmarks to take out, by OperaBookmarkKey, each with how many of its equal copies go.
using TBookmarkCounts = std::unordered_map<std::string, std::size_t>;

struct TOperaHotlistRewrite {
  std::string Content;
  std::size_t Removed = 0; // bookmarks taken out
};

// The text without the bookmarks toRemove counts (each count taken down as its bookmarks go,
// first ones first); every other byte stays.
TOperaHotlistRewrite RewriteOperaHotlist(std::string_view text, TBookmarkCounts& toRemove);

} // namespace quillon
