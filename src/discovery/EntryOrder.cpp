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

// How many bytes of a text a key holds; kGoesOn for eight with more behind them.
constexpr std::uint8_t kGoesOn = 9;

// Eight folded bytes of a cell's text from offset on, most significant first, zero-padded past
// the end (width says how many are the text's, so "ab" and "ab\0" differ).
std::uint64_t TextChunk(const TPieces& pieces, std::size_t offset, std::uint8_t& width) {
  std::uint64_t key = 0;
  int taken = 0;
  unsigned char previous = 0;
  for (int p = 0; p < pieces.Count; ++p) {
    const std::string_view part = pieces.Part[static_cast<std::size_t>(p)];
    if (offset >= part.size()) {
      offset -= part.size();
      if (!part.empty())
        previous = static_cast<unsigned char>(part.back());
      continue;
    }
    if (offset > 0)
      previous = static_cast<unsigned char>(part[offset - 1]);
    for (; offset < part.size(); ++offset) {
      if (taken == 8) {
        width = kGoesOn;
        return key;
      }
      const auto c = static_cast<unsigned char>(part[offset]);
      key = (key << 8) | Fold(previous, c);
      previous = c;
      ++taken;
    }
    offset = 0;
  }
  width = static_cast<std::uint8_t>(taken);
  return taken == 0 ? 0 : key << (8 * (8 - taken));
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
  // Held beside the position: a text sort looks each entry up again per eight bytes.
  const TCacheItem* Item;
  int Position;
  std::uint8_t Width; // of the text in Key, see TextChunk
};

// Sorts keyed, whose keys are the first eight bytes of each text, by the whole texts: runs of
// equal keys are keyed again with their next eight bytes, run by run, until the texts differ or
// end. Entries of equal text keep their list order. Each entry is keyed once per eight bytes it
// shares with another, so long common prefixes (every URL starts "http://www.") cost no more than
// their length; a work list rather than recursion bounds the stack whatever the texts.
template <typename TTextOf>
void SortTexts(std::vector<TKeyed>& keyed, bool descending, const TTextOf& textOf) {
  const auto before = [descending](const TKeyed& a, const TKeyed& b) {
    if (a.Key != b.Key)
      return descending ? a.Key > b.Key : a.Key < b.Key;
    if (a.Width != b.Width)
      return descending ? a.Width > b.Width : a.Width < b.Width;
    return a.Position < b.Position;
  };
  struct TRun {
    std::size_t Begin, End, Offset;
  };
  std::vector<TRun> runs{{0, keyed.size(), 0}};
  while (!runs.empty()) {
    const TRun run = runs.back();
    runs.pop_back();
    if (run.End - run.Begin < 2)
      continue;
    const auto first = keyed.begin() + static_cast<std::ptrdiff_t>(run.Begin);
    const auto last = keyed.begin() + static_cast<std::ptrdiff_t>(run.End);
    if (run.Offset > 0)
      for (auto it = first; it != last; ++it)
        it->Key = TextChunk(textOf(*it->Item), run.Offset, it->Width);
    // Bytes that every text of the run shares need no sort, only the next key.
    const bool shared = std::all_of(first, last, [&first](const TKeyed& e) {
      return e.Key == first->Key && e.Width == kGoesOn;
    });
    if (shared) {
      runs.push_back({run.Begin, run.End, run.Offset + 8});
      continue;
    }
    std::sort(first, last, before);
    for (std::size_t i = run.Begin; i < run.End;) {
      std::size_t j = i + 1;
      while (j < run.End && keyed[j].Key == keyed[i].Key && keyed[j].Width == keyed[i].Width)
        ++j;
      if (j - i > 1 && keyed[i].Width == kGoesOn)
        runs.push_back({i, j, run.Offset + 8});
      i = j;
    }
  }
}

// Whether a date cell can contain the folded filter at all. A date's text is made of digits,
// the separators, the pictures' own letters and quoted text, "?!", the zero text and, where a
// picture names months, days or AM/PM, those names; a filter with any other byte cannot match a
// date, and the dates, the costly cells to build, are left out.
bool DatesMayMatch(std::string_view folded, const TFormatSettings& settings,
                   std::string_view zeroText) {
  std::array<bool, 256> allowed{};
  const auto allow = [&allowed](std::string_view text) {
    for (const char c : FoldCase(text))
      allowed[static_cast<unsigned char>(c)] = true;
  };
  allow("0123456789 ?!");
  allow({&settings.DateSeparator, 1});
  allow({&settings.TimeSeparator, 1});
  allow(zeroText);
  // "c" is the short date and the long time; their tokens may call in the other pictures.
  std::string pictures = settings.ShortDateFormat + " " + settings.LongTimeFormat;
  std::string lower;
  for (int round = 0; round < 2; ++round) {
    lower = FoldCase(pictures);
    if (lower.find("dddddd") != std::string::npos)
      pictures += settings.LongDateFormat;
    if (lower.find('t') != std::string::npos)
      pictures += settings.ShortTimeFormat + settings.LongTimeFormat;
  }
  lower = FoldCase(pictures);
  allow(pictures);
  if (lower.find("mmm") != std::string::npos || lower.find("ddd") != std::string::npos ||
      lower.find('a') != std::string::npos) {
    for (const auto* names : {&settings.ShortMonthNames, &settings.LongMonthNames})
      for (const std::string& name : *names)
        allow(name);
    for (const auto* names : {&settings.ShortDayNames, &settings.LongDayNames})
      for (const std::string& name : *names)
        allow(name);
    allow(settings.TimeAMString);
    allow(settings.TimePMString);
  }
  return std::all_of(folded.begin(), folded.end(),
                     [&allowed](char c) { return allowed[static_cast<unsigned char>(c)]; });
}

class TFilter {
public:
  TFilter(TCacheType kind, std::string_view filter, const TFormatSettings& settings)
      : kind_(kind), filter_(FoldCase(filter)), settings_(settings),
        columns_(static_cast<int>(EntryColumns(kind).size())),
        dates_(DatesMayMatch(filter_, settings, DateZeroText(kind))) {}

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
        if (!dates_)
          continue;
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
  bool dates_;
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
  const auto textOf = [kind, column](const TCacheItem& item) {
    return TextPieces(kind, item, column);
  };
  for (const int position : positions) {
    const TCacheItem& item = list.Items(position);
    TKeyed entry{0, &item, position, 0};
    switch (type) {
    case TKeyType::Text:
      entry.Key = TextChunk(textOf(item), 0, entry.Width);
      break;
    case TKeyType::Date:
      entry.Key = DateKey(DateOf(kind, item, column));
      break;
    case TKeyType::Number:
      entry.Key = item.AccessBits;
      break;
    }
    keyed.push_back(entry);
  }
  if (type == TKeyType::Text) {
    SortTexts(keyed, order.Descending, textOf);
  } else {
    const bool descending = order.Descending;
    // The position breaks every tie, so the unstable sort gives the stable order.
    std::sort(keyed.begin(), keyed.end(), [descending](const TKeyed& a, const TKeyed& b) {
      if (a.Key != b.Key)
        return descending ? a.Key > b.Key : a.Key < b.Key;
      return a.Position < b.Position;
    });
  }
  for (std::size_t i = 0; i < keyed.size(); ++i)
    positions[i] = keyed[i].Position;
  return positions;
}

} // namespace quillon
