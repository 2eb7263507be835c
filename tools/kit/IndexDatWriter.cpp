#include "kit/IndexDatWriter.h"

#include "winapi/LittleEndian.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillon::kit {

namespace {

using winapi::TFileTime;
using winapi::image::TIndexDatRecord;

constexpr std::size_t kBlockSize = 128;
constexpr std::size_t kHeaderSize = 0x4000;
// WinINet grows the file by 16 KB, i.e. 128 blocks at a time.
constexpr std::size_t kGrowBlocks = 128;
constexpr std::size_t kBitmapAt = 0x250;
static_assert(kMaxIndexDatBlocks == (kHeaderSize - kBitmapAt) * 8);
constexpr std::size_t kMaxCacheFolders = 32;
constexpr std::uint64_t kCacheLimit = 50u << 20;

// A hash table of 4 KB: a 16-byte head and 510 items.
constexpr std::size_t kHashTableBlocks = 32;
constexpr std::size_t kHashItemsPerTable = (kHashTableBlocks * kBlockSize - 16) / 8;
// An item WinINet never used: hash and offset both 3.
constexpr std::uint32_t kHashNeverUsed = 3;

// The URL record's fixed part, then its texts from offset 0x68, each 8-byte aligned.
constexpr std::size_t kUrlTextsAt = 0x68;
// The cache-folder index of a record without a folder of the table (cookies, history).
constexpr std::uint8_t kNoFolderByte = 0xFE;
constexpr std::uint8_t kRecordFormatIe6 = 0x10;

std::size_t Align8(std::size_t n) {
  return (n + 7) & ~std::size_t{7};
}

} // namespace

std::size_t IndexDatRecordBlocks(const TIndexDatRecord& r) {
  std::size_t size = kUrlTextsAt + Align8(r.Url.size() + 1);
  if (!r.FileName.empty())
    size += Align8(r.FileName.size() + 1);
  if (!r.Headers.empty())
    size += r.Headers.size() + 1;
  return (size + kBlockSize - 1) / kBlockSize;
}

namespace {

// A FILETIME (UTC) as a FAT date and time, to the even second; 0 outside 1980..2107.
std::uint32_t FatDateTime(TFileTime time) {
  const std::uint64_t ticks = time.dwLowDateTime | (std::uint64_t{time.dwHighDateTime} << 32);
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
  const std::int64_t seconds = static_cast<std::int64_t>(ticks / 10000000) - kSecondsFrom1601To1970;
  if (ticks == 0 || seconds < 0)
    return 0;
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  const std::int64_t days = seconds / 86400 + 719468;
  const std::int64_t secondOfDay = seconds % 86400;
  const std::int64_t era = days / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
  if (year < 1980 || year > 2107)
    return 0;
  const auto date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const auto timeOfDay = static_cast<std::uint32_t>(
      ((secondOfDay / 3600) << 11) | (((secondOfDay / 60) % 60) << 5) | ((secondOfDay % 60) / 2));
  return date | (timeOfDay << 16);
}

// Not WinINet's key hash: enough that an item reads as used (state bits clear) and never as
// unused (hash equal to its offset).
std::uint32_t ItemHash(const std::string& url, std::uint32_t offset) {
  std::uint32_t h = 2166136261u;
  for (const char c : url)
    h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  h &= ~std::uint32_t{0x3F};
  return h == offset ? h ^ 0x40 : h;
}

void PutFileTime(std::string& out, std::size_t at, TFileTime time) {
  PutU32At(out, at, time.dwLowDateTime);
  PutU32At(out, at + 4, time.dwHighDateTime);
}

void WriteRecord(std::string& out, std::size_t at, std::size_t blocks, const TIndexDatRecord& r,
                 std::uint8_t folder) {
  out.replace(at, 4, "URL ");
  PutU32At(out, at + 4, static_cast<std::uint32_t>(blocks));
  PutFileTime(out, at + 8, r.LastModified);
  PutFileTime(out, at + 16, r.LastAccess);
  PutU32At(out, at + 24, FatDateTime(r.Expire));
  PutU64At(out, at + 32, r.FileSize);
  PutU32At(out, at + 44, r.ExemptDelta);
  PutU32At(out, at + 48, 0x60);
  out[at + 56] = static_cast<char>(folder);
  out[at + 58] = static_cast<char>(kRecordFormatIe6);
  out[at + 59] = static_cast<char>(kRecordFormatIe6);
  PutU32At(out, at + 64, r.EntryType);
  PutU32At(out, at + 80, FatDateTime(r.LastSync));
  PutU32At(out, at + 84, r.HitRate);
  PutU32At(out, at + 88, r.UseCount);
  PutU32At(out, at + 92, FatDateTime(r.LastSync));

  std::size_t text = kUrlTextsAt;
  const auto put = [&](std::size_t field, const std::string& value) {
    PutU32At(out, at + field, static_cast<std::uint32_t>(text));
    out.replace(at + text, value.size(), value);
    text += value.size() + 1;
  };
  put(52, r.Url);
  text = Align8(text);
  if (!r.FileName.empty()) {
    put(60, r.FileName);
    text = Align8(text);
  }
  if (!r.Headers.empty()) {
    PutU32At(out, at + 72, static_cast<std::uint32_t>(r.Headers.size() + 1));
    put(68, r.Headers);
  }
}

} // namespace

std::string BuildIndexDat(const std::vector<std::string>& cacheFolders,
                          const std::vector<TIndexDatRecord>& records) {
  const std::size_t folderCount = std::min(cacheFolders.size(), kMaxCacheFolders);

  // Place each hash table before the records it lists, as WinINet adds a table when the last
  // one is full: table, its records, the next table, ...
  std::vector<std::size_t> blocksOf(records.size());
  std::size_t usedBlocks = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i % kHashItemsPerTable == 0)
      usedBlocks += kHashTableBlocks;
    blocksOf[i] = IndexDatRecordBlocks(records[i]);
    usedBlocks += blocksOf[i];
  }
  if (records.empty())
    usedBlocks = kHashTableBlocks;
  const std::size_t totalBlocks = (usedBlocks + kGrowBlocks - 1) / kGrowBlocks * kGrowBlocks;
  if (totalBlocks > kMaxIndexDatBlocks)
    throw std::length_error("an index.dat holds at most " + std::to_string(kMaxIndexDatBlocks) +
                            " blocks; these records need " + std::to_string(usedBlocks));
  const std::size_t fileSize = kHeaderSize + totalBlocks * kBlockSize;

  std::string out(fileSize, '\0');
  out.replace(0, 27, "Client UrlCache MMF Ver 5.2");
  PutU32At(out, 28, static_cast<std::uint32_t>(fileSize));
  PutU32At(out, 32, static_cast<std::uint32_t>(kHeaderSize));
  PutU32At(out, 36, static_cast<std::uint32_t>(totalBlocks));
  PutU32At(out, 40, static_cast<std::uint32_t>(usedBlocks));
  PutU64At(out, 48, kCacheLimit);
  PutU32At(out, 72, static_cast<std::uint32_t>(folderCount));
  for (std::size_t f = 0; f < folderCount; ++f)
    out.replace(76 + f * 12 + 4, std::min<std::size_t>(cacheFolders[f].size(), 8), cacheFolders[f],
                0, 8);

  std::vector<std::uint32_t> filesInFolder(folderCount, 0);
  std::uint64_t cacheSize = 0;
  std::size_t at = kHeaderSize;
  std::size_t table = 0;
  const auto startTable = [&](std::size_t sequence) {
    if (sequence > 0)
      PutU32At(out, table + 8, static_cast<std::uint32_t>(at));
    table = at;
    out.replace(table, 4, "HASH");
    PutU32At(out, table + 4, kHashTableBlocks);
    PutU32At(out, table + 12, static_cast<std::uint32_t>(sequence));
    for (std::size_t item = 0; item < kHashItemsPerTable; ++item) {
      PutU32At(out, table + 16 + item * 8, kHashNeverUsed);
      PutU32At(out, table + 20 + item * 8, kHashNeverUsed);
    }
    at += kHashTableBlocks * kBlockSize;
  };
  if (records.empty())
    startTable(0);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i % kHashItemsPerTable == 0)
      startTable(i / kHashItemsPerTable);
    const TIndexDatRecord& r = records[i];
    const bool inFolder = r.CacheFolder < folderCount;
    WriteRecord(out, at, blocksOf[i], r, inFolder ? r.CacheFolder : kNoFolderByte);
    const std::size_t item = table + 16 + (i % kHashItemsPerTable) * 8;
    PutU32At(out, item, ItemHash(r.Url, static_cast<std::uint32_t>(at)));
    PutU32At(out, item + 4, static_cast<std::uint32_t>(at));
    if (inFolder && !r.FileName.empty())
      ++filesInFolder[r.CacheFolder];
    cacheSize += r.FileSize;
    at += blocksOf[i] * kBlockSize;
  }

  PutU64At(out, 56, cacheSize);
  for (std::size_t f = 0; f < folderCount; ++f)
    PutU32At(out, 76 + f * 12, filesInFolder[f]);
  for (std::size_t b = 0; b < usedBlocks; ++b)
    out[kBitmapAt + b / 8] = static_cast<char>(out[kBitmapAt + b / 8] | (1 << (b % 8)));
  return out;
}

} // namespace quillon::kit
