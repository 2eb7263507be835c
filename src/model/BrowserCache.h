#pragma once
// The one entry record that every kind of browsing data is held in, and the owning list of such
// records that each profile keeps per kind.

#include "model/DateUtils.h"
#include "model/ItemText.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The five kinds of browsing data. The ordinal is also the bit number in a set of kinds.
enum TCacheType : std::uint8_t { ctCache, ctCookies, ctHistory, ctPages, ctBookmarks };
constexpr int kCacheTypeCount = 5;

class TCacheList;

// One entry. The meaning of the generic fields depends on the kind and on the store that filled
// it; a new entry has the defaults below.
class TCacheItem {
public:
  TCacheItem() = default;
  // Entries are held by address (lists hand out references, cleaners keep pointers while other
  // entries go), so they are never copied implicitly; Assign copies the data fields.
  TCacheItem(const TCacheItem&) = delete;
  TCacheItem& operator=(const TCacheItem&) = delete;

  // The list that holds the entry; null for an entry made outside a list.
  TCacheList* Owner = nullptr;
  TItemText Content;
  TItemText CacheFile;
  TDateTime Expires = 0;
  TItemText Host;
  TDateTime LastAccess = 0;
  TItemText Name;
  TItemText Path;
  TItemText Plaintext;
  bool ServerSecure = false;
  std::int32_t Tag = 0;
  bool ToBeDeleted = false;
  std::uint8_t AccessBits = 32; // registry view an IE start page was read from
  std::int64_t DatabaseID = 0;

  // Copies the data fields. The marks of a clean (ToBeDeleted), the registry view and the SQLite
  // row id belong to the entry's own store and stay. Owner stays as well: it is the list that
  // holds this entry and computes its position, not a value.
  void Assign(const TCacheItem& source);

  // Position in the owning list, -1 outside a list. Constant time.
  int Index() const;

  // Content, or the class name when there is none.
  std::string DisplayName() const;

private:
  friend class TCacheList;
  // Kept apart from the public Owner so that nothing written there can break Index.
  const TCacheList* list_ = nullptr;
  std::size_t slot_ = 0; // position in the list's storage, see TCacheList
};

// An ordered list that owns its entries. Entries keep their addresses for as long as they are in
// the list.
//
// Cleaners walk a list from the end and delete as they go. The storage is therefore a gap buffer:
// deleted slots form one gap that follows the deletions, so a delete only moves the entries
// between the previous deletion and this one, and each entry's position stays computable in
// constant time from its slot and the gap.
class TCacheList {
public:
  TCacheList() = default;
  ~TCacheList() = default;
  // Entries point back at their list.
  TCacheList(const TCacheList&) = delete;
  TCacheList& operator=(const TCacheList&) = delete;

  // A new entry with the defaults, appended at the end.
  TCacheItem& Add();
  int Count() const { return static_cast<int>(slots_.size() - gapSize_); }
  // index 0 .. Count()-1; anything else throws std::out_of_range.
  TCacheItem& Items(int index);
  const TCacheItem& Items(int index) const;
  TCacheItem& operator[](int index) { return Items(index); }
  const TCacheItem& operator[](int index) const { return Items(index); }
  // Destroys the entry at index; the entries behind it move up by one.
  void Delete(int index);
  void Clear();

  // The first entry whose Name and Host equal the given texts byte for byte, or null.
  TCacheItem* FindEntry(std::string_view name, std::string_view host);
  // The first entry whose Path equals the given text byte for byte, or null.
  TCacheItem* FindEntryByPath(std::string_view path);

private:
  friend class TCacheItem;
  std::size_t Physical(std::size_t index) const {
    return index < gapStart_ ? index : index + gapSize_;
  }
  int LogicalOf(std::size_t slot) const {
    return static_cast<int>(slot < gapStart_ ? slot : slot - gapSize_);
  }
  std::size_t CheckedPhysical(int index) const;
  void MoveGapTo(std::size_t index);

  // The entries live in blocks that grow with the list up to 1,024 entries (a profile's first
  // read makes hundreds of thousands; one allocation each, or a deque's blocks of four, cost more
  // than reading them). A deleted entry is reset to the defaults and waits in retired_ for the
  // next Add; Clear gives the blocks back.
  std::vector<std::unique_ptr<TCacheItem[]>> blocks_;
  std::size_t lastBlockSize_ = 0;
  std::size_t lastBlockUsed_ = 0;
  std::vector<TCacheItem*> retired_;
  // Slots [gapStart_, gapStart_ + gapSize_) are empty; all others hold an entry.
  std::vector<TCacheItem*> slots_;
  std::size_t gapStart_ = 0;
  std::size_t gapSize_ = 0;
};

} // namespace quillon
