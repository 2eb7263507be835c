// Opera's global.dat: reads the input's records, rewrites it without removing any (which must
// give the input back byte for byte), then without one record, which must leave the others read
// as before whenever the text keeps its record length.

#include "formats/OperaHistory.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace quillon;

namespace {

// The records' bytes, checked to make up the text up to its incomplete last record, in order
// and without gaps.
std::vector<std::string_view> Records(std::string_view text) {
  std::vector<std::string_view> records;
  TOperaHistoryReader reader(text);
  std::size_t end = 0;
  for (TOperaHistoryRecord r; reader.Next(r);) {
    if (r.Text.data() != text.data() + end)
      std::abort();
    end += r.Text.size();
    records.push_back(r.Text);
  }
  if (end != reader.End() || records.size() != reader.RecordCount())
    std::abort();
  return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> records = Records(text);

  TLineCounts none;
  const TOperaHistoryRewrite same = RewriteOperaHistory(text, none);
  if (same.Content != text || same.Removed != 0)
    std::abort();
  if (records.empty())
    return 0;

  const std::size_t pickIndex = size % records.size();
  TOperaHistoryReader all(text);
  std::vector<std::string> plain;
  for (TOperaHistoryRecord r; all.Next(r);)
    plain.push_back(r.Plaintext());
  const std::string pick = plain[pickIndex];
  TLineCounts one;
  ++one[pick];
  const TOperaHistoryRewrite fewer = RewriteOperaHistory(text, one);
  if (fewer.Removed != 1 || !one.empty())
    std::abort();
  // Removing a record can move another line into the sixth place and so change how the file
  // reads; where it does not, exactly that record is gone.
  if (OperaHistoryRecordLength(fewer.Content) != OperaHistoryRecordLength(text))
    return 0;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    if (plain[i] == pick) {
      plain.erase(plain.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  TOperaHistoryReader after(fewer.Content);
  std::vector<std::string> left;
  for (TOperaHistoryRecord r; after.Next(r);)
    left.push_back(r.Plaintext());
  if (left != plain)
    std::abort();
  return 0;
}
