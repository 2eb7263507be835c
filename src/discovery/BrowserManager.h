#pragma once
// Profiles and the browser manager: the manager runs the discovery of every browser family once,
// when it is created, keeps what it found as profiles and keeps a log of how it found them.

#include "helpers/BrowserHelper.h"
#include "model/ActionOutcome.h"
#include "model/BrowserCache.h"
#include "model/DateUtils.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The browser types. The ordinal is also the bit number in the manager's family mask.
enum TBrowserType : std::uint8_t {
  bInternetExplorer,
  bMozilla,
  bFirebird,
  bFirefox,
  bBeonex,
  bNetscape6,
  bNetscape4,
  bOpera,
  bOpera7,
  bKMeleon,
  bThunderbird,
  bOperaApp,
  bLolifox,
  bWyzo,
  bFlock,
  bChrome
};
constexpr int kBrowserTypeCount = 16;

inline constexpr std::array<std::string_view, kBrowserTypeCount> BrowserNames = {
    "Internet Explorer", "Mozilla",  "Firebird", "Firefox",  "Beonex",      "Netscape (6 or later)",
    "Netscape (4.x)",    "Opera 4+", "Opera 7+", "K-Meleon", "Thunderbird", "Opera Application",
    "Lolifox",           "Wyzo",     "Flock",    "Chrome"};

// Indexes into the main window's browser images; -1 for none.
inline constexpr std::array<int, kBrowserTypeCount> BrowserImageIndexes = {
    2, 4, 6, 6, 8, 9, 3, 5, 5, 10, 7, -1, 13, 14, 15, 16};

// What the table of supported browsers tells the user per kind (cache, cookies, history, start
// pages, bookmarks): R read, C clean, P purge, All all three. Information only; what a profile
// really offers are its capability flags.
inline constexpr std::array<std::array<std::string_view, 5>, kBrowserTypeCount>
    BrowserCapabilities = {{{"All", "All", "All", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"P", "All", "P", "All", "All"},
                            {"All", "All", "All", "All", "All"},
                            {"All", "All", "All", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"-", "-", "-", "-", "-"},
                            {"P", "All", "R/P", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"P", "All", "R/P", "All", "All"},
                            {"-", "All", "All", "-", "All"}}};

inline constexpr std::array<std::array<int, 5>, kBrowserTypeCount> BrowserCapabilityImages = {{
    {0, 0, 0, 0, 0},
    {1, 0, 1, 0, 0},
    {1, 0, 1, 0, 0},
    {1, 0, 1, 0, 0},
    {1, 0, 1, 0, 0},
    {1, 0, 1, 0, 0},
    {1, 0, 1, 0, 0},
    {0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0},
    {1, 0, 1, 0, 0},
    {1, 0, 1, 0, 0},
    {0, 0, 0, 0, 0},
    {1, 0, 1, 0, 0},
    {1, 0, 1, 0, 0},
    {1, 0, 1, 0, 0},
    {0, 1, 1, 0, 1},
}};

// Which browser types to detect: bit n for the type with ordinal n.
using TFamilyMask = std::uint16_t;
// Everything except Thunderbird and "Opera Application".
constexpr TFamilyMask kDefaultFamilyMask = 0xF3FF;

constexpr bool FamilyMaskContains(TFamilyMask mask, TBrowserType type) {
  return ((mask >> type) & 1u) != 0;
}

class TBrowserProfileList;
class TBrowserManager;

// One browser installation or user profile and its five entry lists.
class TBrowserProfile {
public:
  explicit TBrowserProfile(TBrowserProfileList* owner = nullptr) : Owner(owner) {}
  TBrowserProfile(const TBrowserProfile&) = delete;
  TBrowserProfile& operator=(const TBrowserProfile&) = delete;

  // The list that holds the profile; through its manager the helpers reach IEPageLocations.
  TBrowserProfileList* Owner;
  std::array<TCacheList, kCacheTypeCount> Lists;
  // Where each kind is stored (a file or a folder), empty when the kind has no store.
  std::array<std::string, kCacheTypeCount> Locations;
  // The profile's folder; for another user's Internet Explorer profile that user's SID text;
  // empty for the running user's Internet Explorer profile.
  std::string ProfileLocation;
  std::string ProfileName;
  std::array<bool, kCacheTypeCount> CanRead{};
  std::array<bool, kCacheTypeCount> CanClean{};
  std::array<bool, kCacheTypeCount> CanPurge{};
  std::string Version;
  TOnValidateCacheEntry OnValidateCacheEntry;
  // Store generation; the Mozilla helper reads SQLite stores when it is 3.
  std::int32_t VersionTag = 0;
  // What the last full read of the stores met (discovery's first read, then each Refresh): the
  // kinds whose store exists but could not be read.
  TActionOutcome LastRead;

  TBrowserType BrowserType() const { return browserType_; }
  // Stores the type and sets the capability flags that go with it. Thunderbird keeps the flags
  // it has (discovery never produces such a profile).
  void SetBrowserType(TBrowserType type);
  std::string_view BrowserName() const;

  TCacheList& GetList(TCacheType kind) { return Lists.at(kind); }
  const TCacheList& GetList(TCacheType kind) const { return Lists.at(kind); }
  const std::string& GetLocation(TCacheType kind) const { return Locations.at(kind); }
  void SetLocation(TCacheType kind, std::string location) {
    Locations.at(kind) = std::move(location);
  }

  // ProfileName "=" ProfileLocation.
  std::string DisplayName() const;

  // Reads all five kinds again through the profile's helper; the outcome is kept in LastRead.
  TActionOutcome Refresh();
  // Removes the entries of the given kinds that OnValidateCacheEntry accepts.
  TActionOutcome Clean(TCacheKinds kinds);
  // Removes the given kinds as a whole.
  TActionOutcome Purge(TCacheKinds kinds);

  // The helper that reads the profile, and the one that cleans and purges it. For Internet
  // Explorer they differ: the running user's own profile is cleaned through the URL cache
  // helper, another user's only through the helper that works on that user's hive and folders,
  // never on the running user's cache.
  TBrowserHelperCustom& RefreshHelper() const;
  TBrowserHelperCustom& CleanHelper() const;

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

// The real steps of every family.
TDiscoverySteps DefaultDiscoverySteps();

// Where the manager reads the time that the detection log measures steps with.
using TClock = std::function<TDateTime()>;

// Hears each line the detection log gains while discovery runs, so that a front end can show
// which step is at work.
using TLogObserver = std::function<void(const std::string& line)>;

class TBrowserManager {
public:
  // Detects every family except Thunderbird and "Opera Application".
  TBrowserManager();
  explicit TBrowserManager(TFamilyMask mask);
  // Runs the selected steps in order, each under its own guard: a step that fails ends there
  // (without its timing line) and the next one runs; the profiles it added stay. The portable
  // Firefox step shares the Mozilla step's guard and is skipped when that fails. onLog hears the
  // log lines of discovery only; the manager drops it when its constructor ends.
  TBrowserManager(TFamilyMask mask, TDiscoverySteps steps, TClock clock = Now,
                  TLogObserver onLog = {});
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
