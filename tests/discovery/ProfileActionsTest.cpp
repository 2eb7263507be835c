#include "discovery/ProfileActions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;

namespace {

// Writes down every operation that reaches the helper.
class TJournalHelper : public TBrowserHelperCustom {
public:
  std::vector<std::string> journal;
  void RefreshAll(TBrowserProfile&) override { journal.push_back("refresh"); }
  void RefreshHistory(TBrowserProfile&) override {}
  void RefreshPages(TBrowserProfile&) override {}
  void RefreshBookmarks(TBrowserProfile&) override {}
  void RefreshCookies(TBrowserProfile&) override {}
  void RefreshCache(TBrowserProfile&) override {}
  void Clean(TBrowserProfile&, TCacheKinds kinds, const TOnValidateCacheEntry&) override {
    journal.push_back("clean " + std::to_string(kinds));
  }
  void Purge(TBrowserProfile&, TCacheKinds kinds) override {
    journal.push_back("purge " + std::to_string(kinds));
  }
};

std::vector<TMainAction> EnabledActions(const TActionStates& states) {
  std::vector<TMainAction> enabled;
  for (int a = 0; a < kMainActionCount; ++a)
    if (states[static_cast<std::size_t>(a)])
      enabled.push_back(static_cast<TMainAction>(a));
  return enabled;
}

class ExecuteMainActionTest : public ::testing::Test {
protected:
  ExecuteMainActionTest() : manager_(0) {}

  TBrowserProfile& AddProfile(TBrowserType type) {
    TBrowserProfile& profile = manager_.Profiles().Add();
    profile.SetBrowserType(type);
    return profile;
  }
  // Runs the action with the states a click on the current profile leaves.
  void Run(TMainAction action) {
    const TProfileView view = ProfileView(*manager_.ActiveProfile(), AllActionsEnabled());
    ExecuteMainAction(manager_, action, view.Enabled,
                      [this](TCacheKinds kinds) { changed.push_back(kinds); });
  }

  TJournalHelper helper;
  TBrowserHelperSubstitute mozilla_{THelperKind::Mozilla, helper};
  TBrowserHelperSubstitute chrome_{THelperKind::Chrome, helper};
  TBrowserHelperSubstitute opera_{THelperKind::Opera, helper};
  TBrowserManager manager_;
  std::vector<int> changed;
};

} // namespace

TEST(ProfileView, ChromeHidesCacheAndStartPagesButKeepsTheStartPageCleanAndPurge) {
  TBrowserProfile chrome;
  chrome.SetBrowserType(bChrome);
  const TProfileView view = ProfileView(chrome, AllActionsEnabled());
  EXPECT_EQ(view.TabVisible, (std::array<bool, 5>{false, true, true, false, true}));
  const std::vector<TMainAction> expected = {
      aRefreshAll,   aRefreshCookies, aRefreshHistory, aRefreshBookmarks, aCleanAll,
      aCleanCookies, aCleanHistory,   aCleanPages,     aCleanBookmarks,   aPurgeAll,
      aPurgeCookies, aPurgeHistory,   aPurgePages,     aPurgeBookmarks};
  EXPECT_EQ(EnabledActions(view.Enabled), expected);
}

TEST(ProfileView, StartPageAndBookmarkCleansKeepTheStateTheyHad) {
  TBrowserProfile opera;
  opera.SetBrowserType(bOpera);
  TActionStates current = AllActionsEnabled();
  current[aCleanPages] = false;
  current[aPurgeBookmarks] = false;
  const TProfileView view = ProfileView(opera, current);
  EXPECT_FALSE(view.Enabled[aCleanPages]);
  EXPECT_FALSE(view.Enabled[aPurgeBookmarks]);
  EXPECT_TRUE(view.Enabled[aCleanCache]);
}

TEST(ProfileView, AnAllActionFollowsItsFiveKinds) {
  // A profile without any flag (only Thunderbird keeps such flags): nothing to read, yet the
  // start-page and bookmark cleans keep "Clean all" and "Purge all" alive while they are on.
  TBrowserProfile bare;
  bare.SetBrowserType(bThunderbird);
  TProfileView view = ProfileView(bare, AllActionsEnabled());
  EXPECT_EQ(view.TabVisible, (std::array<bool, 5>{}));
  EXPECT_FALSE(view.Enabled[aRefreshAll]);
  EXPECT_TRUE(view.Enabled[aCleanAll]);
  TActionStates off = AllActionsEnabled();
  for (const TMainAction a : {aCleanPages, aCleanBookmarks, aPurgePages, aPurgeBookmarks})
    off[a] = false;
  view = ProfileView(bare, off);
  EXPECT_FALSE(view.Enabled[aCleanAll]);
  EXPECT_FALSE(view.Enabled[aPurgeAll]);
}

TEST_F(ExecuteMainActionTest, ACleanIsFollowedByTheRefreshOfItsKind) {
  AddProfile(bOpera);
  Run(aCleanCookies);
  EXPECT_EQ(helper.journal, (std::vector<std::string>{"clean 2", "refresh"}));
  EXPECT_EQ(changed, (std::vector<int>{2}));
  Run(aPurgeAll);
  EXPECT_EQ(helper.journal.back(), "refresh");
  EXPECT_EQ(helper.journal[2], "purge 31");
  EXPECT_EQ(changed.back(), 31);
}

TEST_F(ExecuteMainActionTest, PurgeCacheOfAMozillaProfileRunsWithoutItsDisabledRefresh) {
  AddProfile(bFirefox);
  Run(aPurgeCache);
  EXPECT_EQ(helper.journal, (std::vector<std::string>{"purge 1"}));
  EXPECT_TRUE(changed.empty());
}

TEST_F(ExecuteMainActionTest, DisabledActionsAndAMissingProfileDoNothing) {
  AddProfile(bChrome);
  Run(aCleanCache);
  Run(aRefreshPages);
  EXPECT_TRUE(helper.journal.empty());
  manager_.ItemIndex = 5;
  ExecuteMainAction(manager_, aRefreshAll, AllActionsEnabled(), {});
  EXPECT_TRUE(helper.journal.empty());
}

TEST(ActionCaption, MenusNameTheStartPagesHomeAndSearchPages) {
  EXPECT_EQ(ActionCaption(aRefreshPages), "Refresh home/search pages");
  EXPECT_EQ(ActionCaption(aPurgeAll), "Purge all");
  EXPECT_EQ(ActionCaption(MakeAction(TActionVerb::Clean, ctBookmarks)), "Clean bookmarks");
  EXPECT_EQ(FollowUpAction(aCleanAll), aRefreshAll);
  EXPECT_EQ(FollowUpAction(aPurgeHistory), aRefreshHistory);
  EXPECT_EQ(FollowUpAction(aRefreshCookies), std::nullopt);
}
