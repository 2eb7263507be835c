#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;

namespace {

std::vector<TCacheType> KindsIn(TCacheKinds kinds) {
  std::vector<TCacheType> out;
  for (const TCacheType ct : {ctCache, ctCookies, ctHistory, ctPages, ctBookmarks})
    if (KindsContain(kinds, ct))
      out.push_back(ct);
  return out;
}

void FillEveryList(TBrowserProfile& p) {
  for (TCacheList& list : p.Lists) {
    list.Add().Name = "a";
    list.Add().Name = "b";
  }
}

} // namespace

TEST(KindsContain, BitNStandsForOrdinalNAndHigherBitsMeanNothing) {
  using V = std::vector<TCacheType>;
  EXPECT_EQ(KindsIn(0), V{});
  EXPECT_EQ(KindsIn(32), V{});
  EXPECT_EQ(KindsIn(64 | 128), V{});
  EXPECT_EQ(KindsIn(2), V{ctCookies});
  EXPECT_EQ(KindsIn(8 | 16), (V{ctPages, ctBookmarks}));
  EXPECT_EQ(KindsIn(kAllCacheKinds), (V{ctCache, ctCookies, ctHistory, ctPages, ctBookmarks}));
  EXPECT_EQ(KindsIn(255), KindsIn(31));
}

TEST(AskValidator, WithoutAValidatorTheOperationsOwnRuleAnswers) {
  TBrowserProfile p;
  std::string content = "about:blank";
  EXPECT_TRUE(AskValidator({}, p, ctPages, nullptr, content, true));
  EXPECT_FALSE(AskValidator({}, p, ctCookies, nullptr, content, false));
  EXPECT_EQ(content, "about:blank");
}

TEST(AskValidator, TheValidatorSeesFalseAndItsAnswerAndTextCount) {
  TBrowserProfile profile;
  TCacheList list;
  TCacheItem& entry = list.Add();
  std::vector<std::string> seen;
  const TOnValidateCacheEntry validate = [&](TBrowserProfile& p, TCacheType typ, TCacheItem* item,
                                             bool& doclean, std::string& newcontent) {
    seen.push_back(std::string(doclean ? "preset true" : "preset false") + " " +
                   std::to_string(typ) + " " + newcontent + (&p == &profile ? " profile" : "") +
                   (item == &entry ? " entry" : ""));
    newcontent = "http://changed/";
    doclean = typ == ctPages;
  };
  std::string content = "http://example.com/";
  // Even where the operation would accept everything, the validator starts from false.
  EXPECT_TRUE(AskValidator(validate, profile, ctPages, &entry, content, true));
  EXPECT_EQ(content, "http://changed/");
  content = "x";
  EXPECT_FALSE(AskValidator(validate, profile, ctCookies, &entry, content, true));
  EXPECT_EQ(seen, (std::vector<std::string>{"preset false 3 http://example.com/ profile entry",
                                            "preset false 1 x profile entry"}));
}

TEST(BrowserHelpers, OneInstanceOfEachClassInItsPlace) {
  CreateBrowserHelpers();
  EXPECT_NE(dynamic_cast<TBrowserHelperNetscape*>(&BrowserHelperNetscape()), nullptr);
  EXPECT_EQ(dynamic_cast<TBrowserHelperMozilla*>(&BrowserHelperNetscape()), nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperMozilla*>(&BrowserHelperMozilla()), nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperOpera*>(&BrowserHelperOpera()), nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperIECurrent*>(&BrowserHelperIECurrent()), nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperIERegistry*>(&BrowserHelperIERegistry()), nullptr);
  EXPECT_NE(dynamic_cast<TBrowserHelperChrome*>(&BrowserHelperChrome()), nullptr);
  TBrowserHelperCustom* first = &BrowserHelperChrome();
  CreateBrowserHelpers();
  EXPECT_EQ(&BrowserHelperChrome(), first);
}

TEST(BrowserHelpers, ASubstituteServesForItsScopeOnly) {
  TBrowserHelperCustom* original = &BrowserHelperOpera();
  TBrowserHelperChrome stand;
  {
    TBrowserHelperSubstitute substitute(THelperKind::Opera, stand);
    EXPECT_EQ(&BrowserHelperOpera(), &stand);
    EXPECT_NE(&BrowserHelperChrome(), &stand);
  }
  EXPECT_EQ(&BrowserHelperOpera(), original);
}

TEST(BrowserHelpers, EveryFullRefreshStartsFromEmptyLists) {
  for (TBrowserHelperCustom* helper :
       {&BrowserHelperNetscape(), &BrowserHelperMozilla(), &BrowserHelperOpera(),
        &BrowserHelperIECurrent(), &BrowserHelperIERegistry(), &BrowserHelperChrome()}) {
    TBrowserProfileList profiles;
    TBrowserProfile& p = profiles.Add();
    FillEveryList(p);
    helper->RefreshAll(p);
    for (const TCacheList& list : p.Lists)
      EXPECT_EQ(list.Count(), 0) << typeid(*helper).name();
  }
}
