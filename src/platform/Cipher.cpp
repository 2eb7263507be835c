#include "platform/Cipher.h"

#include <algorithm>
#include <cstdio>

namespace quillon {

std::string THash::CalcBuffer(std::string_view data) {
  Init();
  Calc(data);
  Done();
  return Digest();
}

TCipher::TCipher(std::size_t blockSize, std::size_t maxKeySize)
    : blockSize_(blockSize), maxKeySize_(maxKeySize), vector_(blockSize), feedback_(blockSize),
      buffer_(blockSize) {}

void TCipher::Init(std::string_view key) {
  if (key.size() > maxKeySize_)
    throw ECipherException("Length of key is too large for " + std::string(ClassName()) + ".");
  vectorSet_ = false;
  std::fill(vector_.begin(), vector_.end(), 0xFF);
  std::fill(feedback_.begin(), feedback_.end(), 0xFF);
  DoInit(key);
  DoEncode(vector_.data());
  feedback_ = vector_;
  vectorSet_ = true;
  SaveState();
}

void TCipher::InitKey(std::string_view keyText, THash& hash) {
  std::string digest = hash.CalcBuffer(keyText);
  Init(std::string_view(digest).substr(0, std::min(maxKeySize_, digest.size())));
  // Enciphering the digest in place wipes the key material; Done then undoes what that did to
  // state and feedback.
  digest = EncodeBuffer(digest);
  Done();
}

void TCipher::Done() {
  if (feedback_ != vector_) {
    buffer_ = feedback_;
    feedback_ = vector_;
  }
  RestoreState();
}

void TCipher::CheckState() const {
  if (vectorSet_)
    return;
  char message[256];
  std::snprintf(message, sizeof message, "%s is not initialized call Init() or InitKey() before.",
                ClassName());
  throw ECipherException(message);
}

void TCipher::EncodeTail(const std::uint8_t* source, std::uint8_t* dest, std::size_t count) {
  buffer_ = feedback_;
  DoEncode(buffer_.data());
  for (std::size_t i = 0; i < count; ++i)
    dest[i] = source[i] ^ buffer_[i];
  for (std::size_t i = 0; i < blockSize_; ++i)
    feedback_[i] ^= buffer_[i];
}

template <class TCodeBlock>
std::string TCipher::CodeBlocks(std::string_view source, TCodeBlock codeBlock) {
  CheckState();
  std::string result(source);
  auto* data = reinterpret_cast<std::uint8_t*>(result.data());
  std::size_t pos = 0;
  for (; pos + blockSize_ <= result.size(); pos += blockSize_)
    codeBlock(data + pos);
  if (pos < result.size())
    EncodeTail(data + pos, data + pos, result.size() - pos);
  return result;
}

std::string TCipher::EncodeBuffer(std::string_view source) {
  return CodeBlocks(source, [this](std::uint8_t* block) {
    for (std::size_t i = 0; i < blockSize_; ++i)
      block[i] ^= feedback_[i];
    DoEncode(block);
    for (std::size_t i = 0; i < blockSize_; ++i)
      feedback_[i] ^= block[i];
  });
}

std::string TCipher::DecodeBuffer(std::string_view source) {
  return CodeBlocks(source, [this](std::uint8_t* block) {
    // The next feedback is the cipher block XOR the current one, taken before the block is
    // overwritten by its plain text.
    for (std::size_t i = 0; i < blockSize_; ++i)
      buffer_[i] = block[i] ^ feedback_[i];
    DoDecode(block);
    for (std::size_t i = 0; i < blockSize_; ++i)
      block[i] ^= feedback_[i];
    feedback_ = buffer_;
  });
}

} // namespace quillon
