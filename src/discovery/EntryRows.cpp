#include "discovery/EntryRows.h"

#include <array>
#include <stdexcept>

namespace quillon {

namespace {

constexpr TColumnAlign L = TColumnAlign::Left;

constexpr std::array<TEntryColumn, 3> kCacheColumns = {
    {{"Host", 0, L}, {"Last Access", 120, L}, {"Expires", 120, L}}};
constexpr std::array<TEntryColumn, 3> kCookieColumns = {
    {{"Host", 0, L}, {"Name", 160, L}, {"Expires", 120, L}}};
constexpr std::array<TEntryColumn, 3> kHistoryColumns = {
    {{"Host", 0, L}, {"Last Access", 120, L}, {"Expires", 120, L}}};
// The registry location is the tail of a long key; right-aligned, its distinctive end shows.
constexpr std::array<TEntryColumn, 3> kPageColumns = {
    {{"Page", 0, L}, {"AB", 32, L}, {"Location", 200, TColumnAlign::Right}}};
// The address is the long text that needs the room; a bookmark's folder and name fit beside it.
constexpr std::array<TEntryColumn, 4> kBookmarkColumns = {
    {{"Name", 160, L}, {"URL", 0, L}, {"Last Access", 120, L}, {"Created", 120, L}}};

constexpr std::array<std::string_view, kCacheTypeCount> kListCaptions = {
    "Cache", "Cookies", "History", "Start pages", "Bookmarks"};

} // namespace

std::span<const TEntryColumn> EntryColumns(TCacheType kind) {
  switch (kind) {
  case ctCache:
    return kCacheColumns;
  case ctCookies:
    return kCookieColumns;
  case ctHistory:
    return kHistoryColumns;
  case ctPages:
    return kPageColumns;
  case ctBookmarks:
    return kBookmarkColumns;
  }
  throw std::out_of_range("no entry list of kind " + std::to_string(kind));
}

std::string_view EntryListCaption(TCacheType kind) {
  return kListCaptions.at(kind);
}

std::string_view EmptyListText(TCacheType kind) {
  static constexpr std::array<std::string_view, kCacheTypeCount> kTexts = {
      "No cache entries.", "No cookies.", "No history entries.", "No start pages.",
      "No bookmarks."};
  return kTexts.at(kind);
}

std::string EntryCellText(TCacheType kind, const TCacheItem& item, int column,
                          const TFormatSettings& settings) {
  auto date = [&settings](TDateTime value) { return DateCellText(value, {}, settings); };
  switch (kind) {
  case ctCache:
    switch (column) {
    case 0:
      return item.Host + item.Path;
    case 1:
      return date(item.LastAccess);
    case 2:
      return date(item.Expires);
    }
    break;
  case ctCookies:
    switch (column) {
    case 0:
      return item.Host + item.Path;
    case 1:
      return item.Name;
    case 2:
      return date(item.Expires);
    }
    break;
  case ctHistory:
    switch (column) {
    case 0: {
      std::string text = item.Host + item.Path;
      return text.empty() ? "?" : text;
    }
    case 1:
      return DateCellText(item.LastAccess, "?", settings);
    case 2:
      return DateCellText(item.Expires, "?", settings);
    }
    break;
  case ctPages:
    switch (column) {
    case 0:
      return item.Content;
    case 1:
      return std::to_string(item.AccessBits);
    case 2:
      return item.Name;
    }
    break;
  case ctBookmarks:
    switch (column) {
    case 0:
      return item.Path + "\\" + item.Name;
    case 1:
      return item.Host;
    case 2:
      return date(item.LastAccess);
    case 3:
      // Bookmarks keep their creation time where other kinds keep the expiry.
      return date(item.Expires);
    }
    break;
  }
  return {};
}

std::vector<std::string> EntryRowTexts(TCacheType kind, const TCacheItem& item,
                                       const TFormatSettings& settings) {
  const std::size_t count = EntryColumns(kind).size();
  std::vector<std::string> texts;
  texts.reserve(count);
  for (std::size_t column = 0; column < count; ++column)
    texts.push_back(EntryCellText(kind, item, static_cast<int>(column), settings));
  return texts;
}

} // namespace quillon
