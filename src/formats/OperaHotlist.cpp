#include "formats/OperaHotlist.h"

#include "formats/OperaHistory.h"
#include "platform/TextLines.h"

namespace quillon {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

} // namespace

void TOperaHotlistReader::CloseFolder() {
  const std::size_t slash = folder_.rfind('\\');
  folder_.resize(slash == std::string::npos ? 0 : slash);
}

void TOperaHotlistReader::TakeValue(std::string_view line, TOperaBookmark& bookmark, bool& named) {
  line = TrimBlanks(line);
  const std::size_t equals = line.find('=');
  const std::string_view key = line.substr(0, equals);
  const std::string_view value =
      equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
  if (block_ == TBlock::Folder) {
    if (key == "NAME") {
      if (!folder_.empty())
        folder_ += '\\';
      folder_ += value;
    }
    return;
  }
  if (key == "NAME") {
    bookmark.Name = value;
    named = true;
  } else if (key == "URL") {
    bookmark.Url = value;
  } else if (key == "SHORT NAME") {
    bookmark.ShortName = value;
  } else if (key == "DESCRIPTION") {
    bookmark.Description = value;
  } else if (key == "CREATED") {
    bookmark.Created = value;
  } else if (key == "VISITED") {
    bookmark.Visited = value;
  }
}

bool TOperaHotlistReader::Next(TOperaBookmark& bookmark) {
  // Up to the next "#URL" line, applying what lies before it.
  while (pos_ < text_.size()) {
    TTextLineReader reader(text_.substr(pos_));
    TTextLine line;
    reader.Next(line);
    const std::size_t start = pos_;
    const bool afterBoundary = block_ == TBlock::None;
    pos_ += line.Text.size() + line.Break.size();
    if (line.Text == "#FOLDER") {
      block_ = TBlock::Folder;
    } else if (line.Text.empty()) {
      block_ = TBlock::None;
    } else if (line.Text == "-") {
      CloseFolder();
      block_ = TBlock::None;
    } else if (line.Text != "#URL") {
      if (block_ == TBlock::Folder) {
        bool unused = false;
        TakeValue(line.Text, bookmark, unused);
      }
    } else {
      // The bookmark's block: its lines up to an empty line, "-", "#FOLDER", "#URL" or the end.
      block_ = TBlock::Bookmark;
      bookmark = TOperaBookmark{};
      bookmark.Offset = start;
      bool named = false;
      while (pos_ < text_.size()) {
        TTextLineReader rest(text_.substr(pos_));
        TTextLine value;
        rest.Next(value);
        if (value.Text == "#FOLDER" || value.Text == "#URL" || value.Text == "-")
          break;
        if (value.Text.empty()) {
          // Taken with the block only where the block began after a boundary: otherwise the
          // lines after it would join the block before.
          if (afterBoundary) {
            pos_ += value.Break.size();
            block_ = TBlock::None;
          }
          break;
        }
        pos_ += value.Text.size() + value.Break.size();
        TakeValue(value.Text, bookmark, named);
      }
      bookmark.Size = pos_ - start;
      if (named)
        bookmark.Folder = folder_;
      return true;
    }
  }
  return false;
}

std::string OperaBookmarkKey(std::string_view name, std::string_view url) {
  // Neither holds a line break: both are parts of one line.
  std::string key;
  key.reserve(name.size() + 1 + url.size());
  key += name;
  key += '\n';
  key += url;
  return key;
}

TOperaHotlistRewrite RewriteOperaHotlist(std::string_view text, TBookmarkCounts& toRemove) {
  TOperaHotlistRewrite result;
  result.Content.reserve(text.size());
  TOperaHotlistReader reader(text);
  std::size_t kept = 0; // the text before it is done
  bool afterRemoval = false;
  for (TOperaBookmark bookmark; reader.Next(bookmark);) {
    if (toRemove.empty())
      break;
    const auto found = toRemove.find(OperaBookmarkKey(bookmark.Name, bookmark.Url));
    if (found == toRemove.end())
      continue;
    if (--found->second == 0)
      toRemove.erase(found);
    const std::string_view before = text.substr(kept, bookmark.Offset - kept);
    if (afterRemoval)
      AppendAfterRemoval(result.Content, before);
    else
      result.Content += before;
    kept = bookmark.Offset + bookmark.Size;
    afterRemoval = true;
    ++result.Removed;
  }
  if (afterRemoval)
    AppendAfterRemoval(result.Content, text.substr(kept));
  else
    result.Content += text.substr(kept);
  return result;
}

} // namespace quillon
