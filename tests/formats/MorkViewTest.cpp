// The order the Mork viewer lists dictionary entries in: by id, without regard to ASCII case,
// equal ids in file order.

#include "formats/MorkView.h"

#include "winapi/TextCase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace quillon {
namespace {

TTextList ListOf(const std::vector<std::string>& entries) {
  TTextList list;
  for (const std::string& entry : entries) {
    list.OpenLine().append(entry);
    list.CloseLine();
  }
  return list;
}

TEST(MorkIdOrder, OrdersIdsAsTextIgnoringCaseAndKeepsFileOrderOfEqualOnes) {
  using namespace std::string_literals;
  const struct {
    std::vector<std::string> entries;
    std::vector<std::uint32_t> order;
  } cases[] = {
      {{"8F=a", "80=b", "100=c"}, {2, 1, 0}},
      {{"b=1", "A=2", "a=3", "B=4"}, {1, 2, 0, 3}},
      // Ids alike in their first eight bytes are told apart by the rest.
      {{"abcdefghZ=1", "abcdefghA=2", "abcdefgh=3", "ABCDEFGHa=4"}, {2, 1, 3, 0}},
      // An empty id first; an entry without "=" is all id; a NUL byte sorts after the id's end.
      {{"a\0=1"s, "a=2", "noeq", "=x"}, {3, 1, 0, 2}},
      {{}, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MorkIdOrder(ListOf(c.entries)), c.order) << c.entries.size();
}

TEST(MorkIdOrder, AgreesWithAComparisonSortOnManyIds) {
  std::mt19937 random(7);
  std::vector<std::string> entries;
  for (int i = 0; i < 70000; ++i) {
    std::string id;
    for (int k = static_cast<int>(random() % 12); k >= 0; --k)
      id += "0123456789abcdefABCDEF"[random() % 22];
    entries.push_back(id + "=" + std::to_string(i));
  }
  std::vector<std::uint32_t> expected(entries.size());
  std::iota(expected.begin(), expected.end(), 0u);
  std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
    return LowerCaseAscii(entries[a].substr(0, entries[a].find('='))) <
           LowerCaseAscii(entries[b].substr(0, entries[b].find('=')));
  });
  EXPECT_EQ(MorkIdOrder(ListOf(entries)), expected);
}

} // namespace
} // namespace quillon
