#pragma once
// What a store may cost. A reader holds a text store in memory together with what it makes of
// it, so two bounds apply:
//
// - Size: a file far larger than any browser writes is refused from its size, before a byte is
//   read. The limits sit far above real stores (a cookies.txt of 100,000 cookies is about 10 MB,
//   a prefs.js with many add-ons 1 MB, a profiles.ini a few KB, a long-used Mork history a few
//   hundred MB).
// - Memory: no store of S bytes may take more than 4 x S + 64 MB while it is read and listed,
//   its own bytes included. An entry costs the same few hundred bytes however short its line, so
//   a file of the shortest entries would take twenty to three hundred times its size. A reader
//   therefore adds up what the entries of a store would take before it makes them, and refuses
//   a store that would take more than its budget.

#include "model/BrowserCache.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

constexpr std::uint64_t kCookiesTxtLimit = 256 * kMiB;
constexpr std::uint64_t kBookmarksHtmlLimit = 256 * kMiB;
constexpr std::uint64_t kPrefsJsLimit = 256 * kMiB;
// profiles.ini keeps about 100 bytes per profile. Its parsed form takes up to 23 times the file
// (measured, sections of the shortest names), so 2 MB (some 20,000 profiles) keeps every shape
// within the memory budget without counting entries.
constexpr std::uint64_t kIniFileLimit = 2 * kMiB;
// Mork histories grow with every visit and are only trimmed by expiry; a few hundred MB are seen
// in long-used profiles.
constexpr std::uint64_t kMorkLimit = 1024 * kMiB;
// A browser's registry.dat lists a handful of profiles in a few KB.
constexpr std::uint64_t kNetscapeRegistryLimit = 16 * kMiB;
// Opera's cookie file holds a few MB even for 100,000 cookies; its cache index grows with the
// cache, some hundred bytes per cached document.
constexpr std::uint64_t kO4CookiesLimit = 256 * kMiB;
constexpr std::uint64_t kO4CacheLimit = 256 * kMiB;

// The memory a store of fileSize bytes may take while it is read and listed.
constexpr std::uint64_t StoreMemoryBudget(std::uint64_t fileSize) {
  return 4 * fileSize + 64 * kMiB;
}

// What a heap block for bytes bytes takes: the allocator adds an 8-byte header, rounds up to 16
// and hands out no block under 32.
constexpr std::uint64_t AllocationCost(std::uint64_t bytes) {
  return std::max<std::uint64_t>(32, (bytes + 8 + 15) / 16 * 16);
}

// What the text of a std::string of that many bytes takes besides the string itself: nothing up
// to 15 bytes (they are kept inside it), else a heap block of at least 30 bytes and the
// terminating zero (a string outgrowing its inner room doubles it).
constexpr std::uint64_t StringHeapCost(std::uint64_t bytes) {
  return bytes < 16 ? 0 : AllocationCost(std::max<std::uint64_t>(bytes, 30) + 1);
}

// What a text field of an entry (TItemText) of that many bytes takes besides the field itself:
// nothing when empty, else its bytes, a 4-byte header and a zero; from 4 KB on a heap block of
// its own with a larger header.
constexpr std::uint64_t ItemTextCost(std::uint64_t bytes) {
  return bytes == 0 ? 0 : bytes < 4096 ? bytes + 5 : AllocationCost(bytes + 13);
}

// What an entry in a TCacheList takes besides its texts: the record (112 bytes), and its share of
// the list's slots, which grow by doubling (bench/HostileStoresBench.cpp measures it).
constexpr std::uint64_t kListedEntryCost = sizeof(TCacheItem) + 40;

// Raised for a store larger than its limit, or one whose entries would take more memory than
// the store may; the message says which file, how large, and why it was not read.
class EFileTooLarge : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// "2.0 GB", "300 MB", "12 KB", "512 bytes".
std::string SizeText(std::uint64_t bytes);

// Raises EFileTooLarge when the file at path is larger than limit: "bookmarks.html is 2.0 GB,
// more than the 256 MB a bookmark file can have; not read". what names the kind of store ("a
// bookmark file"). A file whose size cannot be found is left to the read that follows.
void CheckStoreSize(const std::string& path, std::uint64_t limit, std::string_view what);

// Raises EFileTooLarge when cost, the memory the reader would take for the file of fileSize
// bytes (its copy of the file, its work and the entries), is more than StoreMemoryBudget:
// "cookies.txt holds 1198373 cookies in 16 MB; listed they would take 520 MB of memory, more
// than the 128 MB a file of that size may use; not read". entries names what the file holds.
void CheckStoreMemory(const std::string& path, std::uint64_t fileSize, std::uint64_t cost,
                      std::uint64_t entries, std::string_view what);

// The file name at the end of a path, for messages.
std::string_view StoreFileName(std::string_view path);

} // namespace quillon
