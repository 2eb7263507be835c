#pragma once
// Managers that pick a hash or cipher algorithm by its name and drive it over whole messages.

#include "platform/Cipher.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quillon {

// Holds the hash algorithm of the given name ("Sapphire II-320"); an unknown name raises
// EHashException.
class THashManager {
public:
  explicit THashManager(const std::string& algorithm);
  THash& Hash() { return *hash_; }
  std::string CalcBuffer(std::string_view data) { return hash_->CalcBuffer(data); }

private:
  std::unique_ptr<THash> hash_;
};

// Holds the cipher algorithm of the given name ("Sapphire II"), keyed through the hash manager's
// algorithm; an unknown name raises ECipherException. The hash manager must outlive this one.
class TCipherManager {
public:
  // Messages are processed in pieces of this size, state and feedback carrying over between
  // them. It is a multiple of every block size, so only the last piece can end in a partial block.
  static constexpr std::size_t kChunkSize = 4096;

  TCipherManager(THashManager& hashManager, const std::string& algorithm);
  TCipher& Cipher() { return *cipher_; }

  void InitKey(std::string_view keyText);
  // Enciphers or deciphers a whole message, starting from and returning to the keyed state.
  std::string EncodeBuffer(std::string_view source);
  std::string DecodeBuffer(std::string_view source);

private:
  template <typename Step> std::string Process(std::string_view source, Step step);

  THashManager& hashManager_;
  std::unique_ptr<TCipher> cipher_;
};

} // namespace quillon
