#include "model/ActionOutcome.h"

namespace quillon {

TKindOutcome& TActionOutcome::At(TStoreAccess access, TCacheType kind) {
  return kinds_.at(static_cast<std::size_t>(access)).at(kind);
}

const TKindOutcome& TActionOutcome::Of(TStoreAccess access, TCacheType kind) const {
  return kinds_.at(static_cast<std::size_t>(access)).at(kind);
}

void TActionOutcome::Ask(TStoreAccess access, TCacheType kind) {
  TKindOutcome& outcome = At(access, kind);
  if (outcome.Result == TKindResult::NotAsked)
    outcome.Result = TKindResult::Done;
}

void TActionOutcome::Fail(TStoreAccess access, TCacheType kind, const std::string& store,
                          const std::string& reason) {
  TKindOutcome& outcome = At(access, kind);
  if (outcome.Result != TKindResult::Failed) {
    outcome.Result = TKindResult::Failed;
    outcome.Store = store;
    outcome.Reason = reason;
  } else if (outcome.Reason.find(reason) == std::string::npos) {
    // The same reason twice (a store read by two slots) says nothing new.
    outcome.Reason += "; " + reason;
  }
}

void TActionOutcome::Merge(const TActionOutcome& other) {
  for (const TStoreAccess access : {TStoreAccess::Read, TStoreAccess::Change})
    for (int k = 0; k < kCacheTypeCount; ++k) {
      const auto kind = static_cast<TCacheType>(k);
      const TKindOutcome& theirs = other.Of(access, kind);
      if (theirs.Result == TKindResult::Failed)
        Fail(access, kind, theirs.Store, theirs.Reason);
      else if (theirs.Result == TKindResult::Done)
        Ask(access, kind);
    }
}

bool TActionOutcome::Failed(TStoreAccess access) const {
  for (const TKindOutcome& outcome : kinds_.at(static_cast<std::size_t>(access)))
    if (outcome.Result == TKindResult::Failed)
      return true;
  return false;
}

std::string_view KindText(TCacheType kind) {
  static constexpr std::array<std::string_view, kCacheTypeCount> kTexts = {
      "cache", "cookies", "history", "start pages", "bookmarks"};
  return kTexts.at(kind);
}

} // namespace quillon
