#pragma once
// What a refresh, clean or purge met, kind by kind: whether the kind was asked for, whether its
// store was read or changed, and, when it failed, which store and the reason the user is told.
// Helpers fill it in; discovery logs it, the command line and the window show it.

#include "model/BrowserCache.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// What was done to a store: read (a refresh) or changed (a clean or a purge). One action records
// both, since a clean or purge is followed by the refresh that shows its result.
enum class TStoreAccess : std::uint8_t { Read, Change };

enum class TKindResult : std::uint8_t { NotAsked, Done, Failed };

struct TKindOutcome {
  TKindResult Result = TKindResult::NotAsked;
  // The store file or folder of the first failure.
  std::string Store;
  // What the user is told: in plain words, with the system's own message; the reasons of several
  // failures of one kind are joined by "; ".
  std::string Reason;
};

class TActionOutcome {
public:
  // The kind was asked for; it counts as done until a failure is recorded.
  void Ask(TStoreAccess access, TCacheType kind);
  // Records a failure of the kind (which counts as asked).
  void Fail(TStoreAccess access, TCacheType kind, const std::string& store,
            const std::string& reason);
  // Takes over what other recorded: asked kinds stay asked, failures add up.
  void Merge(const TActionOutcome& other);

  const TKindOutcome& Of(TStoreAccess access, TCacheType kind) const;
  bool Failed(TStoreAccess access, TCacheType kind) const {
    return Of(access, kind).Result == TKindResult::Failed;
  }
  // Whether any kind failed.
  bool Failed(TStoreAccess access) const;

private:
  TKindOutcome& At(TStoreAccess access, TCacheType kind);

  std::array<std::array<TKindOutcome, kCacheTypeCount>, 2> kinds_{};
};

// The kind as a sentence names it: "cache", "cookies", "history", "start pages", "bookmarks".
std::string_view KindText(TCacheType kind);

} // namespace quillon
