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

std::vector<std::string> Records(std::string_view text) {
  std::vector<std::string> records;
  TOperaHistoryReader reader(text);
  std::string joined;
  for (TOperaHistoryRecord r; reader.Next(r);) {
    joined += r.Text;
    records.push_back(r.Plaintext());
  }
  // The records are the text up to the incomplete last one, in order and without gaps.
  if (joined != text.substr(0, reader.End()) || records.size() != reader.RecordCount())
    std::abort();
  return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> records = Records(text);

  TLineCounts none;
  const TOperaHistoryRewrite same = RewriteOperaHistory(text, none);
  if (same.Content != text || same.Removed != 0)
    std::abort();
  if (records.empty())
    return 0;

  const std::string pick = records[size % records.size()];
  TLineCounts one;
  ++one[pick];
  const TOperaHistoryRewrite fewer = RewriteOperaHistory(text, one);
  if (fewer.Removed != 1 || !one.empty())
    std::abort();
  // Removing a record can move another line into the sixth place and so change how the file
  // reads; where it does not, exactly that record is gone.
  if (OperaHistoryRecordLength(fewer.Content) != OperaHistoryRecordLength(text))
    return 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i] == pick) {
      records.erase(records.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (Records(fewer.Content) != records)
    std::abort();
  return 0;
}
