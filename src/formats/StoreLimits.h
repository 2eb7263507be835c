#pragma once
// The largest store files that are read. A reader holds a text store in memory together with
// what it makes of it, so a file far larger than any browser writes is refused from its size,
// before a byte is read. The limits sit far above real stores (a cookies.txt of 100,000 cookies
// is about 10 MB, a prefs.js with many add-ons 1 MB, a profiles.ini a few KB, a long-used Mork
// history a few hundred MB) and keep the worst case of each reader within the memory a store may
// cost.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

constexpr std::uint64_t kCookiesTxtLimit = 256 * kMiB;
constexpr std::uint64_t kBookmarksHtmlLimit = 256 * kMiB;
constexpr std::uint64_t kPrefsJsLimit = 256 * kMiB;
// profiles.ini keeps about 100 bytes per profile; its parsed form costs up to 20 times the file
// for one-letter names, so 4 MB (some 40,000 profiles) keeps that within the memory budget.
constexpr std::uint64_t kIniFileLimit = 4 * kMiB;
// Mork histories grow with every visit and are only trimmed by expiry; a few hundred MB are seen
// in long-used profiles. The reader's peak stays near three times the file (measured 3.0).
constexpr std::uint64_t kMorkLimit = 1024 * kMiB;

// Raised for a store larger than its limit; the message says which file, how large, and why it
// was not read.
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

} // namespace quillon
