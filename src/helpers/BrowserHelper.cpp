#include "helpers/BrowserHelper.h"

#include <array>
#include <memory>

namespace quillon {

TCleanDecision AskRule(const TCleanRule& rule, TCacheType kind, TCacheItem* item,
                       std::string offered, bool removeWithoutRule) {
  if (!rule)
    return {removeWithoutRule, std::move(offered)};
  return rule(kind, item, std::move(offered));
}

TActionOutcome TBrowserHelperCustom::RefreshAll(TProfileStores& stores,
                                                const THelperContext& context) {
  stores.ClearLists();
  return ForKinds(THelperOperation::Read, stores, context, kAllCacheKinds);
}

TActionOutcome TBrowserHelperCustom::Refresh(TProfileStores& stores, const THelperContext& context,
                                             TCacheType kind) {
  stores.GetList(kind).Clear();
  return ForKinds(THelperOperation::Read, stores, context, TCacheKinds{kind});
}

TActionOutcome TBrowserHelperCustom::Clean(TProfileStores& stores, const THelperContext& context,
                                           TCacheKinds kinds) {
  return ForKinds(THelperOperation::Clean, stores, context, kinds);
}

TActionOutcome TBrowserHelperCustom::Purge(TProfileStores& stores, const THelperContext& context,
                                           TCacheKinds kinds) {
  return ForKinds(THelperOperation::Purge, stores, context, kinds);
}

TActionOutcome TBrowserHelperCustom::ForKinds(THelperOperation operation, TProfileStores& stores,
                                              const THelperContext& context, TCacheKinds kinds) {
  switch (operation) {
  case THelperOperation::Read:
    return EachKind(kinds, &TBrowserHelperCustom::ReadKind, stores, context);
  case THelperOperation::Clean:
    return EachKind(kinds, &TBrowserHelperCustom::CleanKind, stores, context);
  case THelperOperation::Purge:
    break;
  }
  return EachKind(kinds, &TBrowserHelperCustom::PurgeKind, stores, context);
}

TActionOutcome TBrowserHelperCustom::EachKind(TCacheKinds kinds, TKindOperation operation,
                                              TProfileStores& stores,
                                              const THelperContext& context) {
  TActionOutcome outcome;
  for (const TCacheType kind : KindOrder())
    if (kinds.Contains(kind))
      outcome.Merge((this->*operation)(stores, context, kind));
  return outcome;
}

// --- The instances ---

namespace {

constexpr std::size_t kHelperCount = 6;

struct THelperInstances {
  std::array<std::unique_ptr<TBrowserHelperCustom>, kHelperCount> owned;
  // What BrowserHelper hands out: the owned instances, or a substitute in a test.
  std::array<TBrowserHelperCustom*, kHelperCount> active{};
};

THelperInstances& Instances() {
  static THelperInstances instances;
  return instances;
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

TBrowserHelperCustom& BrowserHelper(THelperKind kind) {
  CreateBrowserHelpers();
  return *Instances().active[static_cast<std::size_t>(kind)];
}

TBrowserHelperSubstitute::TBrowserHelperSubstitute(THelperKind kind,
                                                   TBrowserHelperCustom& substitute)
    : kind_(kind), previous_(&BrowserHelper(kind)) {
  Instances().active[static_cast<std::size_t>(kind)] = &substitute;
}

TBrowserHelperSubstitute::~TBrowserHelperSubstitute() {
  Instances().active[static_cast<std::size_t>(kind_)] = previous_;
}

} // namespace quillon
