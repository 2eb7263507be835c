#include "discovery/BrowserManager.h"

#include "discovery/DiscoverySteps.h"
#include "model/DateFormat.h"
#include "platform/ListFile.h"
#include "winapi/WinApi.h"

#include <optional>
#include <stdexcept>
#include <utility>

namespace quillon {

namespace {

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
  const std::optional<TFamilyCapabilities>& capabilities = BrowserFamily(type).Capabilities;
  if (!capabilities)
    return;
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    CanRead[k] = capabilities->Read.Contains(kind);
    CanClean[k] = capabilities->Clean.Contains(kind);
    CanPurge[k] = capabilities->Purge.Contains(kind);
  }
}

std::string_view TBrowserProfile::BrowserName() const {
  return browserType_ < kBrowserTypeCount ? BrowserFamily(browserType_).Name : std::string_view();
}

std::string TBrowserProfile::DisplayName() const {
  return ProfileName + "=" + ProfileLocation;
}

TBrowserHelperCustom& TBrowserProfile::RefreshHelper() const {
  return BrowserHelper(BrowserFamily(browserType_).Helper);
}

TBrowserHelperCustom& TBrowserProfile::CleanHelper() const {
  const TBrowserFamily& family = BrowserFamily(browserType_);
  if (family.OwnUserCleanHelper && ProfileLocation.empty())
    return BrowserHelper(*family.OwnUserCleanHelper);
  return BrowserHelper(family.Helper);
}

THelperContext TBrowserProfile::HelperContext() {
  THelperContext context;
  context.ProfileName = ProfileName;
  if (Owner != nullptr && Owner->Manager() != nullptr)
    context.IEPageLocations = Owner->Manager()->IEPageLocations();
  // The window's callback answers through out-parameters; the helpers ask for a decision.
  if (OnValidateCacheEntry)
    context.Rule = [this, validate = OnValidateCacheEntry](TCacheType kind, TCacheItem* item,
                                                           std::string offered) {
      TCleanDecision decision{false, std::move(offered)};
      validate(*this, kind, item, decision.Remove, decision.Content);
      return decision;
    };
  return context;
}

TActionOutcome TBrowserProfile::Refresh() {
  LastRead = RefreshHelper().RefreshAll(*this, HelperContext());
  return LastRead;
}

TActionOutcome TBrowserProfile::Clean(TCacheKinds kinds) {
  return CleanHelper().Clean(*this, HelperContext(), kinds);
}

TActionOutcome TBrowserProfile::Purge(TCacheKinds kinds) {
  return CleanHelper().Purge(*this, HelperContext(), kinds);
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

std::string_view DiscoveryStepText(TDiscoveryStepId step) {
  switch (step) {
  case TDiscoveryStepId::InternetExplorer:
    return "Looking for Internet Explorer profiles\u2026";
  case TDiscoveryStepId::Opera:
    return "Looking for Opera profiles\u2026";
  case TDiscoveryStepId::Mozilla:
    return "Looking for Firefox, Mozilla and Netscape profiles\u2026";
  case TDiscoveryStepId::PortableFirefox:
    return "Looking for portable Firefox installations\u2026";
  case TDiscoveryStepId::Chrome:
    return "Looking for Chrome profiles\u2026";
  }
  return {};
}

TBrowserManager::TBrowserManager(TFamilyMask mask, TDiscoverySteps steps, TClock clock,
                                 TLogObserver onLog, TStepObserver onStep)
    : familyMask_(mask), clock_(clock ? std::move(clock) : TClock(Now)), onLog_(std::move(onLog)),
      profiles_(this) {
  auto run = [this, &onStep](TDiscoveryStepId id, const TDiscoveryStep& step) {
    if (step && onStep)
      onStep(id);
    DetectionStart = clock_();
    if (step)
      step(*this);
  };
  using S = TDiscoveryStepId;
  // A step runs when the mask holds one of the types it finds.
  const auto wanted = [mask](TStepGroup step) { return mask.Intersects(FamiliesOfStep(step)); };
  if (wanted(TStepGroup::InternetExplorer))
    Guarded([&] { run(S::InternetExplorer, steps.InternetExplorer); });
  if (wanted(TStepGroup::Opera))
    Guarded([&] { run(S::Opera, steps.Opera); });
  if (wanted(TStepGroup::Mozilla))
    Guarded([&] {
      run(S::Mozilla, steps.Mozilla);
      run(S::PortableFirefox, steps.PortableFirefox);
    });
  if (wanted(TStepGroup::Chrome))
    Guarded([&] { run(S::Chrome, steps.Chrome); });
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
      BrowserHelper(THelperKind::IECurrent).Refresh(profile, profile.HelperContext(), ctPages);
  }
}

bool LoadIEPageLocations(TBrowserManager& manager, std::string& reason) {
  reason.clear();
  const std::string executable = winapi::GetModuleFileName();
  const std::size_t slash = executable.find_last_of('\\');
  if (slash == std::string::npos)
    return true;
  const std::string path = executable.substr(0, slash + 1) + "Quillon.ieldat";
  bool loaded = true;
  try {
    LoadListFile(path, manager.IEPageLocations());
  } catch (const EListFileError& e) {
    // A list file that cannot be read names no locations; the program runs without it.
    manager.IEPageLocations().clear();
    reason = e.what();
    loaded = false;
  }
  manager.SetIEPageLocations(manager.IEPageLocations());
  return loaded;
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
