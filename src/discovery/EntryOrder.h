#pragma once
// The order in which an entry list shows its entries: sorted by one column in either direction
// and narrowed to the entries that contain a filter text. The result is a permutation of list
// positions, so a list of a million entries is sorted without copying or moving an entry.
//
// Texts sort and match without regard to case: hosts, schemes and IE's "Cookie:user@" keys are
// case-insensitive, and a user looking for "example.org" means "Example.org" as well. Letters
// fold in ASCII and in the Latin-1 range of UTF-8 (the accented capitals of bookmark titles);
// every other byte sorts by its value, which for UTF-8 is the order of code points. Dates sort by
// their value, the absent date first and a date without calendar form last; numbers by value.

#include "model/BrowserCache.h"
#include "model/DateFormat.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct TEntryOrder {
  // The column to sort by; -1 keeps the list's own order.
  int Column = -1;
  bool Descending = false;
  // Shown are the entries with a cell that contains it (any case); empty shows all.
  std::string Filter;
};

// The positions 0 .. count-1 of list (count is clamped to the list) that pass the filter, in
// sort order. Entries with equal keys keep their list order in both directions.
std::vector<int> OrderEntries(TCacheType kind, const TCacheList& list, int count,
                              const TEntryOrder& order,
                              const TFormatSettings& settings = FormatSettings());

// text with its letters folded as the sort and the filter fold them.
std::string FoldCase(std::string_view text);

} // namespace quillon
