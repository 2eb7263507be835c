#pragma once
// A set of the members of an enumeration whose ordinals run from 0 to Count - 1, held in one
// integer: bit n stands for the member with ordinal n. The integer is what stored settings and
// the command line carry, so a set converts to and from it; code says which members it means.

#include <cstdint>
#include <initializer_list>

namespace quillon {

template <typename E, int Count, typename Bits> class TEnumSet {
  static_assert(Count > 0 && Count <= static_cast<int>(sizeof(Bits) * 8));

public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> members) {
    for (const E member : members)
      Include(member);
  }

  // Bits that stand for no member mean nothing and are dropped.
  static constexpr TEnumSet FromBits(std::uint64_t bits) {
    TEnumSet set;
    set.bits_ = static_cast<Bits>(bits & kAllBits);
    return set;
  }
  static constexpr TEnumSet All() { return FromBits(kAllBits); }

  constexpr Bits ToBits() const { return bits_; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool Contains(E member) const {
    const auto n = static_cast<unsigned>(member);
    return n < static_cast<unsigned>(Count) && ((bits_ >> n) & 1u) != 0;
  }
  constexpr bool Intersects(TEnumSet other) const { return (bits_ & other.bits_) != 0; }

  constexpr TEnumSet& Include(E member) {
    const auto n = static_cast<unsigned>(member);
    if (n < static_cast<unsigned>(Count))
      bits_ = static_cast<Bits>(bits_ | (Bits{1} << n));
    return *this;
  }
  constexpr TEnumSet& operator|=(TEnumSet other) {
    bits_ = static_cast<Bits>(bits_ | other.bits_);
    return *this;
  }
  friend constexpr TEnumSet operator|(TEnumSet a, TEnumSet b) { return a |= b; }
  friend constexpr TEnumSet operator&(TEnumSet a, TEnumSet b) {
    return FromBits(static_cast<Bits>(a.bits_ & b.bits_));
  }
  // The members of a that b does not hold.
  friend constexpr TEnumSet operator-(TEnumSet a, TEnumSet b) {
    return FromBits(static_cast<Bits>(a.bits_ & ~b.bits_));
  }
  friend constexpr bool operator==(TEnumSet a, TEnumSet b) = default;

  // Calls onMember for each member, in ordinal order.
  template <typename F> constexpr void ForEach(F&& onMember) const {
    for (int n = 0; n < Count; ++n)
      if (((bits_ >> n) & 1u) != 0)
        onMember(static_cast<E>(n));
  }

private:
  static constexpr Bits kAllBits = Count == static_cast<int>(sizeof(Bits) * 8)
                                       ? static_cast<Bits>(~Bits{0})
                                       : static_cast<Bits>((std::uint64_t{1} << Count) - 1);
  Bits bits_ = 0;
};

} // namespace quillon
