#include "platform/CipherManager.h"

#include "platform/Sapphire.h"

namespace quillon {

THashManager::THashManager(const std::string& algorithm) {
  if (algorithm == THash_Sapphire320::kAlgorithmName)
    hash_ = std::make_unique<THash_Sapphire320>();
  else
    throw EHashException("Unknown hash algorithm \"" + algorithm + "\".");
}

TCipherManager::TCipherManager(THashManager& hashManager, const std::string& algorithm)
    : hashManager_(hashManager) {
  if (algorithm == TCipher_Sapphire::kAlgorithmName)
    cipher_ = std::make_unique<TCipher_Sapphire>();
  else
    throw ECipherException("Unknown cipher algorithm \"" + algorithm + "\".");
  static_assert(kChunkSize % TCipher_Sapphire::kBlockSize == 0);
}

void TCipherManager::InitKey(std::string_view keyText) {
  cipher_->InitKey(keyText, hashManager_.Hash());
}

template <typename Step> std::string TCipherManager::Process(std::string_view source, Step step) {
  // Checked up front so that an empty message before keying fails as a longer one does.
  cipher_->CheckState();
  cipher_->Done();
  std::string result;
  result.reserve(source.size());
  for (std::size_t pos = 0; pos < source.size(); pos += kChunkSize)
    result += step(source.substr(pos, kChunkSize));
  cipher_->Done();
  return result;
}

std::string TCipherManager::EncodeBuffer(std::string_view source) {
  return Process(source, [this](std::string_view chunk) { return cipher_->EncodeBuffer(chunk); });
}

std::string TCipherManager::DecodeBuffer(std::string_view source) {
  return Process(source, [this](std::string_view chunk) { return cipher_->DecodeBuffer(chunk); });
}

} // namespace quillon
