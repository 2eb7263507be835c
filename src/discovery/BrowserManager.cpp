#include "discovery/BrowserManager.h"

#include "discovery/DiscoverySteps.h"
#include "model/DateFormat.h"

#include <stdexcept>
#include <utility>

namespace quillon {

namespace {

constexpr TFamilyMask Bit(TBrowserType type) {
  return static_cast<TFamilyMask>(1u << type);
}

constexpr TFamilyMask kOperaFamily = Bit(bOpera) | Bit(bOpera7) | Bit(bOperaApp);
constexpr TFamilyMask kMozillaFamily =
    Bit(bMozilla) | Bit(bFirebird) | Bit(bFirefox) | Bit(bBeonex) | Bit(bNetscape6) |
    Bit(bNetscape4) | Bit(bKMeleon) | Bit(bThunderbird) | Bit(bLolifox) | Bit(bWyzo) | Bit(bFlock);

// Read, clean, purge per kind (cache, cookies, history, start pages, bookmarks).
struct TCapabilities {
  std::array<bool, kCacheTypeCount> read, clean, purge;
};
constexpr TCapabilities kAllCapabilities = {
    {true, true, true, true, true}, {true, true, true, true, true}, {true, true, true, true, true}};
constexpr TCapabilities kNetscape4Capabilities = {{true, true, false, true, true},
                                                  {true, false, false, true, true},
                                                  {true, true, true, true, true}};
constexpr TCapabilities kMozillaCapabilities = {{false, true, true, true, true},
                                                {false, true, false, true, true},
                                                {true, true, true, true, true}};
constexpr TCapabilities kChromeCapabilities = {{false, true, true, false, true},
                                               {false, true, true, false, true},
                                               {false, true, true, false, true}};

// Every discovery failure ends only its own step.
template <typename Step> void Guarded(Step&& step) {
  try {
    step();
  } catch (...) {
  }
}

} // namespace

// --- TBrowserProfile -----------------------------------------------------------------------

void TBrowserProfile::SetBrowserType(TBrowserType type) {
  browserType_ = type;
  const TCapabilities* capabilities = nullptr;
  switch (type) {
  case bInternetExplorer:
  case bOpera:
  case bOpera7:
  case bOperaApp:
    capabilities = &kAllCapabilities;
    break;
  case bNetscape4:
    capabilities = &kNetscape4Capabilities;
    break;
  case bChrome:
    capabilities = &kChromeCapabilities;
    break;
  case bThunderbird:
    break;
  default:
    capabilities = &kMozillaCapabilities;
    break;
  }
  if (capabilities == nullptr)
    return;
  CanRead = capabilities->read;
  CanClean = capabilities->clean;
  CanPurge = capabilities->purge;
}

std::string_view TBrowserProfile::BrowserName() const {
  return browserType_ < kBrowserTypeCount ? BrowserNames[browserType_] : std::string_view();
}

std::string TBrowserProfile::DisplayName() const {
  return ProfileName + "=" + ProfileLocation;
}

TBrowserHelperCustom& TBrowserProfile::RefreshHelper() const {
  switch (browserType_) {
  case bInternetExplorer:
    return BrowserHelperIERegistry();
  case bNetscape4:
    return BrowserHelperNetscape();
  case bOpera:
  case bOpera7:
  case bOperaApp:
    return BrowserHelperOpera();
  case bChrome:
    return BrowserHelperChrome();
  default:
    return BrowserHelperMozilla();
  }
}

TBrowserHelperCustom& TBrowserProfile::CleanHelper() const {
  if (browserType_ == bInternetExplorer)
    return ProfileLocation.empty() ? BrowserHelperIECurrent() : BrowserHelperIERegistry();
  return RefreshHelper();
}

TActionOutcome TBrowserProfile::Refresh() {
  LastRead = RefreshHelper().RefreshAll(*this);
  return LastRead;
}

TActionOutcome TBrowserProfile::Clean(TCacheKinds kinds) {
  return CleanHelper().Clean(*this, kinds, OnValidateCacheEntry);
}

TActionOutcome TBrowserProfile::Purge(TCacheKinds kinds) {
  return CleanHelper().Purge(*this, kinds);
}

void TBrowserProfile::Assign(const TBrowserProfile& source) {
  if (&source == this)
    return;
  Owner = source.Owner;
  browserType_ = source.browserType_;
  ProfileLocation = source.ProfileLocation;
  ProfileName = source.ProfileName;
  for (const TCacheType kind : {ctCache, ctCookies, ctHistory, ctPages}) {
    TCacheList& target = Lists[kind];
    const TCacheList& from = source.Lists[kind];
    target.Clear();
    for (int i = 0; i < from.Count(); ++i)
      target.Add().Assign(from.Items(i));
    Locations[kind] = source.Locations[kind];
  }
}

// --- TBrowserProfileList -------------------------------------------------------------------

TBrowserProfile& TBrowserProfileList::Add() {
  items_.push_back(std::make_unique<TBrowserProfile>(this));
  return *items_.back();
}

TBrowserProfile& TBrowserProfileList::Items(int index) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return *items_[static_cast<std::size_t>(index)];
}

const TBrowserProfile& TBrowserProfileList::Items(int index) const {
  return const_cast<TBrowserProfileList*>(this)->Items(index);
}

// --- TBrowserManager -----------------------------------------------------------------------

TDiscoverySteps DefaultDiscoverySteps() {
  return {DetectInternetExplorerProfiles, DetectOperaProfiles, DetectMozillaProfiles,
          DetectPortableFirefoxProfiles, DetectChromeProfiles};
}

TBrowserManager::TBrowserManager() : TBrowserManager(kDefaultFamilyMask) {}

TBrowserManager::TBrowserManager(TFamilyMask mask)
    : TBrowserManager(mask, DefaultDiscoverySteps()) {}

TBrowserManager::TBrowserManager(TFamilyMask mask, TDiscoverySteps steps, TClock clock,
                                 TLogObserver onLog)
    : familyMask_(mask), clock_(clock ? std::move(clock) : TClock(Now)), onLog_(std::move(onLog)),
      profiles_(this) {
  auto run = [this](const TDiscoveryStep& step) {
    DetectionStart = clock_();
    if (step)
      step(*this);
  };
  if (FamilyMaskContains(mask, bInternetExplorer))
    Guarded([&] { run(steps.InternetExplorer); });
  if ((mask & kOperaFamily) != 0)
    Guarded([&] { run(steps.Opera); });
  if ((mask & kMozillaFamily) != 0)
    Guarded([&] {
      run(steps.Mozilla);
      run(steps.PortableFirefox);
    });
  if (FamilyMaskContains(mask, bChrome))
    Guarded([&] { run(steps.Chrome); });
  ItemIndex = 0;
  onLog_ = nullptr;
}

TBrowserManager::~TBrowserManager() = default;

void TBrowserManager::Log(std::string line) {
  detectionLog_.push_back(std::move(line));
  if (onLog_)
    onLog_(detectionLog_.back());
}

void TBrowserManager::LogDetectionTime() {
  std::string elapsed;
  // Only a clock that answers NaN leaves nothing to format; the line still marks the step's end.
  if (!TryFormatDateTime("ss.zzz", clock_() - DetectionStart, elapsed))
    elapsed = "??.???";
  Log("i Browser detection took " + elapsed + " seconds.");
}

void TBrowserManager::LogReadFailures(const TActionOutcome& outcome) {
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const TKindOutcome& read = outcome.Of(TStoreAccess::Read, static_cast<TCacheType>(k));
    if (read.Result == TKindResult::Failed)
      Log("! Cannot read the " + std::string(KindText(static_cast<TCacheType>(k))) +
          " of this profile: " + read.Reason);
  }
}

void TBrowserManager::SetIEPageLocations(const std::vector<std::string>& locations) {
  if (&locations != &iePageLocations_)
    iePageLocations_ = locations;
  for (int i = 0; i < profiles_.Count(); ++i) {
    TBrowserProfile& profile = profiles_.Items(i);
    if (profile.BrowserType() == bInternetExplorer)
      BrowserHelperIECurrent().RefreshPages(profile);
  }
}

void TBrowserManager::SetOnValidateCacheEntry(TOnValidateCacheEntry callback) {
  onValidateCacheEntry_ = std::move(callback);
  for (int i = 0; i < profiles_.Count(); ++i)
    profiles_.Items(i).OnValidateCacheEntry = onValidateCacheEntry_;
}

TBrowserProfile* TBrowserManager::ActiveProfile() {
  if (ItemIndex < 0 || ItemIndex >= profiles_.Count())
    return nullptr;
  return &profiles_.Items(ItemIndex);
}

} // namespace quillon
