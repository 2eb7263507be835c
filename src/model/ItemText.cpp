#include "model/ItemText.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>

namespace quillon {

namespace {

// A text lives in a block: a 16-bit length, then the 16-bit distance back to the start of its
// chunk, then its bytes and a zero. A text of kOwnBlock bytes or more has a block of its own:
// the length field holds kOwnMarker and the real length follows as a size_t.
constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr std::size_t kOwnBlock = 4096;
constexpr std::uint16_t kOwnMarker = 0xFFFF;
constexpr std::size_t kChunkHeader = 4;
constexpr std::size_t kOwnHeader = 4 + sizeof(std::size_t);
static_assert(kOwnBlock < kOwnMarker && kChunkBytes <= 65536);

// The start of a chunk. Live counts the texts in it, plus one while it is the chunk its thread
// fills; the last one out frees it.
struct TChunk {
  std::atomic<std::uint32_t> Live{1};
  std::uint32_t Used = sizeof(TChunk);
};

// The chunks are the allocator here: raw memory, the header placed into it.
TChunk* NewChunk() {
  return std::construct_at(static_cast<TChunk*>(::operator new(kChunkBytes)));
}

void Drop(TChunk* chunk) {
  if (chunk->Live.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    std::destroy_at(chunk);
    ::operator delete(chunk);
  }
}

// Each thread fills a chunk of its own, so that taking room needs no lock.
struct TCursor {
  TChunk* Chunk = nullptr;
  ~TCursor() {
    if (Chunk != nullptr)
      Drop(Chunk);
  }
};
thread_local TCursor cursor;

std::uint16_t ReadU16(const char* at) {
  std::uint16_t value = 0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void WriteU16(char* at, std::uint16_t value) {
  std::memcpy(at, &value, sizeof value);
}

// A block for a text of size bytes (size > 0), its header written.
char* Allocate(std::size_t size) {
  if (size >= kOwnBlock) {
    char* block = static_cast<char*>(::operator new(kOwnHeader + size + 1));
    WriteU16(block, kOwnMarker);
    WriteU16(block + 2, 0);
    std::memcpy(block + 4, &size, sizeof size);
    return block;
  }
  const std::size_t need = kChunkHeader + size + 1;
  TChunk*& chunk = cursor.Chunk;
  if (chunk == nullptr || chunk->Used + need > kChunkBytes) {
    if (chunk != nullptr)
      Drop(chunk);
    chunk = NewChunk();
  }
  const std::uint32_t offset = chunk->Used;
  chunk->Used += static_cast<std::uint32_t>(need);
  chunk->Live.fetch_add(1, std::memory_order_relaxed);
  char* block = reinterpret_cast<char*>(chunk) + offset;
  WriteU16(block, static_cast<std::uint16_t>(size));
  WriteU16(block + 2, static_cast<std::uint16_t>(offset));
  return block;
}

} // namespace

std::size_t TItemText::size() const {
  if (block_ == nullptr)
    return 0;
  const std::uint16_t length = ReadU16(block_);
  if (length != kOwnMarker)
    return length;
  std::size_t size = 0;
  std::memcpy(&size, block_ + 4, sizeof size);
  return size;
}

const char* TItemText::data() const {
  if (block_ == nullptr)
    return "";
  return block_ + (ReadU16(block_) == kOwnMarker ? kOwnHeader : kChunkHeader);
}

void TItemText::Assign(std::string_view text) {
  if (text.empty()) {
    Release();
    return;
  }
  // The new block first: text may be this text's own bytes.
  char* fresh = Allocate(text.size());
  char* bytes = fresh + (ReadU16(fresh) == kOwnMarker ? kOwnHeader : kChunkHeader);
  std::memcpy(bytes, text.data(), text.size());
  bytes[text.size()] = '\0';
  Release();
  block_ = fresh;
}

void TItemText::Release() {
  if (block_ == nullptr)
    return;
  if (ReadU16(block_) == kOwnMarker)
    ::operator delete(block_);
  else
    Drop(reinterpret_cast<TChunk*>(block_ - ReadU16(block_ + 2)));
  block_ = nullptr;
}

namespace {
std::string Joined(std::string_view a, std::string_view b) {
  std::string text;
  text.reserve(a.size() + b.size());
  text.append(a).append(b);
  return text;
}
} // namespace

std::string operator+(const TItemText& a, const TItemText& b) {
  return Joined(a, b);
}
std::string operator+(const TItemText& a, std::string_view b) {
  return Joined(a, b);
}
std::string operator+(std::string_view a, const TItemText& b) {
  return Joined(a, b);
}
std::string operator+(const TItemText& a, const std::string& b) {
  return Joined(a, b);
}
std::string operator+(const std::string& a, const TItemText& b) {
  return Joined(a, b);
}
std::string operator+(std::string&& a, const TItemText& b) {
  a.append(b.view());
  return std::move(a);
}
std::string operator+(const TItemText& a, const char* b) {
  return Joined(a, b);
}
std::string operator+(const char* a, const TItemText& b) {
  return Joined(a, b);
}
std::string operator+(const TItemText& a, char b) {
  return Joined(a, std::string_view(&b, 1));
}
std::string operator+(char a, const TItemText& b) {
  return Joined(std::string_view(&a, 1), b);
}

std::ostream& operator<<(std::ostream& out, const TItemText& text) {
  return out << text.view();
}

} // namespace quillon
