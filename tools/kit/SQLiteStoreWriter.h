#pragma once
// Image kit: writes the SQLite stores of Firefox 3 and of Chrome as those browsers created them
// (the schemas of 2008/2009), filled with the rows a test chooses.
//
//   cookies.sqlite  moz_cookies                   Firefox 3: expiry and lastAccessed in seconds
//                                                 since 1970 (lastAccessed in microseconds)
//   places.sqlite   moz_places, moz_bookmarks,    Firefox 3: a bookmark row points at its page
//                   moz_historyvisits, ...        through moz_bookmarks.fk = moz_places.id
//   Cookies         meta, cookies                 Chrome: times in microseconds since 1601
//   History         meta, urls, visits, starred,  Chrome: visits.url and starred.url_id point
//                   ...                           at urls.id
//
// Each writer replaces the file. Text columns left unset are written as NULL.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon::kit {

using TOptText = std::optional<std::string>;

struct TFirefoxCookieRow {
  std::int64_t Id = 0;
  TOptText Name, Value, Host, Path;
  std::int64_t Expiry = 0;       // seconds since 1970-01-01 UTC
  std::int64_t LastAccessed = 0; // microseconds since 1970-01-01 UTC
  bool IsSecure = false;
  bool IsHttpOnly = false;
};

struct TFirefoxPlaceRow {
  std::int64_t Id = 0;
  TOptText Url, Title;
  std::int64_t VisitCount = 0;
};

// type: 1 bookmark, 2 folder, 3 separator. A bookmark's Fk is its moz_places id.
struct TFirefoxBookmarkRow {
  std::int64_t Id = 0;
  std::int32_t Type = 1;
  std::optional<std::int64_t> Fk;
  std::int64_t Parent = 0;
  std::int32_t Position = 0;
  TOptText Title;
  std::int64_t DateAdded = 0; // microseconds since 1970
};

struct TFirefoxVisitRow {
  std::int64_t Id = 0;
  std::int64_t PlaceId = 0;
  std::int64_t VisitDate = 0; // microseconds since 1970
};

struct TChromeCookieRow {
  std::int64_t CreationUtc = 0; // microseconds since 1601-01-01 UTC; unique
  std::string HostKey, Name, Value, Path;
  std::int64_t ExpiresUtc = 0;
  bool Secure = false;
  bool HttpOnly = false;
  std::int64_t LastAccessUtc = 0;
};

struct TChromeUrlRow {
  std::int64_t Id = 0;
  TOptText Url, Title;
  std::int64_t VisitCount = 0;
  std::int64_t LastVisitTime = 0; // microseconds since 1601
};

struct TChromeVisitRow {
  std::int64_t Id = 0;
  std::int64_t Url = 0;       // urls.id
  std::int64_t VisitTime = 0; // microseconds since 1601
};

// type: 0 bookmark (url_id > 0), 1 bookmark bar, 2 other, 3 user group.
struct TChromeStarredRow {
  std::int64_t Id = 0;
  std::int32_t Type = 0;
  TOptText Title;
  std::int64_t ParentId = 0;
  std::int64_t DateAdded = 0;
  std::int64_t UrlId = 0;
  std::int64_t DateModified = 0; // microseconds since 1601
};

// The files are host paths.
void WriteFirefox3Cookies(const std::string& fileName, const std::vector<TFirefoxCookieRow>& rows);
void WriteFirefox3Places(const std::string& fileName, const std::vector<TFirefoxPlaceRow>& places,
                         const std::vector<TFirefoxBookmarkRow>& bookmarks,
                         const std::vector<TFirefoxVisitRow>& visits = {});
void WriteChromeCookies(const std::string& fileName, const std::vector<TChromeCookieRow>& rows);
void WriteChromeHistory(const std::string& fileName, const std::vector<TChromeUrlRow>& urls,
                        const std::vector<TChromeVisitRow>& visits,
                        const std::vector<TChromeStarredRow>& starred = {});

} // namespace quillon::kit
