#include "discovery/EntryOrder.h"

#include "discovery/EntryRows.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace quillon {

namespace {

enum class TKeyType : std::uint8_t { Text, Date, Number };

// A cell's text as the pieces of the entry it is joined from, so that neither sorting nor
// filtering builds a string per entry and column.
struct TPieces {
  std::array<std::string_view, 3> Part{};
  int Count = 0;
};

TPieces Pieces(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
  return {{a, b, c}, 3};
}

TKeyType KeyType(TCacheType kind, int column) {
  switch (kind) {
  case ctCache:
  case ctHistory:
    return column == 0 ? TKeyType::Text : TKeyType::Date;
  case ctCookies:
    return column == 2 ? TKeyType::Date : TKeyType::Text;
  case ctPages:
    return column == 1 ? TKeyType::Number : TKeyType::Text;
  case ctBookmarks:
    return column >= 2 ? TKeyType::Date : TKeyType::Text;
  }
  return TKeyType::Text;
}

// The text of a text column, as EntryCellText shows it.
TPieces TextPieces(TCacheType kind, const TCacheItem& item, int column) {
  switch (kind) {
  case ctCache:
    return Pieces(item.Host, item.Path);
  case ctCookies:
    return column == 0 ? Pieces(item.Host, item.Path) : Pieces(item.Name);
  case ctHistory:
    if (item.Host.empty() && item.Path.empty())
      return Pieces("?");
    return Pieces(item.Host, item.Path);
  case ctPages:
    return column == 0 ? Pieces(item.Content) : Pieces(item.Name);
  case ctBookmarks:
    return column == 0 ? Pieces(item.Path, "\\", item.Name) : Pieces(item.Host);
  }
  return {};
}

TDateTime DateOf(TCacheType kind, const TCacheItem& item, int column) {
  // Bookmarks keep their creation time in Expires; every list shows the last access first.
  const int lastAccessColumn = kind == ctBookmarks ? 2 : 1;
  return column == lastAccessColumn ? item.LastAccess : item.Expires;
}

std::string_view DateZeroText(TCacheType kind) {
  return kind == ctHistory ? "?" : "";
}

unsigned char Fold(unsigned char previous, unsigned char c) {
  if (c >= 'A' && c <= 'Z')
    return static_cast<unsigned char>(c + ('a' - 'A'));
  // UTF-8 C3 80..9E are the capitals of Latin-1 (C3 97 is the multiplication sign); their small
  // letters are 0x20 further.
  if (previous == 0xC3 && c >= 0x80 && c <= 0x9E && c != 0x97)
    return static_cast<unsigned char>(c + 0x20);
  return c;
}

void AppendFolded(std::string& out, std::string_view text, unsigned char& previous) {
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    out.push_back(static_cast<char>(Fold(previous, c)));
    previous = c;
  }
}

// Walks the folded bytes of a cell's pieces.
class TFoldedBytes {
public:
  explicit TFoldedBytes(const TPieces& pieces) : pieces_(pieces) {}
  bool Next(unsigned char& out) {
    while (piece_ < pieces_.Count && offset_ >= pieces_.Part[piece_].size()) {
      ++piece_;
      offset_ = 0;
    }
    if (piece_ >= pieces_.Count)
      return false;
    const auto c = static_cast<unsigned char>(pieces_.Part[piece_][offset_++]);
    out = Fold(previous_, c);
    previous_ = c;
    return true;
  }

private:
  TPieces pieces_;
  int piece_ = 0;
  std::size_t offset_ = 0;
  unsigned char previous_ = 0;
};

int CompareFolded(const TPieces& a, const TPieces& b) {
  TFoldedBytes left(a), right(b);
  for (;;) {
    unsigned char x = 0, y = 0;
    const bool hasX = left.Next(x);
    const bool hasY = right.Next(y);
    if (!hasX || !hasY)
      return hasX ? 1 : hasY ? -1 : 0;
    if (x != y)
      return x < y ? -1 : 1;
  }
}

// The first eight folded bytes, most significant first: most comparisons end here.
std::uint64_t TextPrefix(const TPieces& pieces) {
  TFoldedBytes bytes(pieces);
  std::uint64_t key = 0;
  for (int i = 0; i < 8; ++i) {
    unsigned char c = 0;
    bytes.Next(c);
    key = (key << 8) | c;
  }
  return key;
}

// Dates in value order as unsigned keys: the absent date 0 first, one without a value last.
std::uint64_t DateKey(TDateTime value) {
  if (value == 0)
    return 0;
  if (std::isnan(value))
    return std::numeric_limits<std::uint64_t>::max();
  const auto bits = std::bit_cast<std::uint64_t>(value);
  return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

struct TKeyed {
  std::uint64_t Key;
  int Position;
};

class TFilter {
public:
  TFilter(TCacheType kind, std::string_view filter, const TFormatSettings& settings)
      : kind_(kind), filter_(FoldCase(filter)), settings_(settings),
        columns_(static_cast<int>(EntryColumns(kind).size())) {}

  bool Matches(const TCacheItem& item) {
    for (int column = 0; column < columns_; ++column) {
      cell_.clear();
      unsigned char previous = 0;
      switch (KeyType(kind_, column)) {
      case TKeyType::Text: {
        const TPieces pieces = TextPieces(kind_, item, column);
        for (int p = 0; p < pieces.Count; ++p)
          AppendFolded(cell_, pieces.Part[p], previous);
        break;
      }
      case TKeyType::Date:
        AppendFolded(cell_,
                     DateCellText(DateOf(kind_, item, column), DateZeroText(kind_), settings_),
                     previous);
        break;
      case TKeyType::Number:
        AppendFolded(cell_, std::to_string(item.AccessBits), previous);
        break;
      }
      if (cell_.find(filter_) != std::string::npos)
        return true;
    }
    return false;
  }

private:
  TCacheType kind_;
  std::string filter_;
  const TFormatSettings& settings_;
  int columns_;
  std::string cell_; // reused, so that a row costs no allocation
};

} // namespace

std::string FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  unsigned char previous = 0;
  AppendFolded(folded, text, previous);
  return folded;
}

std::vector<int> OrderEntries(TCacheType kind, const TCacheList& list, int count,
                              const TEntryOrder& order, const TFormatSettings& settings) {
  count = std::clamp(count, 0, list.Count());
  std::vector<int> positions;
  positions.reserve(static_cast<std::size_t>(count));
  if (order.Filter.empty()) {
    for (int i = 0; i < count; ++i)
      positions.push_back(i);
  } else {
    TFilter filter(kind, order.Filter, settings);
    for (int i = 0; i < count; ++i)
      if (filter.Matches(list.Items(i)))
        positions.push_back(i);
  }

  const int columns = static_cast<int>(EntryColumns(kind).size());
  if (order.Column < 0 || order.Column >= columns)
    return positions;

  const int column = order.Column;
  const TKeyType type = KeyType(kind, column);
  std::vector<TKeyed> keyed;
  keyed.reserve(positions.size());
  for (const int position : positions) {
    const TCacheItem& item = list.Items(position);
    std::uint64_t key = 0;
    switch (type) {
    case TKeyType::Text:
      key = TextPrefix(TextPieces(kind, item, column));
      break;
    case TKeyType::Date:
      key = DateKey(DateOf(kind, item, column));
      break;
    case TKeyType::Number:
      key = item.AccessBits;
      break;
    }
    keyed.push_back({key, position});
  }

  const bool descending = order.Descending;
  // The position breaks every tie, so the unstable sort gives the stable order.
  std::sort(keyed.begin(), keyed.end(), [&](const TKeyed& a, const TKeyed& b) {
    if (a.Key != b.Key)
      return descending ? a.Key > b.Key : a.Key < b.Key;
    if (type == TKeyType::Text) {
      const int c = CompareFolded(TextPieces(kind, list.Items(a.Position), column),
                                  TextPieces(kind, list.Items(b.Position), column));
      if (c != 0)
        return descending ? c > 0 : c < 0;
    }
    return a.Position < b.Position;
  });
  for (std::size_t i = 0; i < keyed.size(); ++i)
    positions[i] = keyed[i].Position;
  return positions;
}

} // namespace quillon
