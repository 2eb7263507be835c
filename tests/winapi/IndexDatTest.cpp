#include "winapi/image/IndexDat.h"

#include "MsiecfExport.h"
#include "kit/IndexDatWriter.h"
#include "kit/TempDir.h"
#include "winapi/LittleEndian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

using namespace quillon;
using namespace quillon::winapi;
using namespace quillon::winapi::image;

namespace {

const std::string kSamplesDir = QUILLON_SAMPLES_DIR "/ie";
const std::vector<std::string> kFolders = {"ENG3X4ZR", "5ZBG4UOD", "5F9C7HL9"};

// Header fields the tests look at after a delete.
constexpr std::size_t kAllocatedBlocksAt = 40;
constexpr std::size_t kCacheSizeAt = 56;
constexpr std::size_t kFolderFilesAt = 76; // then every 12 bytes
constexpr std::size_t kBitmapAt = 0x250;

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::uint32_t U32(std::string_view bytes, std::size_t at) {
  return ReadU32At(bytes, at).value();
}

TFileTime FileTime(std::uint64_t ticks) {
  return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

// Varied records: with and without a file, folder and headers, a size past 4 GB; FAT-kept times
// on even seconds so that they come back as given.
std::vector<TIndexDatRecord> SomeRecords(std::size_t count) {
  std::vector<TIndexDatRecord> records;
  constexpr std::uint64_t k2015 = 130849488000000000; // 2015-08-25 00:00:00 UTC
  for (std::size_t i = 0; i < count; ++i) {
    TIndexDatRecord r;
    const std::string n = std::to_string(i);
    if (i % 3 == 2) {
      r.Url = "Visited: alice@http://host" + n + ".example/";
      r.EntryType = 0x00200001;
    } else {
      r.Url = "http://host" + n + ".example/a/page" + n + ".html?q=" + std::string(i % 40, 'x');
      r.FileName = "page" + n + "[1].htm";
      r.CacheFolder = static_cast<std::uint8_t>(i % kFolders.size());
      r.Headers = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n~U:alice\r\n";
      r.EntryType = i % 2 ? 0x41 : 0x00100001;
      r.FileSize = i == 1 ? (std::uint64_t{5} << 32) + 7 : 1000 + i;
    }
    r.UseCount = static_cast<std::uint32_t>(i % 2);
    r.HitRate = static_cast<std::uint32_t>(i % 9);
    r.ExemptDelta = i % 4 ? 0 : 86400;
    r.LastModified = FileTime(k2015 - 1234567 * i);
    r.LastAccess = FileTime(k2015 + 7654321 * i);
    r.Expire = i % 5 ? FileTime(k2015 + 20000000ull * (3600 + i)) : TFileTime{};
    r.LastSync = FileTime(k2015 + 20000000ull * i);
    records.push_back(r);
  }
  return records;
}

void ExpectSameRecord(const TIndexDatRecord& got, const TIndexDatRecord& want) {
  EXPECT_EQ(got.Url, want.Url);
  EXPECT_EQ(got.FileName, want.FileName) << want.Url;
  EXPECT_EQ(got.CacheFolder, want.CacheFolder) << want.Url;
  EXPECT_EQ(got.Headers, want.Headers) << want.Url;
  EXPECT_EQ(got.EntryType, want.EntryType) << want.Url;
  EXPECT_EQ(got.UseCount, want.UseCount) << want.Url;
  EXPECT_EQ(got.HitRate, want.HitRate) << want.Url;
  EXPECT_EQ(got.FileSize, want.FileSize) << want.Url;
  EXPECT_EQ(got.ExemptDelta, want.ExemptDelta) << want.Url;
  for (const auto& [g, w] : {std::pair{got.LastModified, want.LastModified},
                             {got.LastAccess, want.LastAccess},
                             {got.Expire, want.Expire},
                             {got.LastSync, want.LastSync}}) {
    EXPECT_EQ(g.dwLowDateTime, w.dwLowDateTime) << want.Url;
    EXPECT_EQ(g.dwHighDateTime, w.dwHighDateTime) << want.Url;
  }
}

std::vector<std::string> Urls(const std::vector<TIndexDatRecord>& records) {
  std::vector<std::string> urls;
  for (const auto& r : records)
    urls.push_back(r.Url);
  return urls;
}

// msiecfexport's records of bytes written to a host file: the same as ours.
void ExpectMsiecfExportAgrees(const std::string& bytes, const std::string& what) {
  if (!test::MsiecfExportAvailable())
    return;
  const kit::TTempDir dir;
  const std::string path = dir.Path() + "/index.dat";
  std::ofstream(path, std::ios::binary) << bytes;
  const auto theirs = test::MsiecfExportLines(path);
  ASSERT_TRUE(theirs) << what << ": msiecfexport cannot open it";
  EXPECT_EQ(test::MsiecfLines(ReadIndexDat(bytes)), *theirs) << what;
}

} // namespace

// --- Real files ----------------------------------------------------------------------------

TEST(IndexDatSamples, ReadWithoutDamageAsMsiecfExportListsThem) {
  const struct {
    const char* file;
    std::size_t records, folders;
  } cases[] = {{"plaso_Content.IE5_index.dat", 21, 4},
               {"plaso_History.IE5_index.dat", 15, 0},
               {"plaso_MSHist012013031020130311-index.dat", 23, 0}};
  for (const auto& c : cases) {
    const std::string path = kSamplesDir + "/" + c.file;
    if (!std::filesystem::exists(path))
      GTEST_SKIP() << "sample missing: " << path;
    const TIndexDat dat = ReadIndexDat(ReadHostFile(path));
    EXPECT_EQ(dat.Version, "5.2") << c.file;
    EXPECT_EQ(dat.Damage, "") << c.file;
    EXPECT_EQ(dat.Records.size(), c.records) << c.file;
    EXPECT_EQ(dat.CacheFolders.size(), c.folders) << c.file;
    if (test::MsiecfExportAvailable()) {
      EXPECT_EQ(test::MsiecfLines(dat), test::MsiecfExportLines(path).value()) << c.file;
    }
  }
}

TEST(IndexDatSamples, FieldsMsiecfExportDoesNotPrintComeFromTheRecord) {
  const std::string path = kSamplesDir + "/plaso_Content.IE5_index.dat";
  if (!std::filesystem::exists(path))
    GTEST_SKIP() << "sample missing: " << path;
  const TIndexDat dat = ReadIndexDat(ReadHostFile(path));
  const auto it = std::find_if(dat.Records.begin(), dat.Records.end(),
                               [](const TIndexDatRecord& r) { return r.Offset == 0x6000; });
  ASSERT_NE(it, dat.Records.end());
  EXPECT_EQ(it->Url, "http://static-hp-neu.s-msn.com/sc/54/4f1880.ico");
  EXPECT_EQ(it->EntryType, 0x45u);
  EXPECT_EQ(it->HitRate, 1u);
  EXPECT_EQ(it->UseCount, 0u);
  EXPECT_EQ(it->FileSize, 4286u);
  EXPECT_EQ(it->Headers.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(it->Headers.substr(it->Headers.size() - 23), "~U:gold_administrator\r\n");
}

TEST(IndexDatSamples, DeletingAnyRecordLeavesTheOthersForBothReaders) {
  for (const char* file : {"plaso_Content.IE5_index.dat", "plaso_History.IE5_index.dat",
                           "plaso_MSHist012013031020130311-index.dat"}) {
    const std::string path = kSamplesDir + "/" + file;
    if (!std::filesystem::exists(path))
      GTEST_SKIP() << "sample missing: " << path;
    const std::string original = ReadHostFile(path);
    const TIndexDat before = ReadIndexDat(original);
    for (const std::size_t victim : {std::size_t{0}, before.Records.size() / 2}) {
      std::string bytes = original;
      ASSERT_TRUE(DeleteIndexDatRecord(bytes, before.Records[victim])) << file;
      auto expected = before.Records;
      expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(victim));
      const TIndexDat after = ReadIndexDat(bytes);
      EXPECT_EQ(after.Damage, "") << file;
      EXPECT_EQ(Urls(after.Records), Urls(expected)) << file;
      ExpectMsiecfExportAgrees(bytes, file);
    }
  }
}

// --- Times ---------------------------------------------------------------------------------

TEST(IndexDatFatTime, ConvertsAsStoredAndNoTimeForZeroOrImpossibleDates) {
  const struct {
    std::uint32_t fat;
    const char* expected; // empty: no time
  } cases[] = {
      {0xA140486B, "Mar 11, 2016 20:10:00"}, // from a real record
      {0x00000021, "Jan 01, 1980 00:00:00"},
      {0xBF7DFF9F, "Dec 31, 2107 23:59:58"}, // the last FAT date-time
      {0x00210000, ""},                      // no date
      {0x00000020, ""},                      // day 0
      {0x000001A1, ""},                      // month 13
      {0, ""},
  };
  for (const auto& c : cases) {
    const TFileTime t = FatDateTimeToFileTime(c.fat);
    const bool none = t.dwLowDateTime == 0 && t.dwHighDateTime == 0;
    EXPECT_EQ(none ? "" : test::MsiecfTime(t, false), c.expected) << std::hex << c.fat;
  }
}

// --- Writing -------------------------------------------------------------------------------

TEST(IndexDatWriter, RecordsReadBackFieldByFieldInTheirOrderAcrossHashTables) {
  const auto records = SomeRecords(1100); // three hash tables of 510 items
  const std::string bytes = kit::BuildIndexDat(kFolders, records);
  EXPECT_EQ(bytes.size() % 0x4000, 0u);
  const TIndexDat dat = ReadIndexDat(bytes);
  EXPECT_EQ(dat.Version, "5.2");
  EXPECT_EQ(dat.Damage, "");
  EXPECT_EQ(dat.CacheFolders, kFolders);
  ASSERT_EQ(dat.Records.size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i)
    ExpectSameRecord(dat.Records[i], records[i]);
  ExpectMsiecfExportAgrees(bytes, "written file");
}

TEST(IndexDatWriter, EmptyCacheAndBlockLimit) {
  const std::string empty = kit::BuildIndexDat({}, {});
  EXPECT_EQ(empty.size(), 0x8000u);
  const TIndexDat dat = ReadIndexDat(empty);
  EXPECT_TRUE(dat.Records.empty());
  EXPECT_EQ(dat.Damage, "");
  ExpectMsiecfExportAgrees(empty, "empty file");

  // Past what the allocation bitmap describes: 126 records of 1,000 blocks and their table.
  std::vector<TIndexDatRecord> large(126);
  for (auto& r : large) {
    r.Url = "http://h/";
    r.Headers = std::string(1000 * 128 - 200, 'h');
  }
  EXPECT_EQ(ReadIndexDat(kit::BuildIndexDat({}, large)).Records.size(), large.size());
  large.push_back(large.front());
  EXPECT_THROW(kit::BuildIndexDat({}, large), std::length_error);
}

// --- Deleting ------------------------------------------------------------------------------

TEST(IndexDatDelete, RemovesOneRecordAndKeepsTheCountsOfTheHeader) {
  const auto records = SomeRecords(600); // two hash tables
  const std::string original = kit::BuildIndexDat(kFolders, records);
  const TIndexDat before = ReadIndexDat(original);
  for (const std::size_t victim : {0, 1, 300, 509, 510, 599}) {
    std::string bytes = original;
    const TIndexDatRecord& r = before.Records[victim];
    ASSERT_TRUE(DeleteIndexDatRecord(bytes, r)) << victim;
    auto expected = records;
    expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(victim));
    const TIndexDat after = ReadIndexDat(bytes);
    EXPECT_EQ(after.Damage, "") << victim;
    EXPECT_EQ(Urls(after.Records), Urls(expected)) << victim;

    const std::uint32_t blocks = U32(original, r.Offset + 4);
    EXPECT_EQ(U32(bytes, kAllocatedBlocksAt), U32(original, kAllocatedBlocksAt) - blocks);
    const auto cacheSize = [](std::string_view b) {
      return U32(b, kCacheSizeAt) | (std::uint64_t{U32(b, kCacheSizeAt + 4)} << 32);
    };
    EXPECT_EQ(cacheSize(bytes), cacheSize(original) - r.FileSize) << victim;
    for (std::size_t f = 0; f < kFolders.size(); ++f) {
      const bool lost = r.CacheFolder == f && !r.FileName.empty();
      EXPECT_EQ(U32(bytes, kFolderFilesAt + 12 * f), U32(original, kFolderFilesAt + 12 * f) - lost)
          << victim << " folder " << f;
    }
    const std::size_t firstBlock = (r.Offset - 0x4000) / 128;
    for (std::size_t b = firstBlock; b < firstBlock + blocks; ++b)
      EXPECT_EQ((bytes[kBitmapAt + b / 8] >> (b % 8)) & 1, 0) << victim << " block " << b;
    EXPECT_EQ(bytes.find(r.Url), std::string::npos) << victim;
    EXPECT_FALSE(DeleteIndexDatRecord(bytes, r)) << "deleted twice: " << victim;
    ExpectMsiecfExportAgrees(bytes, "after deleting record " + std::to_string(victim));
  }
}

TEST(IndexDatDelete, EveryRecordGoneLeavesAnEmptyCache) {
  const std::string original = kit::BuildIndexDat(kFolders, SomeRecords(520));
  std::string bytes = original;
  for (const auto& r : ReadIndexDat(original).Records)
    ASSERT_TRUE(DeleteIndexDatRecord(bytes, r)) << r.Url;
  EXPECT_TRUE(ReadIndexDat(bytes).Records.empty());
  EXPECT_EQ(U32(bytes, kAllocatedBlocksAt), 2 * 32u); // the two hash tables
  EXPECT_EQ(U32(bytes, kCacheSizeAt), 0u);
  for (std::size_t f = 0; f < kFolders.size(); ++f)
    EXPECT_EQ(U32(bytes, kFolderFilesAt + 12 * f), 0u);
  ExpectMsiecfExportAgrees(bytes, "every record deleted");
}

TEST(IndexDatDelete, RefusesARecordThatIsNotWhereTheReaderFoundIt) {
  const std::string original = kit::BuildIndexDat(kFolders, SomeRecords(20));
  const TIndexDatRecord found = ReadIndexDat(original).Records[5];
  const struct {
    const char* why;
    std::function<void(TIndexDatRecord&, std::string&)> change;
  } cases[] = {
      {"other URL", [](TIndexDatRecord& r, std::string&) { r.Url += "x"; }},
      {"other offset", [](TIndexDatRecord& r, std::string&) { r.Offset += 128; }},
      {"item out of the file", [](TIndexDatRecord& r, std::string&) { r.HashItem = 0xFFFFFFF8; }},
      {"item in the header", [](TIndexDatRecord& r, std::string&) { r.HashItem = 0x100; }},
      {"version 4.7", [](TIndexDatRecord&, std::string& b) { b.replace(24, 3, "4.7"); }},
      {"truncated", [](TIndexDatRecord& r, std::string& b) { b.resize(r.Offset + 64); }},
  };
  for (const auto& c : cases) {
    std::string bytes = original;
    TIndexDatRecord record = found;
    c.change(record, bytes);
    const std::string changed = bytes;
    EXPECT_FALSE(DeleteIndexDatRecord(bytes, record)) << c.why;
    EXPECT_EQ(bytes, changed) << c.why;
  }
}

// --- Version 4.7 ---------------------------------------------------------------------------

namespace {

// A written 5.2 file with its URL records moved to the 4.7 layout: expiry as a FILETIME, the
// fields after the 32-bit file size 4 bytes further on, no exempt delta.
std::string As47(const std::vector<TIndexDatRecord>& records) {
  std::string bytes = kit::BuildIndexDat(kFolders, records);
  const TIndexDat dat = ReadIndexDat(bytes);
  bytes.replace(24, 3, "4.7");
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::size_t at = dat.Records[i].Offset;
    const std::string fixed = bytes.substr(at, 96);
    const TIndexDatRecord& r = records[i];
    PutU32At(bytes, at + 24, r.Expire.dwLowDateTime);
    PutU32At(bytes, at + 28, r.Expire.dwHighDateTime);
    PutU32At(bytes, at + 36, 0); // no upper half of the size
    PutU32At(bytes, at + 44, 0);
    PutU32At(bytes, at + 48, 0);
    PutU32At(bytes, at + 52, 0);
    PutU32At(bytes, at + 60, 0);
    bytes[at + 60] = fixed[56];
    for (const std::size_t field : {52, 60, 64, 68, 72, 80, 84, 88})
      PutU32At(bytes, at + field + 4, U32(fixed, field));
    PutU32At(bytes, at + 100, 0);
  }
  return bytes;
}

} // namespace

TEST(IndexDat47, ReadsItsLayoutButIsNotDeleted) {
  auto records = SomeRecords(12);
  for (auto& r : records) {
    r.FileSize &= 0xFFFFFFFF;
    r.ExemptDelta = 0;
  }
  records[3].Expire = FileTime(130849488001234567); // a FILETIME keeps its fraction
  const std::string bytes = As47(records);
  const TIndexDat dat = ReadIndexDat(bytes);
  EXPECT_EQ(dat.Version, "4.7");
  EXPECT_EQ(dat.Damage, "");
  ASSERT_EQ(dat.Records.size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i)
    ExpectSameRecord(dat.Records[i], records[i]);
  std::string copy = bytes;
  EXPECT_FALSE(DeleteIndexDatRecord(copy, dat.Records[0]));
  EXPECT_EQ(copy, bytes);
  ExpectMsiecfExportAgrees(bytes, "4.7 file");
}

// --- Damage --------------------------------------------------------------------------------

TEST(IndexDatDamage, UnusedItemsAndOtherRecordKindsAreNoEntries) {
  const std::string original = kit::BuildIndexDat(kFolders, SomeRecords(6));
  const TIndexDat dat = ReadIndexDat(original);
  const std::uint32_t item = dat.Records[2].HashItem;
  const std::uint32_t record = dat.Records[2].Offset;
  const struct {
    const char* why;
    std::function<void(std::string&)> change;
  } cases[] = {
      {"never set", [&](std::string& b) { PutU32At(b, item, 0x0BADF00D); }},
      {"never set (IE8)", [&](std::string& b) { PutU32At(b, item, 0xDEADBEEF); }},
      {"hash equals offset", [&](std::string& b) { PutU32At(b, item, record); }},
      {"free bit", [&](std::string& b) { PutU32At(b, item, U32(b, item) | 1); }},
      {"REDR record", [&](std::string& b) { b.replace(record, 4, "REDR"); }},
      {"LEAK record", [&](std::string& b) { b.replace(record, 4, "LEAK"); }},
  };
  for (const auto& c : cases) {
    std::string bytes = original;
    c.change(bytes);
    const TIndexDat got = ReadIndexDat(bytes);
    EXPECT_EQ(got.Damage, "") << c.why;
    EXPECT_EQ(Urls(got.Records),
              (std::vector<std::string>{dat.Records[0].Url, dat.Records[1].Url, dat.Records[3].Url,
                                        dat.Records[4].Url, dat.Records[5].Url}))
        << c.why;
  }
}

TEST(IndexDatDamage, EndsTheReadingAndKeepsTheRecordsBefore) {
  const auto records = SomeRecords(600); // two hash tables
  const std::string original = kit::BuildIndexDat(kFolders, records);
  const TIndexDat dat = ReadIndexDat(original);
  const auto item = [&](std::size_t i) { return dat.Records[i].HashItem; };
  const auto at = [&](std::size_t i) { return dat.Records[i].Offset; };
  const std::uint32_t table0 = U32(original, 32);
  const std::uint32_t table1 = item(510) - 16;
  const struct {
    const char* why;
    std::function<void(std::string&)> change;
    std::size_t kept;
  } cases[] = {
      {"file cut inside a record", [&](std::string& b) { b.resize(at(400) + 64); }, 400},
      {"file cut inside the header", [&](std::string& b) { b.resize(1000); }, 0},
      {"chain loops", [&](std::string& b) { PutU32At(b, table1 + 8, table0); }, 600},
      {"table points at itself", [&](std::string& b) { PutU32At(b, table0 + 8, table0); }, 510},
      {"next table outside", [&](std::string& b) { PutU32At(b, table0 + 8, 0xFFFFFF80); }, 510},
      {"next table unaligned", [&](std::string& b) { PutU32At(b, table0 + 8, at(3) + 4); }, 510},
      {"next table is a record", [&](std::string& b) { PutU32At(b, table0 + 8, at(3)); }, 510},
      {"first table outside", [&](std::string& b) { PutU32At(b, 32, 0x7FFFFF80); }, 0},
      {"table of huge block count", [&](std::string& b) { PutU32At(b, table1 + 4, ~0u); }, 510},
      {"item offset outside", [&](std::string& b) { PutU32At(b, item(7) + 4, 0xFFFFFF80); }, 7},
      {"item offset in header", [&](std::string& b) { PutU32At(b, item(7) + 4, 0x80); }, 7},
      {"item listed twice", [&](std::string& b) { PutU32At(b, item(8) + 4, at(7)); }, 8},
      {"record of huge block count", [&](std::string& b) { PutU32At(b, at(9) + 4, ~0u); }, 9},
      {"records overlap", [&](std::string& b) { PutU32At(b, at(9) + 4, 40); }, 10},
      {"URL offset outside", [&](std::string& b) { PutU32At(b, at(11) + 52, 0x10000); }, 11},
      {"file name outside", [&](std::string& b) { PutU32At(b, at(12) + 60, ~0u); }, 12},
      {"headers run past", [&](std::string& b) { PutU32At(b, at(13) + 72, ~0u); }, 13},
      {"huge folder count", [&](std::string& b) { PutU32At(b, 72, 0x7FFFFFFF); }, 0},
  };
  for (const auto& c : cases) {
    std::string bytes = original;
    c.change(bytes);
    const TIndexDat got = ReadIndexDat(bytes);
    EXPECT_NE(got.Damage, "") << c.why;
    ASSERT_EQ(got.Records.size(), c.kept) << c.why << ": " << got.Damage;
    for (std::size_t i = 0; i < c.kept; ++i)
      ASSERT_EQ(got.Records[i].Url, records[i].Url) << c.why;
  }
}

TEST(IndexDatDamage, NoIndexFileThrows) {
  for (const std::string& bytes :
       {std::string(), std::string("Client UrlCache"), std::string(0x8000, 'x'),
        std::string("Client UrlCache MMF Ver 9.9") + std::string(0x8000, '\0')})
    EXPECT_THROW(ReadIndexDat(bytes), std::runtime_error) << bytes.substr(0, 30);
}
