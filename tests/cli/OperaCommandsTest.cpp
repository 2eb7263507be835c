// quillon-cli opera-cookies / opera-cache: the real sample files as the Opera cookie window shows
// them, hostile texts kept on their line, and files that cannot be shown whole.

#include "cli/CliRun.h"

#include "formats/O4CookieView.h"
#include "kit/HostFile.h"
#include "kit/TempDir.h"
#include "session/HostFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace quillon {
namespace {

using quillon::testing::Lines;
using quillon::testing::RunCli;
using Texts = std::vector<std::string>;

const std::string kCookieSample = QUILLON_SAMPLES_DIR "/opera/danylyuk_opera12_cookies4.dat";
const std::string kCacheSample = QUILLON_SAMPLES_DIR "/opera/danylyuk_opcache_dcache4.url";

bool SamplesAbsent() {
  return !std::filesystem::exists(kCookieSample) || !std::filesystem::exists(kCacheSample);
}

std::string CookieHeader() {
  std::string header;
  for (const TO4Column& column : O4CookieColumns())
    header += (header.empty() ? "" : "\t") + std::string(column.Caption);
  return header;
}

TEST(CliOperaCookies, PrintsTheSampleTreeThenEveryCookie) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Opera samples in " QUILLON_SAMPLES_DIR "/opera are absent";
  const auto result = RunCli({"opera-cookies", kCookieSample});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.err, "");

  const THostFiles host;
  const TO4CookieRoot root(host.WindowsPath(kCookieSample));
  Texts expected;
  VisitO4CookieTree(root, [&](int level, std::string_view text) {
    expected.push_back(std::string(2 * static_cast<std::size_t>(level), ' ') + std::string(text));
  });
  expected.push_back("");
  expected.push_back(CookieHeader());
  const Texts lines = Lines(result.out);
  ASSERT_EQ(lines.size(), expected.size() + 168);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), lines.begin()));
  EXPECT_EQ(lines[0], "com");
  EXPECT_EQ(lines[expected.size()].substr(0, lines[expected.size()].find('\t')), "addthis.com/");
}

TEST(CliOperaCache, PrintsEveryEntryOfTheSampleIndex) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Opera samples in " QUILLON_SAMPLES_DIR "/opera are absent";
  const auto result = RunCli({"opera-cache", kCacheSample});
  EXPECT_EQ(result.code, 0) << result.err;
  const Texts lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 1u + 78);
  EXPECT_EQ(lines[0], "Domain Path\tName\tValue\tExpires");
  EXPECT_TRUE(lines[1].starts_with("http://sitecheck2.opera.com/?host=")) << lines[1];
  for (const std::string& line : lines)
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
}

TEST(CliOperaCookies, KeepsEachHostileTextOnItsLine) {
  TO4CookieRoot root;
  TO4Domain& domain = root.AddDomain();
  domain.Name = "evil\ncom";
  TO4Cookie& cookie = domain.AddCookie();
  cookie.Name = "a\tb";
  cookie.Value = "\x1b[31mred";
  const kit::TTempDir dir;
  const std::string path = dir.Path() + "/cookies4.dat";
  kit::WriteHostFile(path, root.SaveToBytes());
  const auto result = RunCli({"opera-cookies", path});
  EXPECT_EQ(result.code, 0) << result.err;
  const Texts lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 12u); // 9 tree lines, the blank, the header, the cookie
  EXPECT_EQ(lines[0], "evil\\ncom");
  EXPECT_TRUE(lines[11].starts_with("evil\\ncom/\ta\\tb\t\\x1b[31mred\t")) << lines[11];
}

TEST(CliOperaFiles, AFileNotShownWholeIsReportedWithExitCodeOne) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Opera samples in " QUILLON_SAMPLES_DIR "/opera are absent";
  const kit::TTempDir dir;
  const std::string missing = dir.Path() + "/missing.dat";
  std::string badHeader = kit::ReadHostFile(kCookieSample);
  badHeader[7] = 0x02;
  kit::WriteHostFile(dir.Path() + "/bad.dat", badHeader);
  const std::string cookies = kit::ReadHostFile(kCookieSample);
  kit::WriteHostFile(dir.Path() + "/cut.dat", cookies.substr(0, cookies.size() / 2));
  const std::string cache = kit::ReadHostFile(kCacheSample);
  kit::WriteHostFile(dir.Path() + "/cut.url", cache.substr(0, cache.size() / 2));

  const struct {
    std::string command, file, err;
    bool printsRows;
  } cases[] = {
      {"opera-cookies", missing, missing, false},
      {"opera-cache", dir.Path(), dir.Path(), false},
      {"opera-cookies", dir.Path() + "/bad.dat", "Not an Opera cookie file", false},
      {"opera-cookies", dir.Path() + "/cut.dat", "could be read only up to byte", true},
      {"opera-cache", dir.Path() + "/cut.url", "could be read only up to byte", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command + " " + c.file);
    const auto result = RunCli({c.command, c.file});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    EXPECT_EQ(Lines(result.err).size(), 1u) << result.err;
    // What was read is printed before the line on stderr: header and some rows.
    const Texts lines = Lines(result.out);
    EXPECT_EQ(lines.size() > 2 && !lines.back().empty(), c.printsRows) << result.out;
  }
}

TEST(CliOperaFiles, TakesExactlyOneFile) {
  for (const Texts& args : {Texts{"opera-cookies"}, Texts{"opera-cache", "a", "b"}}) {
    const auto result = RunCli(args);
    EXPECT_EQ(result.code, 2);
    EXPECT_NE(result.err.find(" FILE"), std::string::npos) << result.err;
  }
}

} // namespace
} // namespace quillon
