#include "formats/BookmarksHtml.h"

#include "formats/StoreLimits.h"
#include "platform/TextLines.h"
#include "winapi/TextCase.h"

#include <cstdint>
#include <functional>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quillon {

namespace {

// The folder path of the anchors of a bookmarks.html while it is read. A file can nest folders
// as deep as it likes and give them names as long as it likes, and every anchor keeps a copy of
// the path: the path kept is therefore bounded, in levels and in bytes, and what lies beyond is
// shown as one "\…". The levels still count, so each </DL> closes the right one.
class TBookmarkFolderPath {
public:
  static constexpr std::size_t kMaxLevels = 16;
  static constexpr std::size_t kMaxBytes = 256;
  static constexpr std::string_view kElided = "\xE2\x80\xA6"; // U+2026, the ellipsis

  const std::string& Text() const { return path_; }

  void Open(std::string_view name) {
    ++depth_;
    if (elidedAt_ != 0)
      return;
    const std::size_t before = path_.size();
    const std::size_t added = (path_.empty() ? 0 : 1) + name.size();
    if (depth_ > kMaxLevels || before + added > kMaxBytes) {
      elidedAt_ = depth_;
      if (!path_.empty())
        path_ += '\\';
      path_ += kElided;
      elidedFrom_ = before;
      return;
    }
    starts_.push_back(before);
    if (!path_.empty())
      path_ += '\\';
    path_ += name;
  }

  // A close without an open folder (the file's outermost list) changes nothing.
  void Close() {
    if (depth_ == 0)
      return;
    if (elidedAt_ != 0) {
      if (depth_ == elidedAt_) {
        path_.resize(elidedFrom_);
        elidedAt_ = 0;
      }
    } else {
      path_.resize(starts_.back());
      starts_.pop_back();
    }
    --depth_;
  }

private:
  std::string path_;
  std::vector<std::size_t> starts_; // where each kept level begins in path_
  std::size_t depth_ = 0;           // levels open, kept or not
  std::size_t elidedAt_ = 0;        // the level that was elided first; 0 when none is
  std::size_t elidedFrom_ = 0;      // path_'s size before that level
};

// Calls onAnchor(line, upperLine, folderPath) for each anchor line of a bookmarks.html, with
// the "\"-joined path of its folders. upper is the text upper-cased.
template <class F>
void ForEachBookmarkAnchor(std::string_view text, std::string_view upper, F&& onAnchor) {
  TBookmarkFolderPath folderPath;
  TTextLineReader reader(text);
  TTextLine line;
  while (reader.Next(line)) {
    const std::string_view l = line.Text;
    if (l.find("<A HREF=") != std::string_view::npos) {
      onAnchor(l, upper.substr(static_cast<std::size_t>(l.data() - text.data()), l.size()),
               folderPath.Text());
    } else if (const std::size_t h3 = l.find("<H3"); h3 != std::string_view::npos) {
      std::string_view name;
      const std::size_t gt = l.find('>', h3);
      if (gt != std::string_view::npos) {
        const std::size_t lt = l.find('<', gt + 1);
        if (lt != std::string_view::npos)
          name = l.substr(gt + 1, lt - gt - 1);
      }
      folderPath.Open(name);
    } else if (l.find("</DL>") != std::string_view::npos) {
      folderPath.Close();
    }
  }
}

// The text behind marker (found in upper) up to the next double quote of line, or to the end of
// the line when no quote closes it. False when the marker is absent.
bool QuotedAfter(std::string_view line, std::string_view upper, std::string_view marker,
                 std::string_view& text) {
  const std::size_t pos = upper.find(marker);
  if (pos == std::string_view::npos)
    return false;
  const std::size_t start = pos + marker.size();
  const std::size_t end = line.find('"', start);
  text = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  return true;
}

// (title, address) pairs of the bookmarks still in the list; views into the entries, which
// outlive the set.
struct TPairHash {
  std::size_t operator()(const std::pair<std::string_view, std::string_view>& p) const {
    const std::size_t h = std::hash<std::string_view>()(p.first);
    return h ^
           (std::hash<std::string_view>()(p.second) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
  }
};
using TBookmarkSet = std::unordered_set<std::pair<std::string_view, std::string_view>, TPairHash>;

} // namespace

void ParseBookmarksHtml(std::string_view text, const std::string& location, TCacheList& list) {
  // Upper-cased once for the whole file rather than once per anchor.
  const std::string upper = UpperCaseAscii(text);
  // What the entries will take is counted before any is made.
  std::uint64_t entries = 0;
  std::uint64_t entryCost = 0;
  std::string title, url, identifier;
  TDateTime lastVisit = 0, added = 0;
  ForEachBookmarkAnchor(
      text, upper,
      [&](std::string_view l, std::string_view upperLine, const std::string& folderPath) {
        identifier.clear();
        ParseBookmarkLine(l, upperLine, title, url, lastVisit, added, identifier);
        ++entries;
        entryCost += kListedEntryCost + ItemTextCost(folderPath.size()) +
                     ItemTextCost(title.size()) + ItemTextCost(url.size()) +
                     ItemTextCost(identifier.size()) + ItemTextCost(l.size());
      });
  CheckStoreMemory(location, text.size(), text.size() + upper.size() + entryCost, entries,
                   "bookmarks");

  ForEachBookmarkAnchor(
      text, upper,
      [&](std::string_view l, std::string_view upperLine, const std::string& folderPath) {
        TCacheItem& item = list.Add();
        std::string id;
        ParseBookmarkLine(l, upperLine, title, url, item.LastAccess, item.Expires, id);
        item.Name = title;
        item.Host = url;
        item.Path = folderPath;
        item.Content = std::move(id);
        item.Plaintext = std::string(l);
      });
}

std::string RewriteBookmarksHtml(std::string_view original, const TCacheList& remaining) {
  TBookmarkSet kept;
  kept.reserve(static_cast<std::size_t>(remaining.Count()));
  for (int i = 0; i < remaining.Count(); ++i)
    kept.emplace(remaining[i].Name, remaining[i].Host);

  std::string content;
  content.reserve(original.size() + original.size() / 16);
  TTextLineReader reader(original);
  TTextLine line;
  std::string title, url, identifier;
  TDateTime lastVisit = 0, added = 0;
  while (reader.Next(line)) {
    if (line.Text.find("<A HREF") != std::string_view::npos) {
      identifier.clear();
      ParseBookmarkLine(line.Text, title, url, lastVisit, added, identifier);
      if (!kept.contains({title, url}))
        continue;
    }
    content += line.Text;
    content += "\r\n";
  }
  return content;
}

void ParseBookmarkLine(std::string_view line, std::string& title, std::string& url,
                       TDateTime& lastVisit, TDateTime& added, std::string& identifier) {
  ParseBookmarkLine(line, UpperCaseAscii(line), title, url, lastVisit, added, identifier);
}

void ParseBookmarkLine(std::string_view line, std::string_view upper, std::string& title,
                       std::string& url, TDateTime& lastVisit, TDateTime& added,
                       std::string& identifier) {
  std::string_view text;

  added = 0;
  if (QuotedAfter(line, upper, "ADD_DATE=\"", text))
    TryUnixFloatTextToDateTime(text, added);
  lastVisit = 0;
  if (QuotedAfter(line, upper, "LAST_VISIT=\"", text))
    TryUnixFloatTextToDateTime(text, lastVisit);
  if (QuotedAfter(line, upper, "ID=\"", text))
    identifier.assign(text);

  url.clear();
  title.clear();
  constexpr std::string_view kHref = "<A HREF=\"";
  if (!QuotedAfter(line, upper, kHref, text))
    return;
  url.assign(text);
  const std::size_t href = upper.find(kHref);
  const std::size_t gt = line.find('>', href + kHref.size());
  if (gt == std::string_view::npos)
    return;
  const std::size_t end = upper.find("</A>", gt + 1);
  title.assign(
      line.substr(gt + 1, end == std::string::npos ? std::string_view::npos : end - gt - 1));
}

} // namespace quillon
