#include "platform/Sapphire.h"

#include <numeric>

namespace quillon {

namespace {

// Draws card positions from the key during the shuffle.
class TKeyRand {
public:
  explicit TKeyRand(std::string_view key) : key_(key) {}

  // A value in 0..limit, taken from the running sum of the key bytes. Values above the limit
  // are drawn again; after eleven retries the value is folded into range so the draw ends.
  std::uint8_t Next(unsigned limit) {
    unsigned mask = 1;
    while (mask < limit)
      mask = 2 * mask + 1;
    unsigned retries = 0;
    unsigned u = 0;
    do {
      rsum_ = static_cast<std::uint8_t>(rsum_ + static_cast<std::uint8_t>(key_[keypos_]));
      ++keypos_;
      if (keypos_ >= key_.size()) {
        keypos_ = 0;
        rsum_ = static_cast<std::uint8_t>(rsum_ + key_.size());
      }
      u = mask & rsum_;
      if (++retries > 11)
        u %= limit;
    } while (u > limit);
    return static_cast<std::uint8_t>(u);
  }

  std::uint8_t Sum() const { return rsum_; }

private:
  std::string_view key_;
  std::size_t keypos_ = 0;
  std::uint8_t rsum_ = 0;
};

} // namespace

void TSapphireState::SetUnkeyed() {
  rotor = 1;
  ratchet = 3;
  avalanche = 5;
  last_plain = 7;
  last_cipher = 11;
  for (unsigned i = 0; i < 256; ++i)
    cards[i] = static_cast<std::uint8_t>(255 - i);
}

void TSapphireState::SetKey(std::string_view key) {
  if (key.empty()) {
    SetUnkeyed();
    return;
  }
  std::iota(cards.begin(), cards.end(), std::uint8_t{0});
  TKeyRand rand(key);
  for (unsigned i = 255; i >= 1; --i) {
    const std::uint8_t j = rand.Next(i);
    std::swap(cards[i], cards[j]);
  }
  rotor = cards[1];
  ratchet = cards[3];
  avalanche = cards[5];
  last_plain = cards[7];
  last_cipher = cards[rand.Sum()];
}

std::uint8_t TSapphireState::NextMask() {
  // uint8_t arithmetic wraps every index and sum modulo 256.
  ratchet = static_cast<std::uint8_t>(ratchet + cards[rotor]);
  ++rotor;
  const std::uint8_t swap = cards[last_cipher];
  cards[last_cipher] = cards[ratchet];
  cards[ratchet] = cards[last_plain];
  cards[last_plain] = cards[rotor];
  cards[rotor] = swap;
  avalanche = static_cast<std::uint8_t>(avalanche + cards[swap]);
  const std::uint8_t a = cards[static_cast<std::uint8_t>(cards[ratchet] + cards[rotor])];
  const std::uint8_t b = cards[cards[static_cast<std::uint8_t>(
      cards[last_plain] + cards[last_cipher] + cards[avalanche])]];
  return a ^ b;
}

std::uint8_t TSapphireState::Encrypt(std::uint8_t plain) {
  const std::uint8_t cipher = plain ^ NextMask();
  last_plain = plain;
  last_cipher = cipher;
  return cipher;
}

std::uint8_t TSapphireState::Decrypt(std::uint8_t cipher) {
  const std::uint8_t plain = cipher ^ NextMask();
  last_plain = plain;
  last_cipher = cipher;
  return plain;
}

void THash_Sapphire320::Init() {
  state_.SetUnkeyed();
  counter_ = 0;
  digest_.fill(0);
}

void THash_Sapphire320::Absorb(std::uint8_t x) {
  state_.Encrypt(x);
  ++counter_;
}

void THash_Sapphire320::Calc(std::string_view data) {
  for (const char c : data)
    Absorb(static_cast<std::uint8_t>(c));
}

void THash_Sapphire320::Done() {
  std::uint8_t p = kDigestSize;
  for (int n = 255; n >= 0; --n) {
    p ^= static_cast<std::uint8_t>(n);
    Absorb(p);
  }
  // The trailer carries the bit count of everything absorbed so far (the 256 bytes above
  // included), as a 32-bit product widened to 64 bits.
  std::array<std::uint8_t, kDigestSize> trailer{0x80, 0x02, 0x00, 0x28, 1, 3, 5, 7, 11};
  const std::uint32_t bits = counter_ * 8u;
  for (unsigned i = 0; i < 4; ++i)
    trailer[9 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (std::size_t i = 0; i < kDigestSize; ++i) {
    Absorb(trailer[i]);
    digest_[i] ^= state_.last_cipher;
  }
}

std::string THash_Sapphire320::Digest() const {
  return std::string(reinterpret_cast<const char*>(digest_.data()), digest_.size());
}

void TCipher_Sapphire::DoEncode(std::uint8_t* block) {
  for (std::size_t i = 0; i < kBlockSize; ++i)
    block[i] = state_.Encrypt(block[i]);
}

void TCipher_Sapphire::DoDecode(std::uint8_t* block) {
  for (std::size_t i = 0; i < kBlockSize; ++i)
    block[i] = state_.Decrypt(block[i]);
}

} // namespace quillon
