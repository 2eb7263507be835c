#pragma once
// What the five entry lists show: their columns and the text of every cell. The main window's
// lists and `quillon-cli show` print exactly these texts.

#include "model/BrowserCache.h"
#include "model/DateFormat.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class TColumnAlign : std::uint8_t { Left, Right };

struct TEntryColumn {
  std::string_view Caption;
  int Width; // pixels; 0 for a column that takes the room the others leave
  TColumnAlign Align;
};

// The columns of the list of one kind, in order.
std::span<const TEntryColumn> EntryColumns(TCacheType kind);

// The caption of the tab that shows the list of one kind ("Cache" … "Bookmarks").
std::string_view EntryListCaption(TCacheType kind);

// What an empty list of one kind says in place of rows ("No cookies.").
std::string_view EmptyListText(TCacheType kind);

// The text of one cell; empty for a column the kind does not have. Dates show in format "c";
// an absent date (0) as an empty cell, in the history list as "?"; a date that has no calendar
// form as "?!".
std::string EntryCellText(TCacheType kind, const TCacheItem& item, int column,
                          const TFormatSettings& settings = FormatSettings());

// All cells of one row, one per column.
std::vector<std::string> EntryRowTexts(TCacheType kind, const TCacheItem& item,
                                       const TFormatSettings& settings = FormatSettings());

} // namespace quillon
