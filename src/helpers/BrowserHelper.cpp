#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"
#include "helpers/StoreOperations.h"

#include <array>

namespace quillon {

bool AskValidator(const TOnValidateCacheEntry& validate, TBrowserProfile& profile, TCacheType typ,
                  TCacheItem* item, std::string& newcontent, bool acceptWithoutValidator) {
  if (!validate)
    return acceptWithoutValidator;
  bool doclean = false;
  validate(profile, typ, item, doclean, newcontent);
  return doclean;
}

// The store readers and cleaners of each family join these bodies as they are built; until
// then a helper only empties the lists on a refresh, changes no store and reports nothing.

// Netscape and Mozilla: MozillaHelper.cpp; Chrome: ChromeHelper.cpp.

// --- Opera ---
TActionOutcome TBrowserHelperOpera::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  return {};
}
TActionOutcome TBrowserHelperOpera::RefreshHistory(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperOpera::RefreshPages(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperOpera::RefreshBookmarks(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperOpera::RefreshCookies(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperOpera::RefreshCache(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperOpera::Clean(TBrowserProfile&, TCacheKinds,
                                          const TOnValidateCacheEntry&) {
  return {};
}
TActionOutcome TBrowserHelperOpera::Purge(TBrowserProfile&, TCacheKinds) {
  return {};
}

// --- IECurrent ---
TActionOutcome TBrowserHelperIECurrent::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  return {};
}
TActionOutcome TBrowserHelperIECurrent::RefreshHistory(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIECurrent::RefreshPages(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIECurrent::RefreshBookmarks(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIECurrent::RefreshCookies(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIECurrent::RefreshCache(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIECurrent::Clean(TBrowserProfile&, TCacheKinds,
                                              const TOnValidateCacheEntry&) {
  return {};
}
TActionOutcome TBrowserHelperIECurrent::Purge(TBrowserProfile&, TCacheKinds) {
  return {};
}

// --- IERegistry ---
TActionOutcome TBrowserHelperIERegistry::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  return {};
}
TActionOutcome TBrowserHelperIERegistry::RefreshHistory(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIERegistry::RefreshPages(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIERegistry::RefreshBookmarks(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIERegistry::RefreshCookies(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIERegistry::RefreshCache(TBrowserProfile&) {
  return {};
}
TActionOutcome TBrowserHelperIERegistry::Clean(TBrowserProfile&, TCacheKinds,
                                               const TOnValidateCacheEntry&) {
  return {};
}
TActionOutcome TBrowserHelperIERegistry::Purge(TBrowserProfile&, TCacheKinds) {
  return {};
}

// --- The six instances ---

namespace {

constexpr std::size_t kHelperCount = 6;

struct THelperInstances {
  std::array<std::unique_ptr<TBrowserHelperCustom>, kHelperCount> owned;
  // What the accessors hand out: the owned instances, or a substitute in a test.
  std::array<TBrowserHelperCustom*, kHelperCount> active{};
};

THelperInstances& Instances() {
  static THelperInstances instances;
  return instances;
}

TBrowserHelperCustom& Active(THelperKind kind) {
  CreateBrowserHelpers();
  return *Instances().active[static_cast<std::size_t>(kind)];
}

} // namespace

void CreateBrowserHelpers() {
  THelperInstances& instances = Instances();
  if (instances.owned[0])
    return;
  instances.owned = {
      std::make_unique<TBrowserHelperNetscape>(),   std::make_unique<TBrowserHelperMozilla>(),
      std::make_unique<TBrowserHelperOpera>(),      std::make_unique<TBrowserHelperIECurrent>(),
      std::make_unique<TBrowserHelperIERegistry>(), std::make_unique<TBrowserHelperChrome>()};
  for (std::size_t i = 0; i < kHelperCount; ++i)
    instances.active[i] = instances.owned[i].get();
}

TBrowserHelperCustom& BrowserHelperNetscape() {
  return Active(THelperKind::Netscape);
}
TBrowserHelperCustom& BrowserHelperMozilla() {
  return Active(THelperKind::Mozilla);
}
TBrowserHelperCustom& BrowserHelperOpera() {
  return Active(THelperKind::Opera);
}
TBrowserHelperCustom& BrowserHelperIECurrent() {
  return Active(THelperKind::IECurrent);
}
TBrowserHelperCustom& BrowserHelperIERegistry() {
  return Active(THelperKind::IERegistry);
}
TBrowserHelperCustom& BrowserHelperChrome() {
  return Active(THelperKind::Chrome);
}

TBrowserHelperSubstitute::TBrowserHelperSubstitute(THelperKind kind,
                                                   TBrowserHelperCustom& substitute)
    : kind_(kind), previous_(&Active(kind)) {
  Instances().active[static_cast<std::size_t>(kind)] = &substitute;
}

TBrowserHelperSubstitute::~TBrowserHelperSubstitute() {
  Instances().active[static_cast<std::size_t>(kind_)] = previous_;
}

} // namespace quillon
