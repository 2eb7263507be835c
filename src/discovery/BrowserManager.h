#pragma once
// Profiles and the browser manager: the manager runs the discovery of every browser family once,
// when it is created, keeps what it found as profiles and keeps a log of how it found them.

#include "discovery/BrowserFamilies.h"
#include "helpers/BrowserHelper.h"
#include "model/ActionOutcome.h"
#include "model/BrowserCache.h"
#include "model/DateUtils.h"
#include "model/ProfileStores.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class TBrowserProfile;

// Asked about each entry of a clean, by the window's rule. item may be null. doclean comes in
// false and goes out as the answer; newcontent comes in as the operation's description or
// replacement text (a start page's new value) and may be changed. A profile hands it to its
// helper as the helpers' clean rule.
using TOnValidateCacheEntry =
    std::function<void(TBrowserProfile& profile, TCacheType typ, TCacheItem* item, bool& doclean,
                       std::string& newcontent)>;

class TBrowserProfileList;
class TBrowserManager;

// One browser installation or user profile: its stores and five entry lists, and what the front
// ends show of it and offer for it.
class TBrowserProfile : public TProfileStores {
public:
  explicit TBrowserProfile(TBrowserProfileList* owner = nullptr) : Owner(owner) {}

  // The list that holds the profile; its manager's IEPageLocations reach the helpers.
  TBrowserProfileList* Owner;
  std::string ProfileName;
  std::array<bool, kCacheTypeCount> CanRead{};
  std::array<bool, kCacheTypeCount> CanClean{};
  std::array<bool, kCacheTypeCount> CanPurge{};
  std::string Version;
  TOnValidateCacheEntry OnValidateCacheEntry;
  // What the last full read of the stores met (discovery's first read, then each Refresh): the
  // kinds whose store exists but could not be read.
  TActionOutcome LastRead;

  TBrowserType BrowserType() const { return browserType_; }
  // Stores the type and sets the capability flags that go with it. Thunderbird keeps the flags
  // it has (discovery never produces such a profile).
  void SetBrowserType(TBrowserType type);
  std::string_view BrowserName() const;

  // ProfileName "=" ProfileLocation.
  std::string DisplayName() const;

  // Reads all five kinds again through the profile's helper; the outcome is kept in LastRead.
  TActionOutcome Refresh();
  // Removes the entries of the given kinds that OnValidateCacheEntry accepts; without it each
  // kind's own rule holds (start pages are reset, nothing else goes).
  TActionOutcome Clean(TCacheKinds kinds);
  // Removes the given kinds as a whole.
  TActionOutcome Purge(TCacheKinds kinds);

  // The helper that reads the profile, and the one that cleans and purges it, as its type's row
  // names them. For Internet Explorer they differ: the running user's own profile is cleaned
  // through the URL cache helper, another user's only through the helper that works on that
  // user's hive and folders, never on the running user's cache.
  TBrowserHelperCustom& RefreshHelper() const;
  TBrowserHelperCustom& CleanHelper() const;
  // What the helpers get besides the stores: the manager's IE page locations (none without a
  // manager) and OnValidateCacheEntry as their clean rule.
  THelperContext HelperContext();

  // Copies owner, the raw browser type (flags stay as they are), location, name and the entries
  // and locations of cache, cookies, history and start pages. Bookmarks, version, version tag,
  // flags and the callback stay.
  void Assign(const TBrowserProfile& source);

private:
  TBrowserType browserType_ = bInternetExplorer;
};

// The manager's profiles in discovery order; profiles are only ever appended.
class TBrowserProfileList {
public:
  explicit TBrowserProfileList(TBrowserManager* manager = nullptr) : manager_(manager) {}
  TBrowserProfileList(const TBrowserProfileList&) = delete;
  TBrowserProfileList& operator=(const TBrowserProfileList&) = delete;

  // A new, empty profile at the end, owned by the list.
  TBrowserProfile& Add();
  int Count() const { return static_cast<int>(items_.size()); }
  // index 0 .. Count()-1; anything else throws std::out_of_range.
  TBrowserProfile& Items(int index);
  const TBrowserProfile& Items(int index) const;
  TBrowserManager* Manager() const { return manager_; }

private:
  TBrowserManager* manager_;
  std::vector<std::unique_ptr<TBrowserProfile>> items_;
};

// One discovery step: appends its section to the log and its profiles to the list.
using TDiscoveryStep = std::function<void(TBrowserManager& manager)>;

// The steps the manager runs, in the order it runs them. A step left empty is not run.
struct TDiscoverySteps {
  TDiscoveryStep InternetExplorer;
  TDiscoveryStep Opera;
  TDiscoveryStep Mozilla;
  TDiscoveryStep PortableFirefox;
  TDiscoveryStep Chrome;
};

// Loads the list file beside the program ("Quillon.ieldat") into the manager's IEPageLocations and
// reads the start pages of every Internet Explorer profile again, as both front ends do right after
// discovery. Without a file the list stays empty. A file that cannot be read leaves the list empty
// as well and answers false with the reason; the program goes on without it.
bool LoadIEPageLocations(TBrowserManager& manager, std::string& reason);

// The real steps of every family.
TDiscoverySteps DefaultDiscoverySteps();

// Where the manager reads the time that the detection log measures steps with.
using TClock = std::function<TDateTime()>;

// Hears each line the detection log gains while discovery runs, so that a front end can show
// which step is at work.
using TLogObserver = std::function<void(const std::string& line)>;

// The discovery steps, in the order the manager runs them.
enum class TDiscoveryStepId : std::uint8_t {
  InternetExplorer,
  Opera,
  Mozilla,
  PortableFirefox,
  Chrome
};
constexpr int kDiscoveryStepCount = 5;

// What a step does, in words for the user: "Looking for Opera profiles…" (UTF-8).
std::string_view DiscoveryStepText(TDiscoveryStepId step);

// Hears each discovery step as it starts (steps the mask leaves out do not start).
using TStepObserver = std::function<void(TDiscoveryStepId step)>;

class TBrowserManager {
public:
  // Detects the families of kDefaultFamilyMask.
  TBrowserManager();
  explicit TBrowserManager(TFamilyMask mask);
  // Runs the selected steps in order, each under its own guard: a step that fails ends there
  // (without its timing line) and the next one runs; the profiles it added stay. The portable
  // Firefox step shares the Mozilla step's guard and is skipped when that fails. onLog hears the
  // log lines of discovery only, onStep the start of each step; the manager drops both when its
  // constructor ends.
  TBrowserManager(TFamilyMask mask, TDiscoverySteps steps, TClock clock = Now,
                  TLogObserver onLog = {}, TStepObserver onStep = {});
  TBrowserManager(const TBrowserManager&) = delete;
  TBrowserManager& operator=(const TBrowserManager&) = delete;
  ~TBrowserManager();

  const std::vector<std::string>& DetectionLog() const { return detectionLog_; }
  // Appends one line to the detection log (discovery steps).
  void Log(std::string line);
  // Appends "i Browser detection took ss.zzz seconds." for the time since DetectionStart.
  void LogDetectionTime();
  // Appends one "!" line per kind whose store could not be read, with the reason (discovery
  // steps, right after a profile's "+ Added" line).
  void LogReadFailures(const TActionOutcome& outcome);

  // Lines of the list file naming registry locations of Internet Explorer start pages. The main
  // window loads the file into this list after discovery.
  std::vector<std::string>& IEPageLocations() { return iePageLocations_; }
  const std::vector<std::string>& IEPageLocations() const { return iePageLocations_; }
  // Replaces the list with a copy of locations (the caller keeps its own list) and reads the
  // start pages of every Internet Explorer profile again.
  void SetIEPageLocations(const std::vector<std::string>& locations);

  TBrowserProfileList& Profiles() { return profiles_; }
  const TBrowserProfileList& Profiles() const { return profiles_; }

  const TOnValidateCacheEntry& OnValidateCacheEntry() const { return onValidateCacheEntry_; }
  // Also hands the callback to every profile that exists now; later profiles do not get it.
  void SetOnValidateCacheEntry(TOnValidateCacheEntry callback);

  TFamilyMask FamilyMask() const { return familyMask_; }

  // The profile at ItemIndex, or null when ItemIndex is out of range.
  TBrowserProfile* ActiveProfile();

  // Index of the current profile in Profiles; the main window writes it.
  std::int32_t ItemIndex = 0;
  // Taken immediately before each discovery step.
  TDateTime DetectionStart = 0;

private:
  // Declared so that the profiles die before the lists the manager owns besides them.
  std::vector<std::string> detectionLog_;
  std::vector<std::string> iePageLocations_;
  TOnValidateCacheEntry onValidateCacheEntry_;
  TFamilyMask familyMask_;
  TClock clock_;
  TLogObserver onLog_;
  TBrowserProfileList profiles_;
};

} // namespace quillon
