#include "formats/O4Cookie.h"

#include "formats/FileErrors.h"
#include "formats/O4TestBytes.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "winapi/MemoryFiles.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <tuple>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace {

const std::string kHeader0 = TO4Stream::HeaderBytes(0x1000, 0x2000);
const std::string kHeader1 = TO4Stream::HeaderBytes(0x1000, 0x2001);

std::string Domain(std::string_view name) {
  return Field(0x01, Field(0x1E, name));
}
std::string Cookie(std::string_view name, std::string_view value) {
  return Field(0x03, Field(0x10, name) + Field(0x11, value) + Num(0x12, 7, 4) + Num(0x13, 9, 4));
}

// "com" holding "example" with two cookies and a path, as Opera lays them out.
std::string SmallFile() {
  return kHeader0 + Domain("com") + Flag(0x85) + Domain("example") + Cookie("a", "1") +
         Cookie("b", "2") + Field(0x02, Field(0x1D, "p")) + Flag(0x85) + Flag(0x85) + Flag(0x84) +
         Flag(0x84) + Flag(0x84);
}

int CountCookies(const TO4Domains& root) {
  int count = 0;
  std::vector<const TO4Domain*> pending;
  for (const auto& d : root.Domains())
    pending.push_back(d.get());
  while (!pending.empty()) {
    const TO4Domain* d = pending.back();
    pending.pop_back();
    count += d->CookieCount();
    for (const auto& child : d->Domains())
      pending.push_back(child.get());
  }
  return count;
}

constexpr char kCookieSample[] = "danylyuk_opera12_cookies4.dat";

TEST(O4CookieSample, ReadsWholeAndSavesByteIdentical) {
  const std::string bytes = ReadOperaSample(kCookieSample);
  if (bytes.empty())
    GTEST_SKIP() << "sample " << kCookieSample << " is absent";
  const auto root = TO4CookieRoot::FromBytes(bytes);
  ASSERT_TRUE(root->Valid);
  EXPECT_FALSE(root->LoadStop.Stopped) << root->LoadStop.Reason;
  EXPECT_EQ(root->Format, 1);
  // Counted by walking the records in the hex dump: 168 cookie records (tag 0x03).
  EXPECT_EQ(CountCookies(*root), 168);
  // At 0x0C: "com" (01 0006 1E 0003 "com"), then 0x85 and the sub-domain "addthis" at 0x16,
  // whose first cookie record (03 003B) at 0x26 holds uid=53626d1d3a4a9700 with 8-byte times
  // 0x5726259D and 0x53626D1D, an unlisted field 0x28 and the unlisted flag 0xA9.
  ASSERT_GE(root->DomainCount(), 1);
  const TO4Domain& com = *root->Domains()[0];
  EXPECT_EQ(com.FullName(), "com");
  ASSERT_GE(com.DomainCount(), 1);
  const TO4Domain& addthis = *com.Domains()[0];
  EXPECT_EQ(addthis.FullName(), "addthis.com");
  ASSERT_EQ(addthis.CookieCount(), 3);
  const TO4Cookie& uid = *addthis.Cookies()[0];
  EXPECT_EQ(uid.Name, "uid");
  EXPECT_EQ(uid.Value, "53626d1d3a4a9700");
  EXPECT_EQ(uid.Expires, 0x5726259Du);
  EXPECT_EQ(uid.LastUsed, 0x53626D1Du);
  EXPECT_EQ(uid.Domain(), &addthis);

  EXPECT_EQ(root->SaveToBytes(), bytes);
}

TEST(O4CookieSample, DeletingOneCookieDropsExactlyItsRecord) {
  const std::string bytes = ReadOperaSample(kCookieSample);
  if (bytes.empty())
    GTEST_SKIP() << "sample " << kCookieSample << " is absent";
  const auto root = TO4CookieRoot::FromBytes(bytes);
  ASSERT_GE(root->DomainCount(), 1);
  TO4Domain& addthis = *root->Domains()[0]->Domains()[0];
  addthis.DeleteCookie(1); // the record "03 0031" at 0x61, 0x34 bytes with its header
  std::string expected = bytes;
  expected.erase(0x61, 0x34);
  EXPECT_EQ(root->SaveToBytes(), expected);
  EXPECT_EQ(CountCookies(*TO4CookieRoot::FromBytes(expected)), 167);
}

TEST(O4CookieHeader, GivesValidAndFormat) {
  const struct {
    std::string bytes;
    bool valid;
    int format;
  } cases[] = {
      {kHeader0 + Flag(0x84), true, 0},
      {kHeader1 + Flag(0x84), true, 1},
      {TO4Stream::HeaderBytes(0x1000, 0x20000) + Flag(0x84), false, 0}, // the cache index's
      {TO4Stream::HeaderBytes(0x1001, 0x2000) + Flag(0x84), false, 0},
      {kHeader0.substr(0, 11), false, 0},
      {"", false, 0},
  };
  for (const auto& c : cases) {
    const auto root = TO4CookieRoot::FromBytes(c.bytes);
    EXPECT_EQ(root->Valid, c.valid) << testing::PrintToString(c.bytes);
    EXPECT_EQ(root->Format, c.format) << testing::PrintToString(c.bytes);
    EXPECT_EQ(root->DomainCount(), 0);
    EXPECT_FALSE(root->LoadStop.Stopped);
  }
}

// Tags the reader does not know are passed over by their length (below 0x80) or alone (from
// 0x80 on) wherever they stand, and saved as they were.
TEST(O4CookieUnknownTags, AreSkippedAndKept) {
  const std::string unknownField = Field(0x40, "xyz");
  const std::string unknownFlag = Flag(0xC7);
  const struct {
    const char* where;
    std::string bytes;
  } cases[] = {
      {"top level", kHeader0 + unknownField + unknownFlag + Domain("com") + Cookie("a", "1") +
                        Flag(0x85) + Flag(0x84) + Flag(0x84)},
      {"in a domain record", kHeader0 +
                                 Field(0x01, Field(0x1E, "com") + unknownField + unknownFlag) +
                                 Cookie("a", "1") + Flag(0x85) + Flag(0x84) + Flag(0x84)},
      {"between a domain's records", kHeader0 + Domain("com") + unknownField + Cookie("a", "1") +
                                         unknownFlag + Flag(0x85) + Flag(0x84) + Flag(0x84)},
      {"in a cookie",
       kHeader0 + Domain("com") +
           Field(0x03, Field(0x10, "a") + unknownField + unknownFlag + Field(0x11, "1")) +
           Flag(0x85) + Flag(0x84) + Flag(0x84)},
  };
  for (const auto& c : cases) {
    const auto root = TO4CookieRoot::FromBytes(c.bytes);
    EXPECT_FALSE(root->LoadStop.Stopped) << c.where << ": " << root->LoadStop.Reason;
    ASSERT_EQ(root->DomainCount(), 1) << c.where;
    const TO4Domain& com = *root->Domains()[0];
    EXPECT_EQ(com.Name, "com") << c.where;
    ASSERT_EQ(com.CookieCount(), 1) << c.where;
    EXPECT_EQ(com.Cookies()[0]->Name, "a") << c.where;
    EXPECT_EQ(com.Cookies()[0]->Value, "1") << c.where;
    EXPECT_EQ(root->SaveToBytes(), c.bytes) << c.where;
  }
}

TEST(O4CookieDamage, StopsWhereTheRecordBreaksAndKeepsWhatCameBefore) {
  const std::string good = kHeader0 + Domain("com") + Cookie("a", "1");
  const std::string closing = Flag(0x85) + Flag(0x84) + Flag(0x84);
  const struct {
    const char* what;
    std::string tail;
    std::uint64_t offset;
  } cases[] = {
      // The cookie record says 4 bytes; its name field needs 6.
      {"field past its record", std::string("\x03\x00\x04\x10\x00\x03xyz", 9) + closing,
       good.size() + 3},
      {"domain field past its record", std::string("\x01\x00\x02\x1E\x00\x01x", 7) + closing,
       good.size() + 3},
      {"record past the file", std::string("\x03\x00\x06\x10\x00", 5), good.size()},
      {"length cut short", std::string("\x03\x00", 2), good.size()},
      {"domain never closed", "", good.size()},
  };
  for (const auto& c : cases) {
    const std::string bytes = good + c.tail;
    const auto root = TO4CookieRoot::FromBytes(bytes);
    EXPECT_TRUE(root->LoadStop.Stopped) << c.what;
    EXPECT_EQ(root->LoadStop.Offset, c.offset) << c.what;
    EXPECT_FALSE(root->LoadStop.Reason.empty()) << c.what;
    ASSERT_EQ(root->DomainCount(), 1) << c.what;
    EXPECT_EQ(CountCookies(*root), 1) << c.what;
  }
}

TEST(O4CookieDamage, EveryTruncationStopsAndNeverGivesMoreThanTheWhole) {
  const std::string whole = SmallFile();
  ASSERT_EQ(CountCookies(*TO4CookieRoot::FromBytes(whole)), 2);
  for (std::size_t size = 12; size < whole.size(); ++size) {
    const auto root = TO4CookieRoot::FromBytes(whole.substr(0, size));
    EXPECT_TRUE(root->LoadStop.Stopped) << size;
    EXPECT_LE(root->LoadStop.Offset, size) << size;
    EXPECT_LE(CountCookies(*root), 2) << size;
    EXPECT_LE(root->DomainCount(), 1) << size;
  }
}

// Every text and flag of a cookie, to set and compare them all.
std::string TO4Cookie::*const kCookieTexts[] = {
    &TO4Cookie::Name,          &TO4Cookie::Value,       &TO4Cookie::Comment, &TO4Cookie::CommentURL,
    &TO4Cookie::ReceiveDomain, &TO4Cookie::ReceivePath, &TO4Cookie::PortList};
bool TO4Cookie::*const kCookieFlags[] = {
    &TO4Cookie::Secure,   &TO4Cookie::ServerSendBack, &TO4Cookie::Protected, &TO4Cookie::Prefixed,
    &TO4Cookie::Password, &TO4Cookie::Authenticate,   &TO4Cookie::ThirdParty};

TEST(O4CookieBuilt, ReadsBackEqualInBothFormats) {
  for (const int format : {0, 1}) {
    TO4CookieRoot built;
    built.Format = format;
    TO4Domain& com = built.AddDomain();
    com.Name = "com";
    com.FilterType = 2;
    TO4Domain& example = com.AddDomain();
    example.Name = "example";
    example.AcceptType = 1;
    example.AddPath("/b");
    example.AddPath("/A");
    TO4Cookie& full = example.AddCookie();
    for (std::size_t i = 0; i < std::size(kCookieTexts); ++i)
      full.*kCookieTexts[i] = "text" + std::to_string(i);
    for (const auto flag : kCookieFlags)
      full.*flag = true;
    full.Expires = format == 1 ? 0x1'0000'0002u : 0x7FFF'0000u;
    full.LastUsed = 5;
    full.Version = 1;
    example.AddCookie(); // nothing set: written with both times 0

    const std::string bytes = built.SaveToBytes();
    const auto read = TO4CookieRoot::FromBytes(bytes);
    EXPECT_FALSE(read->LoadStop.Stopped) << read->LoadStop.Reason;
    EXPECT_EQ(read->Format, format);
    ASSERT_EQ(read->DomainCount(), 1);
    const TO4Domain& readCom = *read->Domains()[0];
    EXPECT_EQ(readCom.FilterType, 2);
    ASSERT_EQ(readCom.DomainCount(), 1);
    const TO4Domain& readExample = *readCom.Domains()[0];
    EXPECT_EQ(readExample.FullName(), "example.com");
    EXPECT_EQ(readExample.AcceptType, 1);
    EXPECT_EQ(readExample.Paths(), (std::vector<std::string>{"/A", "/b"}));
    ASSERT_EQ(readExample.CookieCount(), 2);
    const TO4Cookie& c = *readExample.Cookies()[0];
    for (const auto text : kCookieTexts)
      EXPECT_EQ(c.*text, full.*text);
    for (const auto flag : kCookieFlags)
      EXPECT_TRUE(c.*flag);
    EXPECT_EQ(std::tie(c.Expires, c.LastUsed, c.Version),
              std::tie(full.Expires, full.LastUsed, full.Version));
    const TO4Cookie& bare = *readExample.Cookies()[1];
    EXPECT_EQ(std::tie(bare.Expires, bare.Name), std::make_tuple(std::uint64_t{0}, std::string()));
    // Each record header holds what RecordSize gives, so the file is exactly their sum: the
    // header, com (+ 0x85), example, two cookies, two paths (record, name field, 0x85), 0x85 and
    // three 0x84.
    EXPECT_EQ(bytes.size(), 12 + 3 + readCom.RecordSize() + 1 + 3 + readExample.RecordSize() + 3 +
                                c.RecordSize(format) + 3 + bare.RecordSize(format) +
                                2 * (3 + 3 + 2 + 1) + 1 + 3);
  }
}

TEST(O4CookieEdit, SavingWithoutAnyCookieKeepsDomainsAndPaths) {
  const auto root = TO4CookieRoot::FromBytes(SmallFile());
  TO4Domain& example = *root->Domains()[0]->Domains()[0];
  example.DeleteCookiesIf([](const TO4Cookie&) { return true; });
  const std::string expected = kHeader0 + Domain("com") + Flag(0x85) + Domain("example") +
                               Field(0x02, Field(0x1D, "p")) + Flag(0x85) + Flag(0x85) +
                               Flag(0x84) + Flag(0x84) + Flag(0x84);
  EXPECT_EQ(root->SaveToBytes(), expected);
}

TEST(O4CookieEdit, NodesAddedToAReadTreeAreWrittenLaidOut) {
  const auto root = TO4CookieRoot::FromBytes(SmallFile());
  TO4Domain& com = *root->Domains()[0];
  com.AddCookie().Name = "c";
  com.AddDomain().Name = "org";
  const auto read = TO4CookieRoot::FromBytes(root->SaveToBytes());
  EXPECT_FALSE(read->LoadStop.Stopped) << read->LoadStop.Reason;
  ASSERT_EQ(read->DomainCount(), 1);
  const TO4Domain& readCom = *read->Domains()[0];
  ASSERT_EQ(readCom.CookieCount(), 1);
  EXPECT_EQ(readCom.Cookies()[0]->Name, "c");
  ASSERT_EQ(readCom.DomainCount(), 2);
  EXPECT_EQ(readCom.Domains()[1]->FullName(), "org.com");
  EXPECT_EQ(CountCookies(*read), 3);
}

TEST(O4CookiePaths, AreSortedWithoutCaseAndKeptOnce) {
  // Read paths of one, five and a hundred characters; "/X" and "/x" are one path.
  const std::string longPath = "/" + std::string(99, 'q');
  std::string bytes = kHeader0 + Domain("com");
  for (const std::string& path :
       {std::string("/x"), std::string("/Abcd"), longPath, std::string("/X"), std::string("b")})
    bytes += Field(0x02, Field(0x1D, path)) + Flag(0x85);
  bytes += Flag(0x85) + Flag(0x84) + Flag(0x84);
  const auto root = TO4CookieRoot::FromBytes(bytes);
  ASSERT_EQ(root->DomainCount(), 1);
  EXPECT_EQ(root->Domains()[0]->Paths(), (std::vector<std::string>{"/Abcd", longPath, "/x", "b"}));
  EXPECT_EQ(root->SaveToBytes(), bytes); // the records themselves stay as they were

  TO4CookieRoot built;
  TO4Domain& d = built.AddDomain();
  for (const char* path : {"/b", "/a", "/B", "/c", "/A"})
    d.AddPath(path);
  EXPECT_EQ(d.Paths(), (std::vector<std::string>{"/a", "/b", "/c"}));
}

TEST(O4CookieDepth, DeepNestingIsReadWrittenAndFreedWithoutRecursion) {
  // Read: 100,000 nested domains stay within the memory budget of their 400 KB file.
  constexpr int kReadDepth = 100000;
  std::string bytes = kHeader0;
  for (int i = 0; i < kReadDepth; ++i)
    bytes += Domain("d");
  bytes += std::string(kReadDepth + 1, '\x84');
  {
    const auto root = TO4CookieRoot::FromBytes(bytes);
    EXPECT_FALSE(root->LoadStop.Stopped) << root->LoadStop.Reason;
    const TO4Domain* innermost = root->Domains()[0].get();
    int depth = 1;
    while (innermost->DomainCount() > 0) {
      innermost = innermost->Domains()[0].get();
      ++depth;
    }
    EXPECT_EQ(depth, kReadDepth);
    EXPECT_EQ(innermost->FullName().size(), 2u * kReadDepth - 1);
    EXPECT_EQ(root->SaveToBytes(), bytes);
  }
  // Built: a million, laid out by the writer, then one deleted with all below it.
  constexpr int kBuiltDepth = 1000000;
  TO4CookieRoot built;
  TO4Domains* node = &built;
  for (int i = 0; i < kBuiltDepth; ++i)
    node = &node->AddDomain();
  EXPECT_EQ(built.SaveToBytes().size(), 12 + kBuiltDepth * 5u + 1);
  built.DeleteDomain(0);
  EXPECT_EQ(built.SaveToBytes(), kHeader0 + Flag(0x84));
}

TEST(O4CookieMemory, RefusesAFileWhoseNodesWouldPassItsBudget) {
  // Three-byte cookie records: each makes a node of some hundred bytes.
  constexpr std::size_t kCookies = 2'000'000;
  std::string bytes = kHeader0 + Domain("com");
  bytes.reserve(bytes.size() + 3 * kCookies + 3);
  for (std::size_t i = 0; i < kCookies; ++i)
    bytes += std::string("\x03\x00\x00", 3);
  bytes += Flag(0x85) + Flag(0x84) + Flag(0x84);
  try {
    TO4CookieRoot::FromBytes(bytes);
    FAIL() << "no EFileTooLarge";
  } catch (const EFileTooLarge& e) {
    EXPECT_NE(std::string(e.what()).find("cookies4.dat"), std::string::npos) << e.what();
  }
}

class O4CookieFile : public ::testing::Test {
protected:
  test::TMemoryFiles files_;
};

TEST_F(O4CookieFile, ReadsThroughTheSystemAndReplacesTheFileOnSave) {
  const std::string path = "C:\\Users\\a\\AppData\\Roaming\\Opera\\Opera\\cookies4.dat";
  EXPECT_THROW(TO4CookieRoot root(path), EFOpenError);
  files_->Add(path, SmallFile());
  TO4CookieRoot root(path);
  EXPECT_EQ(CountCookies(root), 2);
  root.Domains()[0]->Domains()[0]->DeleteCookie(0);
  root.SaveToFile(path);
  EXPECT_EQ(CountCookies(TO4CookieRoot(path)), 1);
  EXPECT_THROW(root.SaveToFile(""), EFCreateError);
}

} // namespace
