#include "helpers/BrowserHelper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;

namespace {

void FillEveryList(TProfileStores& p) {
  for (TCacheList& list : p.Lists) {
    list.Add().Name = "a";
    list.Add().Name = "b";
  }
}

// Writes down which kinds reached it, per operation.
class TKindJournal : public TBrowserHelperCustom {
public:
  std::vector<std::string> seen;

private:
  TActionOutcome ReadKind(TProfileStores&, const THelperContext&, TCacheType kind) override {
    return Note("read", kind);
  }
  TActionOutcome CleanKind(TProfileStores&, const THelperContext&, TCacheType kind) override {
    return Note("clean", kind);
  }
  TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType kind) override {
    return Note("purge", kind);
  }
  TActionOutcome Note(const std::string& what, TCacheType kind) {
    seen.push_back(what + " " + std::string(KindText(kind)));
    TActionOutcome outcome;
    outcome.Ask(what == "read" ? TStoreAccess::Read : TStoreAccess::Change, kind);
    return outcome;
  }
};

} // namespace

TEST(AskRule, WithoutARuleTheOperationsOwnAnswerHoldsWithTheOfferedText) {
  const TCleanDecision pages = AskRule({}, ctPages, nullptr, "about:blank", true);
  EXPECT_TRUE(pages.Remove);
  EXPECT_EQ(pages.Content, "about:blank");
  EXPECT_FALSE(AskRule({}, ctCookies, nullptr, "x", false).Remove);
}

TEST(AskRule, TheRulesDecisionCountsEvenWhereTheOperationWouldTakeEverything) {
  TCacheList list;
  TCacheItem& entry = list.Add();
  std::vector<std::string> seen;
  const TCleanRule rule = [&](TCacheType kind, TCacheItem* item, std::string offered) {
    seen.push_back(std::to_string(kind) + " " + offered + (item == &entry ? " entry" : ""));
    return TCleanDecision{false, "http://changed/"};
  };
  const TCleanDecision decision = AskRule(rule, ctPages, &entry, "about:blank", true);
  EXPECT_FALSE(decision.Remove);
  EXPECT_EQ(decision.Content, "http://changed/");
  EXPECT_EQ(seen, std::vector<std::string>{"3 about:blank entry"});
}

// The kinds reach the helper one by one in kind order; kinds outside the set and bits that
// stand for no kind reach it not at all.
TEST(TBrowserHelperCustom, EachOperationVisitsTheKindsOfItsSetInKindOrder) {
  struct TCase {
    TCacheKinds kinds;
    std::vector<std::string> seen;
  };
  const std::vector<TCase> cases = {
      {{}, {}},
      {TCacheKinds::FromBits(32 | 64 | 128), {}},
      {{ctBookmarks, ctCookies},
       {"clean cookies", "clean bookmarks", "purge cookies", "purge bookmarks"}},
      {TCacheKinds::FromBits(255) - TCacheKinds{ctHistory, ctPages},
       {"clean cache", "clean cookies", "clean bookmarks", "purge cache", "purge cookies",
        "purge bookmarks"}},
  };
  for (const TCase& c : cases) {
    TKindJournal helper;
    TProfileStores stores;
    const TActionOutcome clean = helper.Clean(stores, {}, c.kinds);
    helper.Purge(stores, {}, c.kinds);
    EXPECT_EQ(helper.seen, c.seen) << int(c.kinds.ToBits());
    for (int k = 0; k < kCacheTypeCount; ++k) {
      const auto kind = static_cast<TCacheType>(k);
      EXPECT_EQ(clean.Of(TStoreAccess::Change, kind).Result,
                c.kinds.Contains(kind) ? TKindResult::Done : TKindResult::NotAsked);
    }
  }
}

TEST(TBrowserHelperCustom, ARefreshOfOneKindReplacesOnlyThatList) {
  TKindJournal helper;
  TProfileStores stores;
  FillEveryList(stores);
  helper.Refresh(stores, {}, ctHistory);
  EXPECT_EQ(helper.seen, std::vector<std::string>{"read history"});
  for (int k = 0; k < kCacheTypeCount; ++k)
    EXPECT_EQ(stores.Lists[k].Count(), k == ctHistory ? 0 : 2) << k;
}

TEST(BrowserHelpers, OneInstanceOfEachClassInItsPlace) {
  CreateBrowserHelpers();
  EXPECT_NE(dynamic_cast<TBrowserHelperNetscape*>(&BrowserHelper(THelperKind::Netscape)), nullptr);
  EXPECT_EQ(dynamic_cast<TBrowserHelperMozilla*>(&BrowserHelper(THelperKind::Netscape)), nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperMozilla*>(&BrowserHelper(THelperKind::Mozilla)), nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperOpera*>(&BrowserHelper(THelperKind::Opera)), nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperIECurrent*>(&BrowserHelper(THelperKind::IECurrent)),
            nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperIERegistry*>(&BrowserHelper(THelperKind::IERegistry)),
            nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperChrome*>(&BrowserHelper(THelperKind::Chrome)), nullptr);
  TBrowserHelperCustom* first = &BrowserHelper(THelperKind::Chrome);
  CreateBrowserHelpers();
  EXPECT_EQ(&BrowserHelper(THelperKind::Chrome), first);
}

TEST(BrowserHelpers, ASubstituteServesForItsScopeOnly) {
  TBrowserHelperCustom* original = &BrowserHelper(THelperKind::Opera);
  TBrowserHelperChrome stand;
  {
    TBrowserHelperSubstitute substitute(THelperKind::Opera, stand);
    EXPECT_EQ(&BrowserHelper(THelperKind::Opera), &stand);
    EXPECT_NE(&BrowserHelper(THelperKind::Chrome), &stand);
  }
  EXPECT_EQ(&BrowserHelper(THelperKind::Opera), original);
}

TEST(BrowserHelpers, EveryFullRefreshStartsFromEmptyLists) {
  for (const THelperKind kind :
       {THelperKind::Netscape, THelperKind::Mozilla, THelperKind::Opera, THelperKind::IECurrent,
        THelperKind::IERegistry, THelperKind::Chrome}) {
    TProfileStores p;
    FillEveryList(p);
    BrowserHelper(kind).RefreshAll(p, {});
    for (const TCacheList& list : p.Lists)
      EXPECT_EQ(list.Count(), 0) << static_cast<int>(kind);
  }
}
