#pragma once
// The helpers: one stateless object per browser family that fills a profile's five entry lists
// from the browser's stores, cleans the single entries a rule accepts, and purges whole kinds.
// Each works kind by kind on a profile's stores and a context; exactly one instance of each
// exists.

#include "model/ActionOutcome.h"
#include "model/BrowserCache.h"
#include "model/ProfileStores.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace quillon {

// What a clean rule answers about one entry: whether it goes and, for a start page, the value
// the page is set to instead.
struct TCleanDecision {
  bool Remove = false;
  std::string Content;
};

// Asked about each entry of a clean. item may be null. offered is the operation's text for the
// entry: a description (a cookie's Host followed by Path, a bookmark's Path "\" Name) or, for a
// start page, the value it would set ("about:blank").
using TCleanRule =
    std::function<TCleanDecision(TCacheType kind, TCacheItem* item, std::string offered)>;

// One question of a clean. Without a rule the operation's own answer holds, removeWithoutRule
// (start pages and favourites take everything, which is how a purge resets them), with offered
// as the content.
TCleanDecision AskRule(const TCleanRule& rule, TCacheType kind, TCacheItem* item,
                       std::string offered, bool removeWithoutRule);

// What a helper needs besides the profile's stores.
struct THelperContext {
  // Lines of the list file naming registry locations of Internet Explorer start pages.
  std::span<const std::string> IEPageLocations{};
  // The rule a clean asks about each entry; empty when none is set.
  TCleanRule Rule{};
  // The profile's name. Internet Explorer reads the running user's URL cache only for the
  // profile that bears that user's logon name.
  std::string ProfileName{};
};

// What a helper does to the kinds of one call.
enum class THelperOperation : std::uint8_t { Read, Clean, Purge };

class TBrowserHelperCustom {
public:
  TBrowserHelperCustom() = default;
  virtual ~TBrowserHelperCustom() = default;
  TBrowserHelperCustom(const TBrowserHelperCustom&) = delete;
  TBrowserHelperCustom& operator=(const TBrowserHelperCustom&) = delete;

  // Every operation answers what it met per kind (TStoreAccess::Read for a refresh, Change for
  // clean and purge). The layers below report a failure by a false result with GetLastError
  // set, or by an exception whose message says what went wrong; the operation catches it and
  // records it as the kind's reason, so no failure passes unreported and none escapes. A store
  // that does not exist is no failure: there is nothing to read or remove. A kind the family
  // keeps no store of is not asked.

  // Empties all five lists, then reads every kind.
  TActionOutcome RefreshAll(TProfileStores& stores, const THelperContext& context);
  // Replaces the kind's list with what its store holds.
  TActionOutcome Refresh(TProfileStores& stores, const THelperContext& context, TCacheType kind);
  // Removes, kind by kind in KindOrder, the entries the context's rule accepts.
  TActionOutcome Clean(TProfileStores& stores, const THelperContext& context, TCacheKinds kinds);
  // Removes the kinds as a whole, kind by kind in KindOrder.
  TActionOutcome Purge(TProfileStores& stores, const THelperContext& context, TCacheKinds kinds);

protected:
  using TKindOrder = std::array<TCacheType, kCacheTypeCount>;
  // The order the kinds of one operation are visited in, where one kind's store depends on
  // another's; kind order unless a family says otherwise.
  virtual TKindOrder KindOrder() const {
    return {ctCache, ctCookies, ctHistory, ctPages, ctBookmarks};
  }

  // Runs one operation over the kinds of kinds (a read finds their lists empty): kind by kind
  // in KindOrder. A family that keeps several kinds in one store overrides it to visit that
  // store once for all of them.
  virtual TActionOutcome ForKinds(THelperOperation operation, TProfileStores& stores,
                                  const THelperContext& context, TCacheKinds kinds);

private:
  // One kind each; a family that keeps no store of the kind leaves these as they are.
  virtual TActionOutcome ReadKind(TProfileStores&, const THelperContext&, TCacheType) { return {}; }
  virtual TActionOutcome CleanKind(TProfileStores&, const THelperContext&, TCacheType) {
    return {};
  }
  virtual TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType) {
    return {};
  }

  using TKindOperation = TActionOutcome (TBrowserHelperCustom::*)(TProfileStores&,
                                                                  const THelperContext&,
                                                                  TCacheType);
  // Runs operation on the kinds of kinds in KindOrder and adds up what each met.
  TActionOutcome EachKind(TCacheKinds kinds, TKindOperation operation, TProfileStores& stores,
                          const THelperContext& context);
};

// Netscape 4.x.
class TBrowserHelperNetscape : public TBrowserHelperCustom {
protected:
  TActionOutcome ReadKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome CleanKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType) override;
};

// The Mozilla family; start pages, bookmarks, cookies and cache are kept as Netscape keeps them
// until the SQLite generation (VersionTag 3) moves cookies and bookmarks into databases.
class TBrowserHelperMozilla : public TBrowserHelperNetscape {
private:
  TActionOutcome ReadKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome CleanKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType) override;
};

class TBrowserHelperChrome : public TBrowserHelperCustom {
private:
  TKindOrder KindOrder() const override;
  TActionOutcome ReadKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome CleanKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType) override;
};

// Opera 4 to 12: global.dat, the ini file's start page, the hotlist, cookies4.dat and the
// Cache4 folder's index.
class TBrowserHelperOpera : public TBrowserHelperCustom {
private:
  TActionOutcome ReadKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome CleanKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType) override;
};

// What both Internet Explorer helpers read and change outside the URL cache: start pages from
// the registry and favourites from the favourites folder.
class TBrowserHelperIEPages : public TBrowserHelperCustom {
private:
  TActionOutcome ReadKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome CleanKind(TProfileStores&, const THelperContext&, TCacheType) override;
  TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType) override;
};

// Internet Explorer of the user running the program: cache, cookies and history from the URL
// cache, which is reachable only for that user (and so only for the profile without a
// ProfileLocation), besides start pages and favourites.
class TBrowserHelperIECurrent : public TBrowserHelperIEPages {
protected:
  TActionOutcome ForKinds(THelperOperation operation, TProfileStores& stores,
                          const THelperContext& context, TCacheKinds kinds) override;
};

// Internet Explorer of any user, through that user's registry hive and folders. It reads the
// URL cache only for the profile named as the running user; it cleans and purges start pages
// and favourites only, so another user's profile never reaches the running user's URL cache.
class TBrowserHelperIERegistry : public TBrowserHelperIEPages {
protected:
  TActionOutcome ForKinds(THelperOperation operation, TProfileStores& stores,
                          const THelperContext& context, TCacheKinds kinds) override;
};

// --- The instances -------------------------------------------------------------------------

enum class THelperKind : std::uint8_t { Netscape, Mozilla, Opera, IECurrent, IERegistry, Chrome };

// Creates one instance of each helper, in THelperKind order. Start-up calls it before any window
// exists; they live until the process ends. BrowserHelper creates them as well if start-up has
// not, so no caller meets a missing helper.
void CreateBrowserHelpers();

TBrowserHelperCustom& BrowserHelper(THelperKind kind);

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
