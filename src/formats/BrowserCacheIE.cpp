#include "formats/BrowserCacheIE.h"

#include "platform/UrlCacheWalk.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>
#include <stdexcept>

namespace quillon {

using namespace winapi;

namespace {

std::string_view TextOf(const char* text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

void FillItem(TIECacheItem& item, const INTERNET_CACHE_ENTRY_INFOA& entry) {
  item.CacheEntryType = entry.CacheEntryType;
  item.ExpireTime = FileTimeToDateTime(entry.ExpireTime);
  item.FileExtension = TextOf(entry.lpszFileExtension);
  item.HitRate = entry.dwHitRate;
  item.LastAccessTime = FileTimeToDateTime(entry.LastAccessTime);
  item.LastModifiedTime = FileTimeToDateTime(entry.LastModifiedTime);
  item.LastSyncTime = FileTimeToDateTime(entry.LastSyncTime);
  item.LocalFilename = TextOf(entry.lpszLocalFileName);
  item.Size = static_cast<std::int64_t>((std::uint64_t{entry.dwSizeHigh} << 32) | entry.dwSizeLow);
  item.SourceUrlName = TextOf(entry.lpszSourceUrlName);
  item.UseCount = entry.dwUseCount;
}

struct TTypeWord {
  std::uint32_t flag;
  std::string_view word;
};
// The order the words appear in, not the order of the bits.
constexpr std::array<TTypeWord, 9> kTypeWords = {{{COOKIE_CACHE_ENTRY, "Cookie"},
                                                  {URLHISTORY_CACHE_ENTRY, "History"},
                                                  {EDITED_CACHE_ENTRY, "Edited"},
                                                  {NORMAL_CACHE_ENTRY, "Normal"},
                                                  {SPARSE_CACHE_ENTRY, "Sparse"},
                                                  {STICKY_CACHE_ENTRY, "Sticky"},
                                                  {TRACK_OFFLINE_CACHE_ENTRY, "Offline"},
                                                  {TRACK_ONLINE_CACHE_ENTRY, "Online"},
                                                  {OCX_CACHE_ENTRY, "OCX"}}};

constexpr std::array<TIECacheColumn, kIECacheColumnCount> kColumns = {{
    {"Source Filename", 128, false, "source"},
    {"Local Filename", 128, false, "local"},
    {"Type", 50, false, "type"},
    {"Use #", 50, true, "use"},
    {"Hit rate", 50, true, "hits"},
    {"Size", 50, true, "size"},
    {"Last Modified", 128, false, "modified"},
    {"Expires", 128, false, "expires"},
    {"Last Access", 128, false, "access"},
    {"Last Sync", 128, false, "sync"},
    {"Extension", 50, false, "extension"},
}};

// The sort of each column, in the order of kColumns.
constexpr std::array<void (TIECacheList::*)(), kIECacheColumnCount> kColumnSorts = {
    &TIECacheList::SortBySourceUrlName,    &TIECacheList::SortByLocalFilename,
    &TIECacheList::SortByCacheEntryType,   &TIECacheList::SortByUseCount,
    &TIECacheList::SortByHitRate,          &TIECacheList::SortBySize,
    &TIECacheList::SortByLastModifiedTime, &TIECacheList::SortByExpireTime,
    &TIECacheList::SortByLastAccessTime,   &TIECacheList::SortByLastSyncTime,
    &TIECacheList::SortByFileExtension};

} // namespace

// --- TIECacheItem ----------------------------------------------------------------------------

int TIECacheItem::Index() const {
  if (collection_ == nullptr)
    return -1;
  const std::vector<TIECacheItem>& items = collection_->items_;
  // Compared as addresses of the whole object space: an entry outside the list is no item of it.
  const auto here = reinterpret_cast<std::uintptr_t>(this);
  const auto first = reinterpret_cast<std::uintptr_t>(items.data());
  if (items.empty() || here < first || here >= first + items.size() * sizeof(TIECacheItem))
    return -1;
  return static_cast<int>((here - first) / sizeof(TIECacheItem));
}

std::string TIECacheItem::DisplayName() const {
  return SourceUrlName.empty() ? std::string("TIECacheItem") : SourceUrlName.str();
}

// --- TIECacheList ----------------------------------------------------------------------------

void TIECacheList::LoadFromUrlCache() {
  Clear();
  loadError_ = ERROR_SUCCESS;
  DWORD failure = ERROR_SUCCESS;
  const DWORD walked = WalkUrlCache("", [this, &failure](const INTERNET_CACHE_ENTRY_INFOA& entry) {
    // Stopping the walk (rather than letting the exception pass it) closes the enumeration.
    try {
      TIECacheItem item(this);
      FillItem(item, entry);
      items_.push_back(std::move(item));
      return true;
    } catch (const std::bad_alloc&) {
      failure = ERROR_NOT_ENOUGH_MEMORY;
    } catch (const std::exception&) {
      failure = ERROR_INVALID_DATA;
    }
    return false;
  });
  loadError_ = failure != ERROR_SUCCESS ? failure : walked;
}

TIECacheItem& TIECacheList::Add() {
  return items_.emplace_back(this);
}

TIECacheItem& TIECacheList::Items(int index) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("TIECacheList index out of range");
  return items_[static_cast<std::size_t>(index)];
}

const TIECacheItem& TIECacheList::Items(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("TIECacheList index out of range");
  return items_[static_cast<std::size_t>(index)];
}

void TIECacheList::Clear() {
  std::vector<TIECacheItem>().swap(items_);
}

// Sorts positions rather than the entries themselves, which are large, then moves each entry once
// to its place, following the permutation's cycles: no second copy of the list.
template <class LessAt> void TIECacheList::SortPositions(LessAt lessAt) {
  std::vector<std::uint32_t> order(items_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), lessAt);
  for (std::uint32_t start = 0; start < order.size(); ++start) {
    if (order[start] == start)
      continue;
    TIECacheItem held = std::move(items_[start]);
    std::uint32_t to = start;
    while (order[to] != start) {
      const std::uint32_t from = order[to];
      items_[to] = std::move(items_[from]);
      order[to] = to;
      to = from;
    }
    items_[to] = std::move(held);
    order[to] = to;
  }
}

template <class Less> void TIECacheList::SortBy(Less less) {
  SortPositions([&](std::uint32_t a, std::uint32_t b) { return less(items_[a], items_[b]); });
}

// Dates compare by their difference in whole seconds, rounded half to even: dates less than half
// a second apart are equal. The cache keeps two-second steps, so that is equality in practice. The
// merge sort behind stable_sort stays within bounds even where this equality is not transitive.
template <class Field> void TIECacheList::SortByDate(Field field) {
  SortBy([field](const TIECacheItem& a, const TIECacheItem& b) {
    return std::nearbyint((a.*field - b.*field) * kSecsPerDay) < 0;
  });
}

// Texts compare as CompareString orders them ignoring case. Each text's sort key is made once, all
// in one buffer: a million entries take some twenty million comparisons, which then are bytewise
// compares of keys that lie side by side rather than calls that fold two scattered texts each.
template <class Field> void TIECacheList::SortByText(Field field) {
  constexpr DWORD kKeyFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  std::string keys, key;
  std::vector<std::size_t> keyStarts;
  keyStarts.reserve(items_.size() + 1);
  for (const TIECacheItem& item : items_) {
    const std::string_view text = (item.*field).view();
    keyStarts.push_back(keys.size());
    if (!text.empty() && LCMapString(LOCALE_USER_DEFAULT, kKeyFlags, text, key) == 0) {
      // A backend that makes no keys may still compare.
      SortBy([field](const TIECacheItem& a, const TIECacheItem& b) {
        return CompareString(LOCALE_USER_DEFAULT, NORM_IGNORECASE, (a.*field).view(),
                             (b.*field).view()) == CSTR_LESS_THAN;
      });
      return;
    }
    if (!text.empty())
      keys += key;
  }
  keyStarts.push_back(keys.size());
  const auto keyOf = [&](std::size_t i) {
    return std::string_view(keys).substr(keyStarts[i], keyStarts[i + 1] - keyStarts[i]);
  };
  SortPositions([&](std::uint32_t a, std::uint32_t b) { return keyOf(a) < keyOf(b); });
}

void TIECacheList::SortByCacheEntryType() {
  SortBy([](const TIECacheItem& a, const TIECacheItem& b) {
    return a.CacheEntryType < b.CacheEntryType;
  });
}
void TIECacheList::SortByHitRate() {
  SortBy([](const TIECacheItem& a, const TIECacheItem& b) { return a.HitRate < b.HitRate; });
}
void TIECacheList::SortBySize() {
  SortBy([](const TIECacheItem& a, const TIECacheItem& b) { return a.Size < b.Size; });
}
void TIECacheList::SortByUseCount() {
  SortBy([](const TIECacheItem& a, const TIECacheItem& b) { return a.UseCount < b.UseCount; });
}
void TIECacheList::SortByExpireTime() {
  SortByDate(&TIECacheItem::ExpireTime);
}
void TIECacheList::SortByLastAccessTime() {
  SortByDate(&TIECacheItem::LastAccessTime);
}
void TIECacheList::SortByLastModifiedTime() {
  SortByDate(&TIECacheItem::LastModifiedTime);
}
void TIECacheList::SortByLastSyncTime() {
  SortByDate(&TIECacheItem::LastSyncTime);
}
void TIECacheList::SortByFileExtension() {
  SortByText(&TIECacheItem::FileExtension);
}
void TIECacheList::SortByLocalFilename() {
  SortByText(&TIECacheItem::LocalFilename);
}
void TIECacheList::SortBySourceUrlName() {
  SortByText(&TIECacheItem::SourceUrlName);
}

void TIECacheList::SortByColumn(int column) {
  if (column >= 0 && column < kIECacheColumnCount)
    (this->*kColumnSorts[static_cast<std::size_t>(column)])();
}

// --- Texts -----------------------------------------------------------------------------------

std::string EntryTypeText(std::uint32_t cacheEntryType) {
  std::string text;
  std::uint32_t rest = cacheEntryType;
  for (const TTypeWord& t : kTypeWords)
    if ((rest & t.flag) != 0) {
      text += t.word;
      text += ',';
      rest &= ~t.flag;
    }
  if (rest != 0)
    text += std::to_string(rest);
  return text;
}

std::string IECacheLoadMessage(const TIECacheList& list) {
  if (list.LoadError() == ERROR_SUCCESS)
    return {};
  const int count = list.Count();
  return "The URL cache could not be read to the end (" + std::to_string(count) +
         (count == 1 ? " entry" : " entries") + " read): " + FormatMessage(list.LoadError());
}

const std::array<TIECacheColumn, kIECacheColumnCount>& IECacheColumns() {
  return kColumns;
}

int IECacheColumnByName(std::string_view name) {
  for (std::size_t c = 0; c < kColumns.size(); ++c)
    if (kColumns[c].Name == name)
      return static_cast<int>(c);
  return -1;
}

std::string IECacheCellText(const TIECacheItem& item, int column, const TFormatSettings& settings) {
  switch (column) {
  case 0:
    return item.SourceUrlName.str();
  case 1:
    return item.LocalFilename.str();
  case 2:
    return EntryTypeText(item.CacheEntryType);
  case 3:
    return std::to_string(item.UseCount);
  case 4:
    return std::to_string(item.HitRate);
  case 5:
    return std::to_string(item.Size);
  case 6:
    return DateCellText(item.LastModifiedTime, {}, settings);
  case 7:
    return DateCellText(item.ExpireTime, {}, settings);
  case 8:
    return DateCellText(item.LastAccessTime, {}, settings);
  case 9:
    return DateCellText(item.LastSyncTime, {}, settings);
  case 10:
    return item.FileExtension.str();
  default:
    return {};
  }
}

} // namespace quillon
