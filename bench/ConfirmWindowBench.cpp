// The confirmation before "Clean all" on a profile of a million cache entries, all of which the
// clean rule accepts: making the preview (one question to the rule per entry), and showing the
// dialog until its first rows are painted (offscreen). The dialog must cost the rows it shows,
// not the million it lists. Also the removal of a million selected entries: the clean's rule
// asked once per entry against the set of picked ones.

#include "discovery/ActionPreview.h"
#include "discovery/CleanRule.h"
#include "ui/UIDlgConfirm.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace quillon;

// A profile of entries cache entries and a thousand cookies, with the window's rule.
TBrowserProfile& Profile(int entries) {
  static std::unique_ptr<TBrowserProfile> profile;
  if (!profile) {
    profile = std::make_unique<TBrowserProfile>();
    profile->SetBrowserType(bOpera);
    profile->OnValidateCacheEntry = ValidateCacheEntry;
    TCacheList& cache = profile->GetList(ctCache);
    for (int i = 0; i < entries; ++i) {
      TCacheItem& item = cache.Add();
      item.Host = "http://site" + std::to_string(i % 5000) + ".example/";
      item.Path = "img/" + std::to_string(i) + ".png";
      item.LastAccess = 40000.5 + i % 1000;
    }
    TCacheList& cookies = profile->GetList(ctCookies);
    for (int i = 0; i < 1000; ++i)
      cookies.Add().Host = i % 10 == 0 ? ".advertising.com" : ".example.org";
  }
  return *profile;
}

void BM_PreviewCleanAll(benchmark::State& state) {
  TBrowserProfile& profile = Profile(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(PreviewAction(profile, aCleanAll, AllActionsEnabled()).Kinds.size());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PreviewCleanAll)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_ConfirmDialogShowsPreview(benchmark::State& state) {
  TBrowserProfile& profile = Profile(static_cast<int>(state.range(0)));
  const TActionPreview preview = PreviewAction(profile, aCleanAll, AllActionsEnabled());
  for (auto _ : state) {
    TdlgConfirm dialog(profile, preview);
    dialog.show();
    dialog.repaint(); // the visible rows are asked for their texts here
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ConfirmDialogShowsPreview)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Every entry picked; the clean asks the rule about each. The profile's helper is replaced by
// one that only asks, so that the figure is the rule's, not a store's.
class TAskingHelper : public TBrowserHelperCustom {
  TActionOutcome CleanKind(TProfileStores& stores, const THelperContext& context,
                           TCacheType kind) override {
    TCacheList& list = stores.GetList(kind);
    int accepted = 0;
    for (int i = 0; i < list.Count(); ++i)
      accepted += AskRule(context.Rule, kind, &list[i], "", false).Remove;
    benchmark::DoNotOptimize(accepted);
    return {};
  }
};

void BM_RemoveEveryEntry(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  TAskingHelper helper;
  const TBrowserHelperSubstitute opera(THelperKind::Opera, helper);
  TBrowserManager manager(TFamilyMask{});
  TBrowserProfile& profile = manager.Profiles().Add();
  profile.SetBrowserType(bOpera);
  for (int i = 0; i < entries; ++i)
    profile.GetList(ctCache).Add().Host = "http://site.example/" + std::to_string(i);
  std::vector<int> all(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i)
    all[static_cast<std::size_t>(i)] = i;
  TActionStates enabled = AllActionsEnabled();
  // The follow-up refresh would read the real stores; only the clean is measured.
  enabled[aRefreshCache] = false;
  for (auto _ : state)
    RemoveEntries(manager, ctCache, all, enabled, nullptr);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RemoveEveryEntry)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace

#include "GuiBenchMain.h"
