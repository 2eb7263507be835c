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
  // What clean and purge answer, and what the refresh answers.
  TActionOutcome changeOutcome;
  TActionOutcome readOutcome;

private:
  TActionOutcome ReadKind(TProfileStores&, const THelperContext&, TCacheType kind) override {
    // A full refresh reads every kind; it is written down once, at its last kind.
    if (kind == ctBookmarks)
      journal.push_back("refresh");
    return readOutcome;
  }
  TActionOutcome CleanKind(TProfileStores&, const THelperContext&, TCacheType kind) override {
    journal.push_back("clean " + std::string(KindText(kind)));
    return changeOutcome;
  }
  TActionOutcome PurgeKind(TProfileStores&, const THelperContext&, TCacheType kind) override {
    journal.push_back("purge " + std::string(KindText(kind)));
    return changeOutcome;
  }
};

using Lines = std::vector<std::string>;

std::vector<TMainAction> EnabledActions(const TActionStates& states) {
  std::vector<TMainAction> enabled;
  for (int a = 0; a < kMainActionCount; ++a)
    if (states[static_cast<std::size_t>(a)])
      enabled.push_back(static_cast<TMainAction>(a));
  return enabled;
}

class ExecuteMainActionTest : public ::testing::Test {
protected:
  ExecuteMainActionTest() : manager_(TFamilyMask{}) {}

  TBrowserProfile& AddProfile(TBrowserType type) {
    TBrowserProfile& profile = manager_.Profiles().Add();
    profile.SetBrowserType(type);
    return profile;
  }
  // Runs the action with the states a click on the current profile leaves.
  TActionOutcome Run(TMainAction action) {
    const TProfileView view = ProfileView(*manager_.ActiveProfile(), AllActionsEnabled());
    return ExecuteMainAction(manager_, action, view.Enabled,
                             [this](TCacheKinds kinds) { changed.push_back(kinds); });
  }

  TJournalHelper helper;
  TBrowserHelperSubstitute mozilla_{THelperKind::Mozilla, helper};
  TBrowserHelperSubstitute chrome_{THelperKind::Chrome, helper};
  TBrowserHelperSubstitute opera_{THelperKind::Opera, helper};
  TBrowserManager manager_;
  std::vector<TCacheKinds> changed;
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
  EXPECT_EQ(helper.journal, (Lines{"clean cookies", "refresh"}));
  EXPECT_EQ(changed, std::vector<TCacheKinds>{{ctCookies}});
  Run(aPurgeAll);
  EXPECT_EQ(helper.journal,
            (Lines{"clean cookies", "refresh", "purge cache", "purge cookies", "purge history",
                   "purge start pages", "purge bookmarks", "refresh"}));
  EXPECT_EQ(changed.back(), kAllCacheKinds);
}

TEST_F(ExecuteMainActionTest, PurgeCacheOfAMozillaProfileRunsWithoutItsDisabledRefresh) {
  AddProfile(bFirefox);
  Run(aPurgeCache);
  EXPECT_EQ(helper.journal, Lines{"purge cache"});
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

// An action answers what it could not change together with what its refresh could not read.
TEST_F(ExecuteMainActionTest, AnActionAnswersItsOwnAndItsRefreshsFailures) {
  AddProfile(bOpera);
  helper.changeOutcome.Fail(TStoreAccess::Change, ctCookies, "C:\\cookies4.dat", "in use");
  helper.readOutcome.Fail(TStoreAccess::Read, ctCache, "C:\\dcache4.url", "damaged");
  const TActionOutcome outcome = Run(aCleanAll);
  EXPECT_EQ(outcome.Of(TStoreAccess::Change, ctCookies).Reason, "in use");
  EXPECT_EQ(outcome.Of(TStoreAccess::Read, ctCache).Reason, "damaged");
  EXPECT_FALSE(outcome.Failed(TStoreAccess::Change, ctCache));
}

TEST(ActionCaption, MenusNameTheStartPagesHomeAndSearchPages) {
  EXPECT_EQ(ActionCaption(aRefreshPages), "Refresh home/search pages");
  EXPECT_EQ(ActionCaption(aPurgeAll), "Purge all");
  EXPECT_EQ(ActionCaption(MakeAction(TActionVerb::Clean, ctBookmarks)), "Clean bookmarks");
  EXPECT_EQ(FollowUpAction(aCleanAll), aRefreshAll);
  EXPECT_EQ(FollowUpAction(aPurgeHistory), aRefreshHistory);
  EXPECT_EQ(FollowUpAction(aRefreshCookies), std::nullopt);
}
