#pragma once
// The frame shared by the program's cipher and hash objects: a hash interface that turns a key
// text into key bytes, and a block cipher with an initialization vector and a running feedback
// block, chained in CTS mode. The concrete algorithms (Sapphire.h) fill in the block transforms.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class ECipherException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class EHashException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A message digest: Init, any number of Calc calls, Done, then Digest.
class THash {
public:
  virtual ~THash() = default;
  virtual void Init() = 0;
  virtual void Calc(std::string_view data) = 0;
  virtual void Done() = 0;
  // The digest bytes; valid after Done.
  virtual std::string Digest() const = 0;
  virtual std::size_t DigestSize() const = 0;

  // Init, Calc, Done in one call.
  std::string CalcBuffer(std::string_view data);
};

// Chaining modes. Only CTS exists: the list file is written with it, and the managers never choose
// another, so EncodeBuffer and DecodeBuffer always chain in CTS.
enum TCipherMode : std::uint8_t { cmCTS };

// A block cipher with vector, feedback and a saved copy of the algorithm's state, so that Done can
// put the object back to where Init left it.
class TCipher {
public:
  virtual ~TCipher() = default;
  TCipher(const TCipher&) = delete;
  TCipher& operator=(const TCipher&) = delete;

  virtual const char* ClassName() const = 0;
  std::size_t BlockSize() const { return blockSize_; }
  std::size_t MaxKeySize() const { return maxKeySize_; }

  // Keys the algorithm with raw bytes (at most MaxKeySize) and derives the vector.
  void Init(std::string_view key);
  // Keys the cipher with the digest of a key text.
  void InitKey(std::string_view keyText, THash& hash);
  // Puts state and feedback back to where Init left them.
  void Done();

  // Enciphers or deciphers one piece of a message; state and feedback carry on into the next
  // piece. A piece whose length is not a multiple of BlockSize must be the message's last.
  std::string EncodeBuffer(std::string_view source);
  std::string DecodeBuffer(std::string_view source);

  // Raises ECipherException while no vector has been set (before Init or InitKey).
  void CheckState() const;

protected:
  TCipher(std::size_t blockSize, std::size_t maxKeySize);

  virtual void DoInit(std::string_view key) = 0;
  virtual void DoEncode(std::uint8_t* block) = 0; // one block, in place
  virtual void DoDecode(std::uint8_t* block) = 0;
  virtual void SaveState() = 0;
  virtual void RestoreState() = 0;

private:
  // Enciphers a copy of the feedback to a key stream for the final partial block.
  void EncodeTail(const std::uint8_t* source, std::uint8_t* dest, std::size_t count);
  // A copy of source with each whole block passed in place to codeBlock and a final partial block
  // through the key stream: the shape both directions share.
  template <class TCodeBlock> std::string CodeBlocks(std::string_view source, TCodeBlock codeBlock);

  std::size_t blockSize_;
  std::size_t maxKeySize_;
  std::vector<std::uint8_t> vector_;
  std::vector<std::uint8_t> feedback_;
  std::vector<std::uint8_t> buffer_; // scratch block
  bool vectorSet_ = false;
};

} // namespace quillon
