// The image backend's case-insensitive text order: CompareString and lstrcmpi, and sort keys that
// give the same order.

#include "winapi/image/ImageWinApi.h"

#include "kit/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace quillon::winapi;

namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(ImageTextOrder, FoldsToLowerCaseThenComparesBytes) {
  quillon::kit::TTempDir dir;
  image::TImageConfig config;
  config.imageRoot = dir.Path();
  const TWinApiScope scope(std::make_shared<image::TImageWinApi>(config));
  const struct {
    std::string a, b;
    int order;
  } cases[] = {
      {"onet_cid", "onetzuo_ticket", -1}, // "_" sorts before the letters, as on Windows
      {"Z", "_", 1},
      {"[", "a", -1},
      {"MiXeD", "mixed", 0},
      {"Apple", "banana", -1},
      {"apple", "BANANA", -1},
      {"a b", "a_b", -1},
      {"ab", "abc", -1},
      {"", "a", -1},
      {"", "", 0},
      // Bytes above 127 are not folded: UTF-8 text orders by code point.
      {"\xc3\x89", "\xc3\xa9", -1},
      {"\xc3\xa9", "z", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(lstrcmpi(c.a, c.b)), c.order) << c.a << " | " << c.b;
    EXPECT_EQ(Sign(lstrcmpi(c.b, c.a)), -c.order) << c.b << " | " << c.a;
    std::string keyA, keyB;
    LCMapString(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, c.a, keyA);
    LCMapString(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, c.b, keyB);
    EXPECT_EQ(Sign(keyA.compare(keyB)), c.order) << c.a << " | " << c.b;
  }
}

} // namespace
