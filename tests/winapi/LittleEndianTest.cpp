#include "winapi/LittleEndian.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace {

using namespace quillon;

constexpr std::size_t kFar = std::numeric_limits<std::size_t>::max();

// An offset near SIZE_MAX must not wrap around into the buffer.
TEST(LittleEndian, ReadsOnlyWhatFitsWhollyInTheBuffer) {
  const std::string bytes("\x01\x02\x03\x04\xFF", 5);
  struct TCase {
    std::size_t off;
    std::optional<std::uint16_t> u16;
    std::optional<std::uint32_t> u32;
  };
  const TCase cases[] = {
      {0, 0x0201, 0x04030201},
      {1, 0x0302, 0xFF040302},
      {3, 0xFF04, std::nullopt},
      {4, std::nullopt, std::nullopt},
      {5, std::nullopt, std::nullopt},
      {kFar - 1, std::nullopt, std::nullopt},
      {kFar, std::nullopt, std::nullopt},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ReadU16At(bytes, c.off), c.u16) << c.off;
    EXPECT_EQ(ReadU32At(bytes, c.off), c.u32) << c.off;
  }
}

TEST(LittleEndian, WritesGrowTheBufferWithZeros) {
  std::string bytes = "ab";
  PutU16At(bytes, 1, 0x4443);
  EXPECT_EQ(bytes, "aCD");
  PutU32At(bytes, 5, 0x80FF0102u);
  EXPECT_EQ(bytes, std::string("aCD\0\0\x02\x01\xFF\x80", 9));
  PutU64At(bytes, 0, 0x0807060504030201ull);
  EXPECT_EQ(bytes, std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x80", 9));
  EXPECT_EQ(ReadU32At(bytes, 4), 0x08070605u);
}

} // namespace
