#include "formats/O4Cache.h"

#include "formats/FileErrors.h"
#include "formats/O4TestBytes.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "winapi/MemoryFiles.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

using namespace quillon;
using namespace quillon::test;

namespace {

const std::string kHeader0 = TO4Stream::HeaderBytes(0x1000, 0x20000);
const std::string kHeader1 = TO4Stream::HeaderBytes(0x1000, 0x2001);

std::string Entry(std::string_view url) {
  return Field(0x01, Field(0x03, url) + Num(0x05, 42));
}

constexpr char kCacheSample[] = "danylyuk_opcache_dcache4.url";

TEST(O4CacheSample, ReadsWholeAndSavesByteIdentical) {
  const std::string bytes = ReadOperaSample(kCacheSample);
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
  const std::string bytes = ReadOperaSample(kCacheSample);
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

// Every field of an entry and of its HTTP record, to set and compare them all.
std::string TO4CacheEntry::*const kEntryTexts[] = {&TO4CacheEntry::Url, &TO4CacheEntry::Tag0A,
                                                   &TO4CacheEntry::Tag09, &TO4CacheEntry::FileName};
std::uint32_t TO4CacheEntry::*const kEntryNumbers[] = {&TO4CacheEntry::Tag04, &TO4CacheEntry::Tag05,
                                                       &TO4CacheEntry::Tag07, &TO4CacheEntry::Tag08,
                                                       &TO4CacheEntry::Tag27};
bool TO4CacheEntry::*const kEntryFlags[] = {&TO4CacheEntry::Flag8B, &TO4CacheEntry::Flag8C,
                                            &TO4CacheEntry::Flag8F};
std::string TO4HTTPRecord::*const kHTTPTexts[] = {
    &TO4HTTPRecord::Tag15, &TO4HTTPRecord::Tag17, &TO4HTTPRecord::Tag18, &TO4HTTPRecord::Tag19,
    &TO4HTTPRecord::Tag1A, &TO4HTTPRecord::Tag1B, &TO4HTTPRecord::Tag1D, &TO4HTTPRecord::Tag1F,
    &TO4HTTPRecord::Tag20, &TO4HTTPRecord::Tag21};
std::uint32_t TO4HTTPRecord::*const kHTTPNumbers[] = {&TO4HTTPRecord::Expires,
                                                      &TO4HTTPRecord::Tag1C, &TO4HTTPRecord::Tag1E,
                                                      &TO4HTTPRecord::Tag25, &TO4HTTPRecord::Tag26};
bool TO4HTTPRecord::*const kHTTPFlags[] = {&TO4HTTPRecord::FlagB0, &TO4HTTPRecord::FlagB1};

TEST(O4CacheBuilt, ReadsBackEqualInBothFormats) {
  for (const int format : {0, 1}) {
    TO4CacheRoot built;
    built.Format = format;
    TO4CacheEntry& e = built.AddEntry();
    std::uint32_t n = 0x5A000000;
    for (const auto text : kEntryTexts)
      e.*text = "entry text " + std::to_string(++n);
    for (const auto number : kEntryNumbers)
      e.*number = ++n;
    for (const auto flag : kEntryFlags)
      e.*flag = true;
    for (const auto text : kHTTPTexts)
      e.HTTPRecord.*text = "http text " + std::to_string(++n);
    for (const auto number : kHTTPNumbers)
      e.HTTPRecord.*number = ++n;
    for (const auto flag : kHTTPFlags)
      e.HTTPRecord.*flag = true;
    e.AddLink().Tag23 = "first";
    e.AddLink().Tag24 = 2;
    built.AddEntry(); // nothing set

    const auto read = TO4CacheRoot::FromBytes(built.SaveToBytes());
    EXPECT_EQ(read->Format, format);
    EXPECT_FALSE(read->LoadStop.Stopped) << read->LoadStop.Reason;
    ASSERT_EQ(read->EntryCount(), 2);
    const TO4CacheEntry& r = *read->Entries()[0];
    for (const auto text : kEntryTexts)
      EXPECT_EQ(r.*text, e.*text);
    for (const auto number : kEntryNumbers)
      EXPECT_EQ(r.*number, e.*number);
    for (const auto flag : kEntryFlags)
      EXPECT_TRUE(r.*flag);
    for (const auto text : kHTTPTexts)
      EXPECT_EQ(r.HTTPRecord.*text, e.HTTPRecord.*text);
    for (const auto number : kHTTPNumbers)
      EXPECT_EQ(r.HTTPRecord.*number, e.HTTPRecord.*number);
    for (const auto flag : kHTTPFlags)
      EXPECT_TRUE(r.HTTPRecord.*flag);
    ASSERT_EQ(r.Links().size(), 2u);
    EXPECT_EQ(r.Links()[0]->Tag23, "first");
    EXPECT_EQ(r.Links()[1]->Tag24, 2u);
    EXPECT_TRUE(read->Entries()[1]->Url.empty());
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
