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
// then a helper only empties the lists on a refresh and changes no store.

// Netscape and Mozilla: MozillaHelper.cpp; Chrome: ChromeHelper.cpp.

// --- Opera ---
void TBrowserHelperOpera::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
}
void TBrowserHelperOpera::RefreshHistory(TBrowserProfile&) {}
void TBrowserHelperOpera::RefreshPages(TBrowserProfile&) {}
void TBrowserHelperOpera::RefreshBookmarks(TBrowserProfile&) {}
void TBrowserHelperOpera::RefreshCookies(TBrowserProfile&) {}
void TBrowserHelperOpera::RefreshCache(TBrowserProfile&) {}
void TBrowserHelperOpera::Clean(TBrowserProfile&, TCacheKinds, const TOnValidateCacheEntry&) {}
void TBrowserHelperOpera::Purge(TBrowserProfile&, TCacheKinds) {}

// --- IECurrent ---
void TBrowserHelperIECurrent::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
}
void TBrowserHelperIECurrent::RefreshHistory(TBrowserProfile&) {}
void TBrowserHelperIECurrent::RefreshPages(TBrowserProfile&) {}
void TBrowserHelperIECurrent::RefreshBookmarks(TBrowserProfile&) {}
void TBrowserHelperIECurrent::RefreshCookies(TBrowserProfile&) {}
void TBrowserHelperIECurrent::RefreshCache(TBrowserProfile&) {}
void TBrowserHelperIECurrent::Clean(TBrowserProfile&, TCacheKinds, const TOnValidateCacheEntry&) {}
void TBrowserHelperIECurrent::Purge(TBrowserProfile&, TCacheKinds) {}

// --- IERegistry ---
void TBrowserHelperIERegistry::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
}
void TBrowserHelperIERegistry::RefreshHistory(TBrowserProfile&) {}
void TBrowserHelperIERegistry::RefreshPages(TBrowserProfile&) {}
void TBrowserHelperIERegistry::RefreshBookmarks(TBrowserProfile&) {}
void TBrowserHelperIERegistry::RefreshCookies(TBrowserProfile&) {}
void TBrowserHelperIERegistry::RefreshCache(TBrowserProfile&) {}
void TBrowserHelperIERegistry::Clean(TBrowserProfile&, TCacheKinds, const TOnValidateCacheEntry&) {}
void TBrowserHelperIERegistry::Purge(TBrowserProfile&, TCacheKinds) {}

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
