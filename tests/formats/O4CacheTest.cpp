#include "formats/O4Cache.h"

#include "formats/FileErrors.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "winapi/MemoryFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

using namespace quillon;

namespace {

std::string Field(std::uint8_t tag, std::string_view payload) {
  std::string out(1, static_cast<char>(tag));
  out.push_back(static_cast<char>(payload.size() >> 8));
  out.push_back(static_cast<char>(payload.size() & 0xFF));
  return out.append(payload);
}
std::string Num(std::uint8_t tag, std::uint64_t value, int bytes = 4) {
  std::string payload;
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
    payload.push_back(static_cast<char>(value >> shift));
  return Field(tag, payload);
}
std::string Flag(std::uint8_t tag) {
  return std::string(1, static_cast<char>(tag));
}

const std::string kHeader0 = TO4Stream::HeaderBytes(0x1000, 0x20000);
const std::string kHeader1 = TO4Stream::HeaderBytes(0x1000, 0x2001);

std::string Entry(std::string_view url) {
  return Field(0x01, Field(0x03, url) + Num(0x05, 42));
}

std::string ReadSample(const char* name) {
  const auto path = std::filesystem::path(QUILLON_SAMPLES_DIR) / "opera" / name;
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr char kCacheSample[] = "danylyuk_opcache_dcache4.url";

TEST(O4CacheSample, ReadsWholeAndSavesByteIdentical) {
  const std::string bytes = ReadSample(kCacheSample);
  if (bytes.empty())
    GTEST_SKIP() << "sample " << kCacheSample << " is absent";
  const auto root = TO4CacheRoot::FromBytes(bytes);
  ASSERT_TRUE(root->Valid);
  EXPECT_FALSE(root->LoadStop.Stopped) << root->LoadStop.Reason;
  EXPECT_EQ(root->Format, 0);
  // Counted in the dump: a top-level record 40 0005 "001FF" at 0x0C, then 78 entry records.
  ASSERT_EQ(root->EntryCount(), 78);
  // The first entry (01 02EC at 0x14): its time 0x05 is eight bytes 00000000 53624E50, its
  // 0x08 eight bytes holding 0x9D, its HTTP record (10 01A3 at 0xB9) gives status 0x1C = 200.
  const TO4CacheEntry& first = *root->Entries()[0];
  EXPECT_EQ(first.Url,
            "http://sitecheck2.opera.com/?host=ubuntulinux.ru&hdn=SHGFE0LkuARIo892rTbwqg==");
  EXPECT_EQ(first.Tag05, 0x53624E50u);
  EXPECT_EQ(first.Tag08, 0x9Du);
  EXPECT_EQ(first.Tag09, "text/xml");
  EXPECT_EQ(first.Tag0A, "utf-8");
  EXPECT_TRUE(first.Flag8F);
  EXPECT_EQ(first.HTTPRecord.Tag1C, 200u);
  EXPECT_EQ(first.HTTPRecord.Tag15, "Thu, 01 May 2014 13:38:24 GMT");
  EXPECT_EQ(first.HTTPRecord.Entry(), &first);
  EXPECT_EQ(root->Entries()[77]->Url,
            "http://sitecheck2.opera.com/?host=tokarchuk.ru&hdn=kwZ%2BwZl3nEubPoC920h0yg==");

  EXPECT_EQ(root->SaveToBytes(), bytes);
}

TEST(O4CacheSample, DeletingOneEntryDropsExactlyItsRecord) {
  const std::string bytes = ReadSample(kCacheSample);
  if (bytes.empty())
    GTEST_SKIP() << "sample " << kCacheSample << " is absent";
  const auto root = TO4CacheRoot::FromBytes(bytes);
  root->DeleteEntry(0); // 0x14 up to the next entry at 0x303
  std::string expected = bytes;
  expected.erase(0x14, 0x303 - 0x14);
  EXPECT_EQ(root->SaveToBytes(), expected);
  EXPECT_EQ(TO4CacheRoot::FromBytes(expected)->EntryCount(), 77);
}

TEST(O4CacheHeader, GivesValidAndFormatAndIsKeptOnSave) {
  const struct {
    std::string bytes;
    bool valid;
    int format;
  } cases[] = {
      {kHeader0, true, 0},
      {kHeader1, true, 1},
      {kHeader1 + Entry("http://a/"), true, 1},
      {TO4Stream::HeaderBytes(0x1000, 0x2000), false, 0}, // the cookie file's
      {kHeader0.substr(0, 11), false, 0},
  };
  for (const auto& c : cases) {
    const auto root = TO4CacheRoot::FromBytes(c.bytes);
    EXPECT_EQ(root->Valid, c.valid) << testing::PrintToString(c.bytes);
    EXPECT_EQ(root->Format, c.format) << testing::PrintToString(c.bytes);
    EXPECT_FALSE(root->LoadStop.Stopped);
    if (c.valid)
      EXPECT_EQ(root->SaveToBytes(), c.bytes);
    else
      EXPECT_EQ(root->EntryCount(), 0);
  }
}

// Tags the reader does not know are passed over by their length (below 0x80) or alone (from
// 0x80 on) wherever they stand, and saved as they were.
TEST(O4CacheUnknownTags, AreSkippedAndKept) {
  const std::string unknown = Field(0x50, std::string("\x1f\x8b\x00", 3)) + Flag(0xAB);
  const struct {
    const char* where;
    std::string bytes;
  } cases[] = {
      {"top level", kHeader0 + unknown + Entry("http://a/")},
      {"in an entry", kHeader0 + Field(0x01, Field(0x03, "http://a/") + unknown + Num(0x05, 42))},
      {"in the HTTP record",
       kHeader0 + Field(0x01, Field(0x03, "http://a/") + Num(0x05, 42) +
                                  Field(0x10, Field(0x3B, Field(0x3C, "Server")) + unknown +
                                                  Field(0x15, "v")))},
      {"in a link",
       kHeader0 + Field(0x01, Field(0x03, "http://a/") + Field(0x22, unknown + Field(0x23, "l")) +
                                  Num(0x05, 42))},
  };
  for (const auto& c : cases) {
    const auto root = TO4CacheRoot::FromBytes(c.bytes);
    EXPECT_FALSE(root->LoadStop.Stopped) << c.where << ": " << root->LoadStop.Reason;
    ASSERT_EQ(root->EntryCount(), 1) << c.where;
    EXPECT_EQ(root->Entries()[0]->Url, "http://a/") << c.where;
    EXPECT_EQ(root->Entries()[0]->Tag05, 42u) << c.where;
    EXPECT_EQ(root->SaveToBytes(), c.bytes) << c.where;
  }
}

TEST(O4CacheDamage, StopsWhereTheRecordBreaksAndKeepsWhatCameBefore) {
  const std::string good = kHeader0 + Entry("http://a/");
  const struct {
    const char* what;
    std::string tail;
    std::uint64_t offset;
  } cases[] = {
      // The entry says 5 bytes; its address field needs 6.
      {"field past its entry", std::string("\x01\x00\x05\x03\x00\x03xyz", 9), good.size() + 3},
      // The HTTP record inside says 2 bytes; its text needs 4.
      {"field past its HTTP record", std::string("\x01\x00\x05\x10\x00\x02\x15\x00\x01v", 10),
       good.size() + 6},
      {"record past the file", std::string("\x01\x00\x09\x03\x00", 5), good.size()},
      {"length cut short", std::string("\x01\x00", 2), good.size()},
  };
  for (const auto& c : cases) {
    const auto root = TO4CacheRoot::FromBytes(good + c.tail);
    EXPECT_TRUE(root->LoadStop.Stopped) << c.what;
    EXPECT_EQ(root->LoadStop.Offset, c.offset) << c.what;
    EXPECT_FALSE(root->LoadStop.Reason.empty()) << c.what;
    EXPECT_EQ(root->EntryCount(), 1) << c.what;
  }
}

TEST(O4CacheDamage, TruncationNeverGivesMoreThanTheWhole) {
  const std::string first = Entry("http://a/");
  const std::string whole = kHeader0 + first + Entry("http://b/");
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const auto root = TO4CacheRoot::FromBytes(whole.substr(0, size));
    // Cut at the end of the first entry the index is whole as far as anyone can tell; cut
    // anywhere inside an entry the load says so.
    const bool atBoundary = size <= 12 || size == 12 + first.size();
    EXPECT_EQ(root->LoadStop.Stopped, !atBoundary) << size;
    EXPECT_EQ(root->EntryCount(), size < 12 + first.size() ? 0 : 1) << size;
  }
}

TEST(O4CacheBuilt, ReadsBackEqualInBothFormats) {
  for (const int format : {0, 1}) {
    TO4CacheRoot built;
    built.Format = format;
    TO4CacheEntry& e = built.AddEntry();
    e.Url = "http://example.com/a.css";
    e.Tag04 = 4;
    e.Flag8B = true;
    e.Tag05 = 0x5A000000;
    e.Tag07 = 7;
    e.Tag08 = 8;
    e.Tag0A = "utf-8";
    e.Tag09 = "text/css";
    e.Flag8C = true;
    e.FileName = "opr00001.css";
    e.Flag8F = true;
    e.Tag27 = 0x27;
    TO4HTTPRecord& h = e.HTTPRecord;
    h.Tag15 = "Mon, 01 Jan 2024";
    h.Expires = 0x5B000000;
    h.Tag17 = "17";
    h.Tag18 = "18";
    h.Tag19 = "19";
    h.Tag1A = "1A";
    h.Tag1B = "OK";
    h.Tag1C = 200;
    h.Tag1D = "1D";
    h.Tag1E = 0x1E;
    h.Tag1F = "1F";
    h.Tag20 = "gzip";
    h.Tag21 = "21";
    h.Tag25 = 0x25;
    h.Tag26 = 0x26;
    h.FlagB0 = h.FlagB1 = true;
    e.AddLink().Tag23 = "first";
    e.AddLink().Tag24 = 2;
    built.AddEntry(); // an empty entry: its HTTP record holds only its numbers

    const std::string bytes = built.SaveToBytes();
    const auto read = TO4CacheRoot::FromBytes(bytes);
    EXPECT_EQ(read->Format, format);
    EXPECT_FALSE(read->LoadStop.Stopped) << read->LoadStop.Reason;
    ASSERT_EQ(read->EntryCount(), 2);
    const TO4CacheEntry& r = *read->Entries()[0];
    EXPECT_EQ(std::tie(r.Url, r.Tag0A, r.Tag09, r.FileName),
              std::tie(e.Url, e.Tag0A, e.Tag09, e.FileName));
    EXPECT_EQ(std::tie(r.Tag04, r.Tag05, r.Tag07, r.Tag08, r.Tag27),
              std::tie(e.Tag04, e.Tag05, e.Tag07, e.Tag08, e.Tag27));
    EXPECT_TRUE(r.Flag8B && r.Flag8C && r.Flag8F);
    const TO4HTTPRecord& rh = r.HTTPRecord;
    EXPECT_EQ(std::tie(rh.Tag15, rh.Tag17, rh.Tag18, rh.Tag19, rh.Tag1A, rh.Tag1B, rh.Tag1D,
                       rh.Tag1F, rh.Tag20, rh.Tag21),
              std::tie(h.Tag15, h.Tag17, h.Tag18, h.Tag19, h.Tag1A, h.Tag1B, h.Tag1D, h.Tag1F,
                       h.Tag20, h.Tag21));
    EXPECT_EQ(std::tie(rh.Expires, rh.Tag1C, rh.Tag1E, rh.Tag25, rh.Tag26),
              std::tie(h.Expires, h.Tag1C, h.Tag1E, h.Tag25, h.Tag26));
    EXPECT_TRUE(rh.FlagB0 && rh.FlagB1);
    ASSERT_EQ(r.Links().size(), 2u);
    EXPECT_EQ(r.Links()[0]->Tag23, "first");
    EXPECT_EQ(r.Links()[1]->Tag24, 2u);
    EXPECT_EQ(read->SaveToBytes(), bytes);
  }
}

TEST(O4CacheBuilt, LaysOutLinksAndAnEmptyHTTPRecordWhereOperaHasThem) {
  TO4CacheRoot built;
  TO4CacheEntry& e = built.AddEntry();
  e.Url = "u";
  e.Flag8B = true;
  e.AddLink().Tag23 = "a";
  e.AddLink().Tag23 = "b";
  const std::string link =
      Field(0x22, Field(0x23, "a") + Num(0x24, 0)) + Field(0x22, Field(0x23, "b") + Num(0x24, 0));
  const std::string http =
      Field(0x10, Num(0x16, 0) + Num(0x1C, 0) + Num(0x1E, 0) + Num(0x25, 0) + Num(0x26, 0));
  const std::string expected =
      kHeader0 + Field(0x01, Field(0x03, "u") + Num(0x04, 0) + Flag(0x8B) + link + Num(0x05, 0) +
                                 Num(0x07, 0) + Num(0x08, 0) + http + Num(0x27, 0));
  EXPECT_EQ(built.SaveToBytes(), expected);
}

TEST(O4CacheEdit, DeletingEntriesKeepsTheRestAndAddsNewOnesAtTheEnd) {
  const std::string bytes =
      kHeader0 + Entry("http://a/") + Flag(0xAB) + Entry("http://b/") + Entry("http://c/");
  const auto root = TO4CacheRoot::FromBytes(bytes);
  EXPECT_EQ(root->DeleteEntriesIf([](const TO4CacheEntry& e) { return e.Url != "http://b/"; }), 2);
  root->AddEntry().Url = "http://d/";
  const auto read = TO4CacheRoot::FromBytes(root->SaveToBytes());
  ASSERT_EQ(read->EntryCount(), 2);
  EXPECT_EQ(read->Entries()[0]->Url, "http://b/");
  EXPECT_EQ(read->Entries()[1]->Url, "http://d/");
  EXPECT_EQ(root->SaveToBytes().substr(0, 12 + 1 + Entry("x").size() + 8),
            kHeader0 + Flag(0xAB) + Entry("http://b/"));
}

TEST(O4CacheMemory, RefusesAFileWhoseEntriesWouldPassItsBudget) {
  constexpr std::size_t kEntries = 2'000'000; // three-byte entries, each a node of hundreds
  std::string bytes = kHeader0;
  bytes.reserve(bytes.size() + 3 * kEntries);
  for (std::size_t i = 0; i < kEntries; ++i)
    bytes += std::string("\x01\x00\x00", 3);
  try {
    TO4CacheRoot::FromBytes(bytes);
    FAIL() << "no EFileTooLarge";
  } catch (const EFileTooLarge& e) {
    EXPECT_NE(std::string(e.what()).find("dcache4.url"), std::string::npos) << e.what();
  }
}

class O4CacheFile : public ::testing::Test {
protected:
  test::TMemoryFiles files_;
};

TEST_F(O4CacheFile, ReadsThroughTheSystemAndReplacesTheFileOnSave) {
  const std::string path = "C:\\Users\\a\\AppData\\Local\\Opera\\Opera\\cache4\\dcache4.url";
  EXPECT_THROW(TO4CacheRoot root(path), EFOpenError);
  files_->Add(path, kHeader0 + Entry("http://a/") + Entry("http://b/"));
  TO4CacheRoot root(path);
  ASSERT_EQ(root.EntryCount(), 2);
  root.DeleteEntry(0);
  root.SaveToFile(path);
  const TO4CacheRoot read(path);
  ASSERT_EQ(read.EntryCount(), 1);
  EXPECT_EQ(read.Entries()[0]->Url, "http://b/");
  EXPECT_THROW(root.SaveToFile(""), EFCreateError);
}

} // namespace
