#include "winapi/image/IndexDat.h"

#include "winapi/LittleEndian.h"

#include <optional>
#include <stdexcept>

// The file: a 16 KB header (signature, sizes, the cache-folder table, the allocation bitmap), then
// 128-byte blocks. Hash tables and URL, REDR and LEAK records each take whole blocks. The hash
// tables form a chain from the header; their items point at the records, and WinINet enumerates
// the cache in the order of that chain and its items.

namespace quillon::winapi::image {

namespace {

constexpr std::string_view kSignature = "Client UrlCache MMF Ver ";
constexpr std::size_t kSignatureSize = 28;
constexpr std::size_t kBlockSize = 128;
constexpr std::size_t kHeaderSize = 0x4000; // the first block follows it

// Header fields.
constexpr std::size_t kFileSizeAt = 28;
constexpr std::size_t kHashTableAt = 32;
constexpr std::size_t kAllocatedBlocksAt = 40;
constexpr std::size_t kCacheSizeAt = 56; // 64-bit
constexpr std::size_t kFolderCountAt = 72;
constexpr std::size_t kFoldersAt = 76;
constexpr std::size_t kFolderEntrySize = 12; // file count, then an 8-character name
constexpr std::size_t kFolderNameSize = 8;
constexpr std::size_t kMaxCacheFolders = 32;
constexpr std::size_t kBitmapAt = 0x250;
// The bitmap ends where the blocks begin, which bounds the blocks it can describe.
constexpr std::size_t kBitmapBlocks = (kHeaderSize - kBitmapAt) * 8;

// Hash tables: "HASH", block count, next table, sequence number, then 8-byte items (hash, record
// offset).
constexpr std::size_t kHashItemsAt = 16;
constexpr std::size_t kHashItemSize = 8;
// An item's hash carries its state in the low bits: bit 0 set is a free item.
constexpr std::uint32_t kHashFree = 0x1;
constexpr std::uint32_t kHashNeverSet = 0x0BADF00D;
constexpr std::uint32_t kHashNeverSetIe8 = 0xDEADBEEF;

// Where the fields of a URL record lie; 4.7 keeps the expiry as a FILETIME and has no exempt
// delta, and everything after the file size sits 4 bytes later.
struct TUrlLayout {
  std::size_t FixedSize;
  bool FatExpire;
  bool WideFileSize; // the upper 32 bits follow the lower
  std::size_t ExemptDelta;
  std::size_t UrlOffset, CacheFolder, FileNameOffset, EntryType, DataOffset, DataSize;
  std::size_t LastSync, HitRate, UseCount;
};
constexpr std::size_t kNoField = 0;
constexpr TUrlLayout kUrl52{96, true, true, 44, 52, 56, 60, 64, 68, 72, 80, 84, 88};
constexpr TUrlLayout kUrl47{104, false, false, kNoField, 56, 60, 64, 68, 72, 76, 84, 88, 92};
constexpr std::size_t kLastModifiedAt = 8;
constexpr std::size_t kLastAccessAt = 16;
constexpr std::size_t kExpireAt = 24;
constexpr std::size_t kFileSizeLowAt = 32;

std::uint32_t U32(std::string_view bytes, std::size_t at) {
  return ReadU32At(bytes, at).value_or(0);
}

std::uint64_t U64(std::string_view bytes, std::size_t at) {
  return U32(bytes, at) | (std::uint64_t{U32(bytes, at + 4)} << 32);
}

TFileTime FileTimeAt(std::string_view bytes, std::size_t at) {
  return {U32(bytes, at), U32(bytes, at + 4)};
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

std::string Hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + out;
}

// The text at a record-relative offset up to its NUL (or the record's end).
std::string_view TextIn(std::string_view record, std::size_t at) {
  const std::string_view rest = record.substr(at);
  return rest.substr(0, rest.find('\0'));
}

std::optional<std::string> VersionOf(std::string_view bytes) {
  if (bytes.size() < kSignatureSize || bytes.substr(0, kSignature.size()) != kSignature)
    return std::nullopt;
  return std::string(TextIn(bytes.substr(0, kSignatureSize), kSignature.size()));
}

// Whether [offset, offset + blocks * 128) is a run of whole blocks inside the file.
bool BlocksInFile(std::size_t fileSize, std::uint64_t offset, std::uint64_t blocks) {
  return offset >= kHeaderSize && (offset - kHeaderSize) % kBlockSize == 0 && blocks > 0 &&
         offset <= fileSize && blocks <= (fileSize - offset) / kBlockSize;
}

bool UnusedHashItem(std::uint32_t hash, std::uint32_t offset) {
  return hash == offset || (hash & kHashFree) != 0 || hash == kHashNeverSet ||
         hash == kHashNeverSetIe8;
}

class TIndexDatReader {
public:
  TIndexDatReader(std::string_view bytes, TIndexDat& out)
      : bytes_(bytes), out_(out),
        claimed_(bytes.size() > kHeaderSize ? (bytes.size() - kHeaderSize) / kBlockSize : 0, 0) {}

  void Read() {
    if (bytes_.size() < kHeaderSize) {
      out_.Damage =
          "the file ends inside its header (" + std::to_string(bytes_.size()) + " of 16384 bytes)";
      return;
    }
    if (!ReadCacheFolders() || !WalkHashTables())
      return;
    const std::uint32_t declared = U32(bytes_, kFileSizeAt);
    if (declared > bytes_.size())
      out_.Damage = "the file is shorter than its header says (" + std::to_string(bytes_.size()) +
                    " of " + std::to_string(declared) + " bytes)";
  }

private:
  bool Fail(std::string why) {
    out_.Damage = std::move(why);
    return false;
  }

  bool ReadCacheFolders() {
    const std::uint32_t count = U32(bytes_, kFolderCountAt);
    if (count > kMaxCacheFolders)
      return Fail("the cache-folder table claims " + std::to_string(count) + " folders (at most " +
                  std::to_string(kMaxCacheFolders) + ")");
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = kFoldersAt + i * kFolderEntrySize + 4;
      out_.CacheFolders.emplace_back(TextIn(bytes_.substr(at, kFolderNameSize), 0));
    }
    return true;
  }

  // Marks blocks as taken by one structure; false when one of them already is, which is how a
  // looping chain, an item listed twice and overlapping records show.
  bool Claim(std::size_t offset, std::size_t blocks) {
    const std::size_t first = (offset - kHeaderSize) / kBlockSize;
    for (std::size_t b = first; b < first + blocks; ++b)
      if (claimed_[b] != 0)
        return false;
    for (std::size_t b = first; b < first + blocks; ++b)
      claimed_[b] = 1;
    return true;
  }

  bool WalkHashTables() {
    std::uint32_t table = U32(bytes_, kHashTableAt);
    while (table != 0) {
      const std::string where = "the hash table at " + Hex(table);
      if (!BlocksInFile(bytes_.size(), table, 1) || bytes_.substr(table, 4) != "HASH")
        return Fail(where + " is not a hash table inside the file");
      const std::uint32_t blocks = U32(bytes_, table + 4);
      if (!BlocksInFile(bytes_.size(), table, blocks))
        return Fail(where + " claims " + std::to_string(blocks) + " blocks, past the end");
      if (!Claim(table, blocks))
        return Fail(where + " is reached twice or overlaps a record (the chain loops)");
      const std::size_t end = table + std::size_t{blocks} * kBlockSize;
      for (std::size_t item = table + kHashItemsAt; item + kHashItemSize <= end;
           item += kHashItemSize)
        if (!ReadItem(item))
          return false;
      table = U32(bytes_, table + 8);
    }
    return true;
  }

  bool ReadItem(std::size_t item) {
    const std::uint32_t hash = U32(bytes_, item);
    const std::uint32_t offset = U32(bytes_, item + 4);
    if (UnusedHashItem(hash, offset))
      return true;
    if (!BlocksInFile(bytes_.size(), offset, 1))
      return Fail("the hash-table item at " + Hex(item) + " points to " + Hex(offset) +
                  ", not a block of the file");
    // REDR, LEAK and group records are no entries.
    if (bytes_.substr(offset, 4) != "URL ")
      return true;
    const std::string where = "the URL record at " + Hex(offset);
    const std::uint32_t blocks = U32(bytes_, offset + 4);
    if (!BlocksInFile(bytes_.size(), offset, blocks))
      return Fail(where + " claims " + std::to_string(blocks) + " blocks, past the end");
    if (!Claim(offset, blocks))
      return Fail(where + " is listed twice or overlaps another record");
    const std::string_view record = bytes_.substr(offset, std::size_t{blocks} * kBlockSize);
    const TUrlLayout& layout = out_.Version == "5.2" ? kUrl52 : kUrl47;
    if (record.size() < layout.FixedSize)
      return Fail(where + " is shorter than a URL record");

    TIndexDatRecord r;
    r.Offset = offset;
    r.HashItem = static_cast<std::uint32_t>(item);
    const auto text = [&](std::size_t field, const char* name, std::string& to) {
      const std::uint32_t at = U32(record, field);
      if (at == 0)
        return true;
      if (at >= record.size())
        return Fail(where + ": its " + name + " offset " + Hex(at) + " lies outside the record");
      to = TextIn(record, at);
      return true;
    };
    if (!text(layout.UrlOffset, "URL", r.Url) ||
        !text(layout.FileNameOffset, "file name", r.FileName))
      return false;
    const std::uint32_t dataAt = U32(record, layout.DataOffset);
    const std::uint32_t dataSize = U32(record, layout.DataSize);
    if (dataAt != 0 && dataSize != 0) {
      if (dataAt > record.size() || dataSize > record.size() - dataAt)
        return Fail(where + ": its headers (" + std::to_string(dataSize) + " bytes at " +
                    Hex(dataAt) + ") run past the record");
      r.Headers = TextIn(record.substr(dataAt, dataSize), 0);
    }
    const auto folder = static_cast<std::uint8_t>(record[layout.CacheFolder]);
    r.CacheFolder = folder < out_.CacheFolders.size() ? folder : kNoCacheFolder;
    r.EntryType = U32(record, layout.EntryType);
    r.UseCount = U32(record, layout.UseCount);
    r.HitRate = U32(record, layout.HitRate);
    r.FileSize = layout.WideFileSize ? U64(record, kFileSizeLowAt) : U32(record, kFileSizeLowAt);
    r.LastModified = FileTimeAt(record, kLastModifiedAt);
    r.LastAccess = FileTimeAt(record, kLastAccessAt);
    r.Expire = layout.FatExpire ? FatDateTimeToFileTime(U32(record, kExpireAt))
                                : FileTimeAt(record, kExpireAt);
    r.LastSync = FatDateTimeToFileTime(U32(record, layout.LastSync));
    r.ExemptDelta = layout.ExemptDelta == kNoField ? 0 : U32(record, layout.ExemptDelta);
    out_.Records.push_back(std::move(r));
    return true;
  }

  std::string_view bytes_;
  TIndexDat& out_;
  std::vector<std::uint8_t> claimed_; // one per block
};

} // namespace

TFileTime FatDateTimeToFileTime(std::uint32_t fatDateTime) {
  const unsigned date = fatDateTime & 0xFFFF;
  const unsigned time = fatDateTime >> 16;
  const unsigned day = date & 0x1F;
  const unsigned month = (date >> 5) & 0xF;
  const unsigned year = 1980 + (date >> 9);
  if (day == 0 || month == 0 || month > 12)
    return {};
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
  const std::int64_t seconds = DaysFromCivil(year, month, day) * 86400 + (time >> 11) * 3600 +
                               ((time >> 5) & 0x3F) * 60 + (time & 0x1F) * 2;
  const auto ticks = static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1970) * 10000000u;
  return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

TIndexDat ReadIndexDat(std::string_view bytes) {
  const auto version = VersionOf(bytes);
  if (!version)
    throw std::runtime_error("not a URL-cache index (no \"Client UrlCache MMF Ver\" signature)");
  if (*version != "5.2" && *version != "4.7")
    throw std::runtime_error("URL-cache index version \"" + *version + "\" is not supported");
  TIndexDat out;
  out.Version = *version;
  TIndexDatReader(bytes, out).Read();
  return out;
}

bool DeleteIndexDatRecord(std::string& bytes, const TIndexDatRecord& record) {
  const std::string_view view = bytes;
  if (VersionOf(view) != "5.2" || view.size() < kHeaderSize)
    return false;
  const std::size_t item = record.HashItem;
  const std::size_t offset = record.Offset;
  if (item < kHeaderSize + kHashItemsAt || item % kHashItemSize != 0 ||
      !ReadU32At(view, item + 4) || U32(view, item + 4) != offset ||
      UnusedHashItem(U32(view, item), U32(view, item + 4)))
    return false;
  if (!BlocksInFile(view.size(), offset, 1) || view.substr(offset, 4) != "URL ")
    return false;
  const std::uint32_t blocks = U32(view, offset + 4);
  if (!BlocksInFile(view.size(), offset, blocks))
    return false;
  const std::size_t size = std::size_t{blocks} * kBlockSize;
  // The item must not lie in the record it lists, and the record must still hold this URL.
  if (item >= offset && item < offset + size)
    return false;
  const std::string_view rec = view.substr(offset, size);
  const std::uint32_t urlAt = U32(rec, kUrl52.UrlOffset);
  if (size < kUrl52.FixedSize || urlAt >= size ||
      (urlAt == 0 ? std::string_view{} : TextIn(rec, urlAt)) != record.Url)
    return false;

  const std::uint64_t fileSize = U64(rec, kFileSizeLowAt);
  const auto folder = static_cast<std::uint8_t>(rec[kUrl52.CacheFolder]);
  const bool hasFile = U32(rec, kUrl52.FileNameOffset) != 0;

  // A freed item keeps the free bit and says so a second way: its offset equals its hash.
  PutU32At(bytes, item, kHashFree);
  PutU32At(bytes, item + 4, kHashFree);
  bytes.replace(offset, size, size, '\0');
  const std::size_t first = (offset - kHeaderSize) / kBlockSize;
  for (std::size_t b = first; b < first + blocks && b < kBitmapBlocks; ++b)
    bytes[kBitmapAt + b / 8] = static_cast<char>(bytes[kBitmapAt + b / 8] & ~(1 << (b % 8)));
  const std::uint32_t allocated = U32(bytes, kAllocatedBlocksAt);
  PutU32At(bytes, kAllocatedBlocksAt, allocated > blocks ? allocated - blocks : 0);
  const std::uint64_t cacheSize = U64(bytes, kCacheSizeAt);
  PutU64At(bytes, kCacheSizeAt, cacheSize > fileSize ? cacheSize - fileSize : 0);
  const std::uint32_t folders = U32(bytes, kFolderCountAt);
  if (hasFile && folder < folders && folders <= kMaxCacheFolders) {
    const std::size_t countAt = kFoldersAt + folder * kFolderEntrySize;
    const std::uint32_t files = U32(bytes, countAt);
    PutU32At(bytes, countAt, files > 0 ? files - 1 : 0);
  }
  return true;
}

} // namespace quillon::winapi::image
