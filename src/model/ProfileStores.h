#pragma once
// A profile's stores as the helpers see them: where each kind is kept, which generation of
// stores the profile has, and the five entry lists the helpers fill. Discovery's profile extends
// it with what only the front ends need (its name, browser type, offered actions, clean callback).

#include "model/BrowserCache.h"
#include "model/EnumSet.h"

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

// A set of kinds; its bits (1 cache, 2 cookies, 4 history, 8 start pages, 16 bookmarks) are
// what the command line takes as a number.
using TCacheKinds = TEnumSet<TCacheType, kCacheTypeCount, std::uint8_t>;
inline constexpr TCacheKinds kAllCacheKinds = TCacheKinds::All();

class TProfileStores {
public:
  TProfileStores() = default;
  TProfileStores(const TProfileStores&) = delete;
  TProfileStores& operator=(const TProfileStores&) = delete;

  std::array<TCacheList, kCacheTypeCount> Lists;
  // Where each kind is stored (a file or a folder), empty when the kind has no store.
  std::array<std::string, kCacheTypeCount> Locations;
  // The profile's folder; for another user's Internet Explorer profile that user's SID text;
  // empty for the running user's Internet Explorer profile.
  std::string ProfileLocation;
  // Store generation; the Mozilla helper reads SQLite stores when it is 3.
  std::int32_t VersionTag = 0;

  TCacheList& GetList(TCacheType kind) { return Lists.at(kind); }
  const TCacheList& GetList(TCacheType kind) const { return Lists.at(kind); }
  const std::string& GetLocation(TCacheType kind) const { return Locations.at(kind); }
  void SetLocation(TCacheType kind, std::string location) {
    Locations.at(kind) = std::move(location);
  }

  // Empties all five lists; every full refresh starts with it, so a refresh shows what the
  // stores hold now and nothing of an earlier read.
  void ClearLists() {
    for (TCacheList& list : Lists)
      list.Clear();
  }
};

} // namespace quillon
