// URL-cache index files (index.dat): reads the input, deletes every record it found from a copy,
// and reads again. The 16 KB header is mostly allocation bitmap, which the reader never looks at,
// so the input leaves it out: its first 0x250 bytes are the header, the rest the blocks from
// 0x4000 on (an input shorter than that is the whole file, a header cut short). scripts/fuzz.sh
// compacts the real samples the same way.
//
// Checked beyond "no crash": a delete succeeds for every record of a 5.2 file and for none of a
// 4.7 one (which stays unchanged); no deleted record is found again; deleting the first record of
// an undamaged file leaves exactly the others.

#include "winapi/image/IndexDat.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <unordered_set>

using namespace quillon::winapi::image;

namespace {

constexpr std::size_t kHeaderPart = 0x250;
constexpr std::size_t kBlocksAt = 0x4000;

std::string Expand(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  if (size <= kHeaderPart)
    return input;
  std::string file = input.substr(0, kHeaderPart);
  file.resize(kBlocksAt, '\0');
  file.append(input, kHeaderPart);
  return file;
}

void Check(bool condition) {
  if (!condition)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file = Expand(data, size);
  TIndexDat dat;
  try {
    dat = ReadIndexDat(file);
  } catch (const std::runtime_error&) {
    return 0;
  }
  const bool deletable = dat.Version == "5.2";

  std::string emptied = file;
  std::unordered_set<std::uint32_t> deleted;
  for (const TIndexDatRecord& r : dat.Records) {
    Check(DeleteIndexDatRecord(emptied, r) == deletable);
    deleted.insert(r.Offset);
  }
  if (!deletable) {
    Check(emptied == file);
    return 0;
  }
  for (const TIndexDatRecord& r : ReadIndexDat(emptied).Records)
    Check(deleted.count(r.Offset) == 0);

  if (dat.Records.empty() || !dat.Damage.empty())
    return 0;
  std::string withoutFirst = file;
  Check(DeleteIndexDatRecord(withoutFirst, dat.Records.front()));
  const TIndexDat after = ReadIndexDat(withoutFirst);
  Check(after.Damage.empty() && after.Records.size() + 1 == dat.Records.size());
  for (std::size_t i = 0; i < after.Records.size(); ++i)
    Check(after.Records[i].Offset == dat.Records[i + 1].Offset &&
          after.Records[i].Url == dat.Records[i + 1].Url);
  return 0;
}
