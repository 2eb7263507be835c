#pragma once
// Builders of the tagged records of Opera's binary files, for hand-made test files, and the
// real samples.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace quillon::test {

// A field or record: tag, two-byte big-endian length, payload.
inline std::string Field(std::uint8_t tag, std::string_view payload) {
  std::string out(1, static_cast<char>(tag));
  out.push_back(static_cast<char>(payload.size() >> 8));
  out.push_back(static_cast<char>(payload.size() & 0xFF));
  return out.append(payload);
}

inline std::string Num(std::uint8_t tag, std::uint64_t value, int bytes = 4) {
  std::string payload;
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
    payload.push_back(static_cast<char>(value >> shift));
  return Field(tag, payload);
}

inline std::string Flag(std::uint8_t tag) {
  return std::string(1, static_cast<char>(tag));
}

// The bytes of a sample of samples/opera; empty when it is absent.
inline std::string ReadOperaSample(const char* name) {
  std::ifstream in(std::filesystem::path(QUILLON_SAMPLES_DIR) / "opera" / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace quillon::test
