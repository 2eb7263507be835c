#pragma once
// The helpers: one stateless object per browser family that fills a profile's five entry lists
// from the browser's stores, cleans single entries a validation callback accepts, and purges
// whole kinds. Profiles pick their helper by browser type; exactly one instance of each exists.

#include "model/ActionOutcome.h"
#include "model/BrowserCache.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quillon {

class TBrowserProfile;

// A set of kinds in one byte: bit n stands for the kind with ordinal n (1 cache, 2 cookies,
// 4 history, 8 start pages, 16 bookmarks). Higher bits mean nothing.
using TCacheKinds = std::uint8_t;
constexpr TCacheKinds kAllCacheKinds = 31;

constexpr bool KindsContain(TCacheKinds kinds, TCacheType ct) {
  return ct <= ctBookmarks && ((kinds >> ct) & 1u) != 0;
}

// Asked about each entry of a clean. item may be null. doclean comes in preset by the operation
// and goes out as the answer; newcontent comes in as the operation's description or replacement
// text (a start page's new value) and may be changed.
using TOnValidateCacheEntry =
    std::function<void(TBrowserProfile& profile, TCacheType typ, TCacheItem* item, bool& doclean,
                       std::string& newcontent)>;

// One question of the clean protocol. With a validator, doclean starts false and the validator
// decides; without one the answer is the operation's own rule, acceptWithoutValidator (start
// pages and favourites take everything, which is how a purge resets them). newcontent must be
// preset by the caller and holds the validator's version afterwards.
bool AskValidator(const TOnValidateCacheEntry& validate, TBrowserProfile& profile, TCacheType typ,
                  TCacheItem* item, std::string& newcontent, bool acceptWithoutValidator);

class TBrowserHelperCustom {
public:
  TBrowserHelperCustom() = default;
  virtual ~TBrowserHelperCustom() = default;
  TBrowserHelperCustom(const TBrowserHelperCustom&) = delete;
  TBrowserHelperCustom& operator=(const TBrowserHelperCustom&) = delete;

  // Every operation answers what it met per kind (TStoreAccess::Read for the refreshes, Change
  // for clean and purge). The layers below report a failure by a false result with GetLastError
  // set, or by an exception whose message says what went wrong; the operation catches it and
  // records it as the kind's reason, so no failure passes unreported and none escapes. A store
  // that does not exist is no failure: there is nothing to read or remove.

  // Clears all five lists, then fills every kind the family keeps.
  virtual TActionOutcome RefreshAll(TBrowserProfile& profile) = 0;
  virtual TActionOutcome RefreshHistory(TBrowserProfile& profile) = 0;
  virtual TActionOutcome RefreshPages(TBrowserProfile& profile) = 0;
  virtual TActionOutcome RefreshBookmarks(TBrowserProfile& profile) = 0;
  virtual TActionOutcome RefreshCookies(TBrowserProfile& profile) = 0;
  virtual TActionOutcome RefreshCache(TBrowserProfile& profile) = 0;
  // Removes, kind by kind, the entries validate accepts.
  virtual TActionOutcome Clean(TBrowserProfile& profile, TCacheKinds kinds,
                               const TOnValidateCacheEntry& validate) = 0;
  // Removes the kinds as a whole.
  virtual TActionOutcome Purge(TBrowserProfile& profile, TCacheKinds kinds) = 0;
};

// Netscape 4.x.
class TBrowserHelperNetscape : public TBrowserHelperCustom {
public:
  TActionOutcome RefreshAll(TBrowserProfile& profile) override;
  TActionOutcome RefreshHistory(TBrowserProfile& profile) override;
  TActionOutcome RefreshPages(TBrowserProfile& profile) override;
  TActionOutcome RefreshBookmarks(TBrowserProfile& profile) override;
  TActionOutcome RefreshCookies(TBrowserProfile& profile) override;
  TActionOutcome RefreshCache(TBrowserProfile& profile) override;
  TActionOutcome Clean(TBrowserProfile& profile, TCacheKinds kinds,
                       const TOnValidateCacheEntry& validate) override;
  TActionOutcome Purge(TBrowserProfile& profile, TCacheKinds kinds) override;
};

// The Mozilla family; start pages, bookmarks, cookies and cache are read as Netscape keeps them.
class TBrowserHelperMozilla : public TBrowserHelperNetscape {
public:
  TActionOutcome RefreshAll(TBrowserProfile& profile) override;
  TActionOutcome RefreshHistory(TBrowserProfile& profile) override;
  TActionOutcome Clean(TBrowserProfile& profile, TCacheKinds kinds,
                       const TOnValidateCacheEntry& validate) override;
  TActionOutcome Purge(TBrowserProfile& profile, TCacheKinds kinds) override;
};

class TBrowserHelperOpera : public TBrowserHelperCustom {
public:
  TActionOutcome RefreshAll(TBrowserProfile& profile) override;
  TActionOutcome RefreshHistory(TBrowserProfile& profile) override;
  TActionOutcome RefreshPages(TBrowserProfile& profile) override;
  TActionOutcome RefreshBookmarks(TBrowserProfile& profile) override;
  TActionOutcome RefreshCookies(TBrowserProfile& profile) override;
  TActionOutcome RefreshCache(TBrowserProfile& profile) override;
  TActionOutcome Clean(TBrowserProfile& profile, TCacheKinds kinds,
                       const TOnValidateCacheEntry& validate) override;
  TActionOutcome Purge(TBrowserProfile& profile, TCacheKinds kinds) override;
};

// Internet Explorer of the user running the program: the URL cache is reachable only for them.
class TBrowserHelperIECurrent : public TBrowserHelperCustom {
public:
  TActionOutcome RefreshAll(TBrowserProfile& profile) override;
  TActionOutcome RefreshHistory(TBrowserProfile& profile) override;
  TActionOutcome RefreshPages(TBrowserProfile& profile) override;
  TActionOutcome RefreshBookmarks(TBrowserProfile& profile) override;
  TActionOutcome RefreshCookies(TBrowserProfile& profile) override;
  TActionOutcome RefreshCache(TBrowserProfile& profile) override;
  TActionOutcome Clean(TBrowserProfile& profile, TCacheKinds kinds,
                       const TOnValidateCacheEntry& validate) override;
  TActionOutcome Purge(TBrowserProfile& profile, TCacheKinds kinds) override;
};

// Internet Explorer of any user, through that user's registry hive and folders.
class TBrowserHelperIERegistry : public TBrowserHelperCustom {
public:
  TActionOutcome RefreshAll(TBrowserProfile& profile) override;
  TActionOutcome RefreshHistory(TBrowserProfile& profile) override;
  TActionOutcome RefreshPages(TBrowserProfile& profile) override;
  TActionOutcome RefreshBookmarks(TBrowserProfile& profile) override;
  TActionOutcome RefreshCookies(TBrowserProfile& profile) override;
  TActionOutcome RefreshCache(TBrowserProfile& profile) override;
  TActionOutcome Clean(TBrowserProfile& profile, TCacheKinds kinds,
                       const TOnValidateCacheEntry& validate) override;
  TActionOutcome Purge(TBrowserProfile& profile, TCacheKinds kinds) override;
};

class TBrowserHelperChrome : public TBrowserHelperCustom {
public:
  TActionOutcome RefreshAll(TBrowserProfile& profile) override;
  TActionOutcome RefreshHistory(TBrowserProfile& profile) override;
  TActionOutcome RefreshPages(TBrowserProfile& profile) override;
  TActionOutcome RefreshBookmarks(TBrowserProfile& profile) override;
  TActionOutcome RefreshCookies(TBrowserProfile& profile) override;
  TActionOutcome RefreshCache(TBrowserProfile& profile) override;
  TActionOutcome Clean(TBrowserProfile& profile, TCacheKinds kinds,
                       const TOnValidateCacheEntry& validate) override;
  TActionOutcome Purge(TBrowserProfile& profile, TCacheKinds kinds) override;
};

// --- The six instances ---------------------------------------------------------------------

// Creates the six instances in this order: Netscape, Mozilla, Opera, IECurrent, IERegistry,
// Chrome. Start-up calls it before any window exists; they live until the process ends. The
// accessors below create them as well if start-up has not, so no caller meets a missing helper.
void CreateBrowserHelpers();

TBrowserHelperCustom& BrowserHelperNetscape();
TBrowserHelperCustom& BrowserHelperMozilla();
TBrowserHelperCustom& BrowserHelperOpera();
TBrowserHelperCustom& BrowserHelperIECurrent();
TBrowserHelperCustom& BrowserHelperIERegistry();
TBrowserHelperCustom& BrowserHelperChrome();

enum class THelperKind : std::uint8_t { Netscape, Mozilla, Opera, IECurrent, IERegistry, Chrome };

// Puts another object in the place of one instance for the life of a scope and puts the
// instance back (tests observe dispatch and discovery with it). The substitute is not owned.
class TBrowserHelperSubstitute {
public:
  TBrowserHelperSubstitute(THelperKind kind, TBrowserHelperCustom& substitute);
  ~TBrowserHelperSubstitute();
  TBrowserHelperSubstitute(const TBrowserHelperSubstitute&) = delete;
  TBrowserHelperSubstitute& operator=(const TBrowserHelperSubstitute&) = delete;

private:
  THelperKind kind_;
  TBrowserHelperCustom* previous_;
};

} // namespace quillon
