#pragma once
// Profiles whose "stores" are plain vectors in the test, read and changed through a helper that
// stands in for all six instances, so that window tests see refreshes, cleans and purges act.

#include "discovery/BrowserManager.h"
#include "ui/FormUnitMain.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

struct TFakeEntry {
  TCacheType kind;
  std::string host;
  std::string path;
  std::string name;
  TDateTime lastAccess = 0;
  TDateTime expires = 0;
};

class TFakeStoreHelper : public TBrowserHelperCustom {
public:
  // The stores, by profile name.
  std::map<std::string, std::vector<TFakeEntry>> stores;
  int refreshes = 0;
  // Runs at the start of every clean; a test makes it throw.
  std::function<void()> beforeClean;
  // Kinds whose store a clean or purge cannot change, with the reason it gives.
  std::map<TCacheType, std::string> locked;

private:
  static const std::string& NameOf(TProfileStores& stores) {
    return static_cast<TBrowserProfile&>(stores).ProfileName;
  }
  TActionOutcome ReadKind(TProfileStores& profile, const THelperContext&,
                          TCacheType kind) override {
    // A full refresh starts with the cache; it is counted there.
    if (kind == ctCache)
      ++refreshes;
    for (const TFakeEntry& e : stores[NameOf(profile)]) {
      if (e.kind != kind)
        continue;
      TCacheItem& item = profile.GetList(e.kind).Add();
      item.Host = e.host;
      item.Path = e.path;
      item.Name = e.name;
      item.LastAccess = e.lastAccess;
      item.Expires = e.expires;
    }
    return {};
  }
  TActionOutcome CleanKind(TProfileStores& profile, const THelperContext& context,
                           TCacheType kind) override {
    if (beforeClean)
      beforeClean();
    // As the real helpers do, the rule is asked about the listed entry the store line was read
    // into (rules may tell entries apart by address); a line the list lacks gets an entry of its
    // own.
    TCacheList& list = profile.GetList(kind);
    int position = 0;
    std::erase_if(stores[NameOf(profile)], [&](const TFakeEntry& e) {
      if (e.kind != kind)
        return false;
      const int listed = position++;
      if (locked.contains(e.kind))
        return false;
      TCacheItem item;
      TCacheItem* asked = &item;
      if (listed < list.Count() && list.Items(listed).Host == e.host &&
          list.Items(listed).Path == e.path && list.Items(listed).Name == e.name)
        asked = &list.Items(listed);
      item.Host = e.host;
      item.Path = e.path;
      item.Name = e.name;
      return AskRule(context.Rule, e.kind, asked, "", false).Remove;
    });
    return LockedOutcome(kind);
  }
  TActionOutcome PurgeKind(TProfileStores& profile, const THelperContext&,
                           TCacheType kind) override {
    std::erase_if(stores[NameOf(profile)],
                  [&](const TFakeEntry& e) { return e.kind == kind && !locked.contains(e.kind); });
    return LockedOutcome(kind);
  }
  TActionOutcome LockedOutcome(TCacheType kind) const {
    TActionOutcome outcome;
    if (const auto it = locked.find(kind); it != locked.end())
      outcome.Fail(TStoreAccess::Change, kind, "store", it->second);
    return outcome;
  }
};

struct TFakeProfile {
  std::string name;
  TBrowserType type;
  std::string version;
  std::string location = {};
};

// Helpers replaced for the fixture's life; OpenWindow runs a discovery that adds the profiles
// and reads them once, as the real steps do.
class TFakeStoreFixture {
public:
  TFakeStoreHelper helper;

  std::unique_ptr<TformMain> OpenWindow(const std::vector<TFakeProfile>& profiles) {
    const TManagerFactory factory = [profiles] {
      TDiscoverySteps steps;
      steps.Mozilla = [profiles](TBrowserManager& manager) {
        manager.Log("[ Test profiles ]");
        for (const TFakeProfile& p : profiles) {
          TBrowserProfile& profile = manager.Profiles().Add();
          profile.ProfileName = p.name;
          profile.SetBrowserType(p.type);
          profile.Version = p.version;
          profile.ProfileLocation = p.location;
          profile.Refresh();
          manager.Log("+ " + p.name);
        }
      };
      return std::make_unique<TBrowserManager>(TFamilyMask::All(), steps);
    };
    auto window = std::make_unique<TformMain>(factory);
    window->SetErrorReporter(
        [this](QWidget*, const QString& message) { errors.push_back(message.toStdString()); });
    window->SetFailureReporter(
        [this](QWidget*, const QString& message) { failures.push_back(message.toStdString()); });
    window->SetConfirmer([this](QWidget*, const TBrowserProfile&, const TActionPreview& preview) {
      confirmations.push_back(preview);
      return confirmAnswer;
    });
    return window;
  }

  std::vector<std::string> errors;
  // The warnings about stores a clean or purge could not change, in place of the message box.
  std::vector<std::string> failures;
  // What each confirmation showed, and the user's answer to all of them.
  std::vector<TActionPreview> confirmations;
  bool confirmAnswer = true;

private:
  TBrowserHelperSubstitute netscape_{THelperKind::Netscape, helper};
  TBrowserHelperSubstitute mozilla_{THelperKind::Mozilla, helper};
  TBrowserHelperSubstitute opera_{THelperKind::Opera, helper};
  TBrowserHelperSubstitute ieCurrent_{THelperKind::IECurrent, helper};
  TBrowserHelperSubstitute ieRegistry_{THelperKind::IERegistry, helper};
  TBrowserHelperSubstitute chrome_{THelperKind::Chrome, helper};
};

} // namespace quillon::test
