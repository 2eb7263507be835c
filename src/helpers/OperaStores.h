#pragma once
// What the Opera helper's readers and its cleaners share: the walk over the cookie file's domain
// tree and the places of the stores in a profile.

#include "formats/O4Cookie.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The cache index's name inside the cache folder.
constexpr std::string_view kOperaCacheIndexName = "dcache4.url";

// folder, a "\" unless it ends with one, and name.
std::string JoinOperaPath(std::string_view folder, std::string_view name);

// Whether the text of a cache file name from an index stays inside its folder: a relative name
// without drive, ":", wildcard or control character, and no component that climbs (".." or one
// Windows would trim to it).
bool CacheNameStaysInside(std::string_view name);

// A cache folder, resolved once, that tells whether a name from its index reaches a file inside
// it: a name whose text stays inside and whose way there leads through no linked folder out of it.
class TCacheFolder {
public:
  explicit TCacheFolder(std::string folder);
  bool Holds(std::string_view name) const;

private:
  std::string folder_; // without a trailing "\"
  std::string host_;   // where the system finds the folder; empty when it cannot
};

// TCacheFolder(folder).Holds(name).
bool CacheFileStaysInside(const std::string& folder, std::string_view name);

// Visits the domain nodes of a cookie tree in file order, each node before its sub-domains,
// without recursion: a file chooses how deep its tree is. The full name of the node visited is
// kept reversed and grows by one label per step down, so that a deep tree costs its own size and
// not its depth for every node; it is made only for a node that asks.
class TO4DomainWalk {
public:
  explicit TO4DomainWalk(const TO4Domains& root) { levels_.push_back({&root, 0, 0}); }

  // The next node; null after the last.
  TO4Domain* Next() {
    while (!levels_.empty()) {
      TLevel& top = levels_.back();
      const auto domains = top.Node->Domains();
      if (top.NextChild < domains.size()) {
        TO4Domain* const child = domains[top.NextChild++].get();
        reversed_.resize(top.NameEnd);
        if (levels_.size() > 1)
          reversed_ += '.';
        reversed_.append(child->Name.rbegin(), child->Name.rend());
        levels_.push_back({child, 0, reversed_.size()});
        return child;
      }
      levels_.pop_back();
    }
    return nullptr;
  }

  // The full name of the node Next returned ("www.example.com"), and its size.
  std::size_t FullNameSize() const { return levels_.back().NameEnd; }
  std::string FullName() const {
    const std::string_view name(reversed_.data(), FullNameSize());
    return std::string(name.rbegin(), name.rend());
  }

private:
  struct TLevel {
    const TO4Domains* Node;
    std::size_t NextChild;
    std::size_t NameEnd; // the node's reversed full name is reversed_[0, NameEnd)
  };
  std::vector<TLevel> levels_;
  std::string reversed_;
};

// Whether an Opera cookie node lists its own cookies: a node that filters or refuses cookies
// (type 2 or 4) keeps the ones it holds to itself.
inline bool ListsOwnCookies(const TO4Domain& node) {
  const auto hides = [](std::uint8_t type) { return type == 2 || type == 4; };
  return !hides(node.FilterType) && !hides(node.AcceptType);
}

// Why a binary Opera file cannot be listed in full or saved: an unknown header or a load that
// stopped early; empty when it was read whole.
template <class TRoot> std::string O4DamageReason(const std::string& file, const TRoot& root) {
  if (!root.Valid)
    return file + " is not in a format Quillon knows";
  if (root.LoadStop.Stopped)
    return file + " is damaged at byte " + std::to_string(root.LoadStop.Offset) + ": " +
           root.LoadStop.Reason;
  return {};
}

} // namespace quillon
