#pragma once
// Sapphire II, a byte-oriented stream cipher whose state evolves with both the plain and the
// cipher text, a 320-bit hash built on it, and the cipher object that runs it over 32-byte
// blocks. The list file beside the executable is enciphered with these.

#include "platform/Cipher.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// The whole cipher state: five registers and a permutation of the byte values (261 bytes).
struct TSapphireState {
  std::uint8_t rotor = 0;
  std::uint8_t ratchet = 0;
  std::uint8_t avalanche = 0;
  std::uint8_t last_plain = 0;
  std::uint8_t last_cipher = 0;
  std::array<std::uint8_t, 256> cards{};

  // The state of an empty key.
  void SetUnkeyed();
  // Shuffles the cards from the key bytes (at most 1024 are used by the callers).
  void SetKey(std::string_view key);
  // One byte step in either direction; both leave the same state behind for a matching pair.
  std::uint8_t Encrypt(std::uint8_t plain);
  std::uint8_t Decrypt(std::uint8_t cipher);

private:
  // Advances the state and returns the key-stream byte.
  std::uint8_t NextMask();
};
static_assert(sizeof(TSapphireState) == 261);

// "Sapphire II-320": absorbs the message with the enciphering step and reads a 40-byte digest
// out of last_cipher while a fixed trailer is absorbed.
class THash_Sapphire320 final : public THash {
public:
  static constexpr std::size_t kDigestSize = 40;
  static constexpr const char* kAlgorithmName = "Sapphire II-320";

  THash_Sapphire320() { Init(); }
  void Init() override;
  void Calc(std::string_view data) override;
  void Done() override;
  std::string Digest() const override;
  std::size_t DigestSize() const override { return kDigestSize; }

private:
  void Absorb(std::uint8_t x);

  TSapphireState state_;
  std::uint32_t counter_ = 0;
  std::array<std::uint8_t, kDigestSize> digest_{};
};

// "Sapphire II" as a block cipher: 32-byte blocks, keys of up to 1024 bytes.
class TCipher_Sapphire final : public TCipher {
public:
  static constexpr std::size_t kBlockSize = 32;
  static constexpr std::size_t kMaxKeySize = 1024;
  static constexpr const char* kAlgorithmName = "Sapphire II";

  TCipher_Sapphire() : TCipher(kBlockSize, kMaxKeySize) {}
  const char* ClassName() const override { return "TCipher_Sapphire"; }

protected:
  void DoInit(std::string_view key) override { state_.SetKey(key); }
  void DoEncode(std::uint8_t* block) override;
  void DoDecode(std::uint8_t* block) override;
  void SaveState() override { saved_ = state_; }
  void RestoreState() override { state_ = saved_; }

private:
  TSapphireState state_;
  TSapphireState saved_;
};

} // namespace quillon
