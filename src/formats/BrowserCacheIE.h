#pragma once
// The running user's Internet Explorer URL cache as a list of whole entries, for the cache viewer
// and `quillon-cli ie-cache`: every field the cache reports, one sort order per column and the
// texts of a row. The main window's IE lists do not use it; they keep only a few fields.

#include "model/DateFormat.h"
#include "model/DateUtils.h"
#include "model/ItemText.h"
#include "winapi/WinApi.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class TIECacheList;

// One entry of the cache, as the cache reported it. Dates are local times (0: absent); a text the
// cache did not give is empty.
class TIECacheItem {
public:
  explicit TIECacheItem(TIECacheList* collection = nullptr) : collection_(collection) {}

  // A million entries is a normal cache, so the fields are laid out without padding rather than
  // in alphabetical order.
  TDateTime ExpireTime = 0;
  TDateTime LastAccessTime = 0;
  TDateTime LastModifiedTime = 0;
  TDateTime LastSyncTime = 0;
  std::int64_t Size = 0;
  TItemText FileExtension;
  TItemText LocalFilename;
  TItemText SourceUrlName;
  std::uint32_t CacheEntryType = 0;
  std::uint32_t HitRate = 0;
  std::uint32_t UseCount = 0;

  // The list that made the entry (not owned); copied with the fields on assignment.
  TIECacheList* Collection() const { return collection_; }
  // Position in that list; -1 for an entry that is not (or no longer) one of its items.
  int Index() const;
  // SourceUrlName, or the class name when there is none.
  std::string DisplayName() const;

private:
  TIECacheList* collection_;
};

// The entries of one walk over the cache, in the cache's order until a sort reorders them.
class TIECacheList {
public:
  TIECacheList() = default;
  // Items point back at their list.
  TIECacheList(const TIECacheList&) = delete;
  TIECacheList& operator=(const TIECacheList&) = delete;

  // Replaces the items with one per entry of the cache, in the cache's order. Never raises: a walk
  // that ends early keeps the entries read before, and LoadError says why it ended.
  void LoadFromUrlCache();
  // ERROR_SUCCESS after a load that read the whole cache (or before any load); otherwise the error
  // that ended the last load.
  winapi::DWORD LoadError() const { return loadError_; }

  // A new empty entry at the end. The reference holds until the next Add, load or clear.
  TIECacheItem& Add();
  int Count() const { return static_cast<int>(items_.size()); }
  // index 0 .. Count()-1; anything else throws std::out_of_range.
  TIECacheItem& Items(int index);
  const TIECacheItem& Items(int index) const;
  void Clear();

  // Ascending sorts by one field. Equal entries keep their order, so sorting again by the same
  // field changes nothing. Numbers compare by value; dates less than half a second apart are
  // equal; texts compare as the user's locale orders them without regard to case.
  void SortByCacheEntryType();
  void SortByExpireTime();
  void SortByFileExtension();
  void SortByHitRate();
  void SortByLastAccessTime();
  void SortByLastModifiedTime();
  void SortByLastSyncTime();
  void SortByLocalFilename();
  void SortBySize();
  void SortBySourceUrlName();
  void SortByUseCount();
  // The sort of a column of the viewer (see IECacheColumns); nothing for any other column.
  void SortByColumn(int column);

private:
  friend class TIECacheItem;
  template <class LessAt> void SortPositions(LessAt lessAt);
  template <class Less> void SortBy(Less less);
  template <class Field> void SortByDate(Field field);
  template <class Field> void SortByText(Field field);

  std::vector<TIECacheItem> items_;
  winapi::DWORD loadError_ = winapi::ERROR_SUCCESS;
};

// The words of the flags a type word holds, each followed by a comma, then the value of any flags
// beyond the nine known ones in decimal: 0x5 gives "Normal,Sticky,", 0x100040 "Cookie,64".
std::string EntryTypeText(std::uint32_t cacheEntryType);

// What the front ends tell the user after a load that did not read the whole cache ("" after one
// that did): how many entries were read and the error that ended the walk.
std::string IECacheLoadMessage(const TIECacheList& list);

// The columns of the viewer and of `quillon-cli ie-cache`, in order.
struct TIECacheColumn {
  std::string_view Caption;
  int Width; // pixels at 96 dpi
  bool RightAligned;
  std::string_view Name; // as `ie-cache --sort` takes it
};
constexpr int kIECacheColumnCount = 11;
const std::array<TIECacheColumn, kIECacheColumnCount>& IECacheColumns();
// The column a name of IECacheColumns stands for; -1 for none.
int IECacheColumnByName(std::string_view name);

// The text of one cell of an entry's row: its URL, local file, type text, use count, hit rate,
// size, the four dates in format "c" (an absent date as an empty cell, one that has no calendar
// form as "?!") and its extension. Empty for a column outside 0 .. 10.
std::string IECacheCellText(const TIECacheItem& item, int column,
                            const TFormatSettings& settings = FormatSettings());

} // namespace quillon
