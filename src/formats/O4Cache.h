#pragma once
// Opera's cache index, dcache4.url in the profile's cache folder: one record per cached
// document (address, cache file name, HTTP data, links), in the tagged records of O4Stream.h.
// Read whole, then entries may be deleted and the index saved. An index read and saved unchanged
// is byte-identical; a save after deletions drops exactly the deleted records.

#include "formats/O4Stream.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class TO4CacheEntry;
class TO4CacheRoot;

class TO4HTTPRecord : public TO4Stream {
public:
  explicit TO4HTTPRecord(TO4CacheEntry* entry) : entry_(entry) {}
  std::string Tag15;         // the viewer's "Value"
  std::uint32_t Expires = 0; // seconds since 1970 (UTC)
  std::string Tag17, Tag18, Tag19, Tag1A, Tag1B;
  std::uint32_t Tag1C = 0;
  std::string Tag1D;
  std::uint32_t Tag1E = 0;
  std::string Tag1F, Tag20, Tag21;
  std::uint32_t Tag25 = 0, Tag26 = 0;
  bool FlagB0 = false, FlagB1 = false;
  TO4CacheEntry* Entry() const { return entry_; }

private:
  TO4CacheEntry* entry_;
};

class TO4RelativeLink : public TO4Stream {
public:
  explicit TO4RelativeLink(TO4CacheEntry* entry) : entry_(entry) {}
  std::string Tag23;
  std::uint32_t Tag24 = 0;
  TO4CacheEntry* Entry() const { return entry_; }

private:
  TO4CacheEntry* entry_;
};

class TO4CacheEntry : public TO4Stream {
public:
  explicit TO4CacheEntry(TO4CacheRoot* root) : HTTPRecord(this), root_(root) {}
  TO4CacheEntry(const TO4CacheEntry&) = delete;
  TO4CacheEntry& operator=(const TO4CacheEntry&) = delete;

  std::string Url;
  std::uint32_t Tag04 = 0;
  bool Flag8B = false;
  std::uint32_t Tag05 = 0; // seconds since 1970 (UTC): when the document was last used
  std::uint32_t Tag07 = 0, Tag08 = 0;
  std::string Tag0A, Tag09;
  bool Flag8C = false;
  std::string FileName; // the cache file's name inside the cache folder, as the index has it
  bool Flag8F = false;
  std::uint32_t Tag27 = 0;
  // Every entry has one; empty when the index had none for the entry.
  TO4HTTPRecord HTTPRecord;

  std::span<const std::unique_ptr<TO4RelativeLink>> Links() const { return links_; }
  TO4RelativeLink& AddLink();
  TO4CacheRoot* Root() const { return root_; }

private:
  friend class TO4CacheRoot;
  std::vector<std::unique_ptr<TO4RelativeLink>> links_;
  TO4CacheRoot* root_;
  // Its place among the runs of the index it was read from; none when built in memory.
  std::size_t slot_ = static_cast<std::size_t>(-1);
};

class TO4CacheRoot : public TO4Stream {
public:
  // An empty index of format 0, for writers that build a file.
  TO4CacheRoot();
  ~TO4CacheRoot() override;
  TO4CacheRoot(const TO4CacheRoot&) = delete;
  TO4CacheRoot& operator=(const TO4CacheRoot&) = delete;
  // Reads the index. A file that cannot be opened raises EFOpenError; one too large for the
  // memory a store may take raises EFileTooLarge. Bad content never raises: an unknown header
  // gives no entries, damage ends the load (LoadStop says where and why).
  explicit TO4CacheRoot(const std::string& fileName);
  static std::unique_ptr<TO4CacheRoot> FromBytes(std::string_view bytes);

  int Format = 0;
  bool Valid = false; // the header was recognised
  TO4LoadStop LoadStop;

  std::span<const std::unique_ptr<TO4CacheEntry>> Entries() const { return entries_; }
  int EntryCount() const { return static_cast<int>(entries_.size()); }
  TO4CacheEntry& AddEntry();
  void DeleteEntry(int index);
  // Takes every entry for which remove answers true out of the index and frees it, in one pass
  // however many there are (deleting them one by one from the front moves the rest each time);
  // returns how many.
  int DeleteEntriesIf(const std::function<bool(const TO4CacheEntry&)>& remove);

  std::string SaveToBytes() const;
  // Replaces the file with SaveToBytes (written beside it, then renamed over it); raises
  // EFCreateError when it cannot.
  void SaveToFile(const std::string& fileName) const;

private:
  void Load(std::string bytes, std::string_view fileName);
  bool ReadEntry(TO4CacheEntry& entry, const TO4Field& record);
  void Stop(std::uint64_t offset, std::string reason);
  void WriteLaidOutEntry(std::string& out, const TO4CacheEntry& entry) const;

  std::vector<std::unique_ptr<TO4CacheEntry>> entries_;
  // For an index read from a file: its runs in file order (see TO4Part), which point into its
  // bytes; empty for one built in memory.
  std::vector<TO4Part> parts_;
  std::string bytes_;
};

} // namespace quillon
