#include "discovery/ActionPreview.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// Stores that are lists of names, by kind. A clean asks the rule about the profile's own list
// entries, from the last to the first, and drops the store lines of those it accepts, as the
// real cleaners do; a purge empties the store.
class TNameStoreHelper : public TBrowserHelperCustom {
public:
  std::map<TCacheType, std::vector<std::string>> stores;
  bool throwOnClean = false;

private:
  TActionOutcome ReadKind(TProfileStores& profile, const THelperContext&,
                          TCacheType kind) override {
    for (const std::string& name : stores[kind]) {
      TCacheItem& item = profile.GetList(kind).Add();
      item.Host = name;
      item.Name = name;
    }
    return {};
  }
  TActionOutcome CleanKind(TProfileStores& profile, const THelperContext& context,
                           TCacheType kind) override {
    if (throwOnClean)
      throw std::runtime_error("store is locked");
    TCacheList& list = profile.GetList(kind);
    std::vector<std::string>& store = stores[kind];
    for (int i = list.Count() - 1; i >= 0; --i)
      if (AskRule(context.Rule, kind, &list[i], list[i].Host, false).Remove)
        store.erase(store.begin() + i);
    return {};
  }
  TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType kind) override {
    stores[kind].clear();
    return {};
  }
};

// The rule of these tests: an entry goes when its name starts with "ad".
void AdRule(TBrowserProfile&, TCacheType, TCacheItem* item, bool& doclean, std::string&) {
  doclean = item != nullptr && item->Name.str().rfind("ad", 0) == 0;
}

class ActionPreviewTest : public ::testing::Test {
protected:
  ActionPreviewTest() : manager_(TFamilyMask{}) {}

  TBrowserProfile& Open(TBrowserType type, std::map<TCacheType, std::vector<std::string>> stores) {
    helper_.stores = std::move(stores);
    TBrowserProfile& profile = manager_.Profiles().Add();
    profile.SetBrowserType(type);
    profile.OnValidateCacheEntry = AdRule;
    profile.Refresh();
    enabled_ = ProfileView(profile, AllActionsEnabled()).Enabled;
    return profile;
  }
  std::vector<std::string> Names(TCacheType kind) const { return helper_.stores.at(kind); }

  TNameStoreHelper helper_;
  TBrowserHelperSubstitute mozilla_{THelperKind::Mozilla, helper_};
  TBrowserHelperSubstitute netscape_{THelperKind::Netscape, helper_};
  TBrowserManager manager_;
  TActionStates enabled_{};
};

struct TKindSeen {
  TCacheType kind;
  int count;
  std::vector<int> entries;
  bool operator==(const TKindSeen&) const = default;
};

std::vector<TKindSeen> Seen(const TActionPreview& preview) {
  std::vector<TKindSeen> seen;
  for (const TKindPreview& kind : preview.Kinds)
    seen.push_back({kind.Kind, kind.Count, kind.Entries});
  return seen;
}

} // namespace

// Which kinds a preview names and which entries it lists, against a Firefox profile (cache not
// cleanable) and a Netscape 4 profile, whose "Clean all" cleans the cookies although "Clean
// cookies" is not offered.
TEST_F(ActionPreviewTest, ListsExactlyTheEntriesTheRuleAcceptsInTheKindsTheActionChanges) {
  const struct {
    TBrowserType type;
    TMainAction action;
    std::vector<TKindSeen> expected;
  } cases[] = {
      {bFirefox, aCleanCookies, {{ctCookies, 2, {0, 2}}}},
      // History's clean is not offered, but "Clean all" hands it over with the rest.
      {bFirefox,
       aCleanAll,
       {{ctCookies, 2, {0, 2}}, {ctHistory, 1, {0}}, {ctPages, 0, {}}, {ctBookmarks, 1, {1}}}},
      {bNetscape4,
       aCleanAll,
       {{ctCache, 0, {}},
        {ctCookies, 2, {0, 2}},
        {ctHistory, 1, {0}},
        {ctPages, 0, {}},
        {ctBookmarks, 1, {1}}}},
      {bFirefox,
       aPurgeAll,
       {{ctCache, 0, {}},
        {ctCookies, 3, {}},
        {ctHistory, 1, {}},
        {ctPages, 0, {}},
        {ctBookmarks, 2, {}}}},
      {bFirefox, aPurgeHistory, {{ctHistory, 1, {}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ActionCaption(c.action));
    TBrowserProfile& profile = Open(c.type, {{ctCookies, {"ads.example", "example.org", "adnet"}},
                                             {ctHistory, {"adventure.example"}},
                                             {ctBookmarks, {"news", "adclick"}}});
    EXPECT_EQ(Seen(PreviewAction(profile, c.action, enabled_)), c.expected);
  }
}

TEST_F(ActionPreviewTest, RowsRunThroughTheKindsInOrderAndRemovalDropsRepeatsAndStrays) {
  TBrowserProfile& profile =
      Open(bFirefox, {{ctCookies, {"ads", "x", "adnet"}}, {ctBookmarks, {"adclick"}}});
  const TActionPreview preview = PreviewAction(profile, aCleanAll, enabled_);
  ASSERT_EQ(PreviewRowCount(preview), 3);
  const std::vector<std::pair<TCacheType, int>> rows = {
      {ctCookies, 0}, {ctCookies, 2}, {ctBookmarks, 0}, {ctCache, -1}};
  for (int row = 0; row < 4; ++row) {
    const TPreviewRow at = PreviewRowAt(preview, row);
    EXPECT_EQ(std::make_pair(at.Kind, at.Entry), rows[static_cast<std::size_t>(row)]) << row;
  }
  const TActionPreview removal = PreviewRemoval(profile, ctCookies, {2, -1, 0, 2, 3});
  EXPECT_EQ(Seen(removal), (std::vector<TKindSeen>{{ctCookies, 2, {0, 2}}}));
}

// Two entries with the same text: the one picked goes, its twin stays.
TEST_F(ActionPreviewTest, RemoveEntriesTakesExactlyThePickedEntriesAndPutsTheRuleBack) {
  Open(bFirefox, {{ctCookies, {"same", "keep", "same", "ads"}}});
  std::vector<TCacheKinds> changed;
  const TActionOutcome outcome = RemoveEntries(
      manager_, ctCookies, {2, 1}, enabled_, [&](TCacheKinds kinds) { changed.push_back(kinds); });
  EXPECT_FALSE(outcome.Failed(TStoreAccess::Change));
  EXPECT_EQ(Names(ctCookies), (std::vector<std::string>{"same", "ads"}));
  // The clean's refresh followed and the list shows the store.
  EXPECT_EQ(manager_.ActiveProfile()->GetList(ctCookies).Count(), 2);
  EXPECT_EQ(changed, std::vector<TCacheKinds>{TCacheKinds{ctCookies}});

  // The profile's own rule is back: a clean takes what it accepts.
  manager_.ActiveProfile()->Clean(TCacheKinds{ctCookies});
  EXPECT_EQ(Names(ctCookies), std::vector<std::string>{"same"});
}

TEST_F(ActionPreviewTest, RemoveEntriesDoesNothingWhileTheCleanIsNotOfferedAndSurvivesAThrow) {
  TBrowserProfile& profile = Open(bFirefox, {{ctCache, {"c1"}}, {ctCookies, {"a", "b"}}});
  // Firefox lists no cache and does not clean it.
  profile.GetList(ctCache).Add().Name = "c1";
  RemoveEntries(manager_, ctCache, {0}, enabled_, nullptr);
  EXPECT_EQ(Names(ctCache), std::vector<std::string>{"c1"});

  helper_.throwOnClean = true;
  EXPECT_THROW(RemoveEntries(manager_, ctCookies, {0}, enabled_, nullptr), std::runtime_error);
  helper_.throwOnClean = false;
  TCacheItem item;
  item.Name = "adx";
  bool doclean = false;
  std::string content;
  ASSERT_TRUE(profile.OnValidateCacheEntry);
  profile.OnValidateCacheEntry(profile, ctCookies, &item, doclean, content);
  EXPECT_TRUE(doclean) << "the rule of the profile is not back after the throw";
}
