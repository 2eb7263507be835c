// Internet Explorer on a fresh demo image, through the command line as a user runs it: what clean
// and purge leave in the URL-cache containers (read back with msiecfexport), the hives and the
// favourites folders. DiscoveryOfDemoTest checks what the lists show.

#include "cli/CliRun.h"
#include "kit/DemoImage.h"
#include "kit/HostFile.h"
#include "kit/TempDir.h"
#include "winapi/MsiecfExport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillon;
using quillon::testing::Lines;
using TRun = quillon::testing::TCliResult;
using TRows = std::vector<std::string>;

// alice's containers below the image root, by the kind they keep.
const std::string kLocal = "Users/alice/AppData/Local/Microsoft/Windows/";
const std::string kContent = kLocal + "Temporary Internet Files/Content.IE5/index.dat";
const std::string kCookies = "Users/alice/AppData/Roaming/Microsoft/Windows/Cookies/index.dat";
const std::string kHistory = kLocal + "History/History.IE5/index.dat";
const std::string kDay = kLocal + "History/History.IE5/MSHist012011030120110302/index.dat";
const std::vector<std::string> kContainers = {kContent, kCookies, kHistory, kDay};

class DemoInternetExplorer : public ::testing::Test {
protected:
  void SetUp() override {
    if (!test::MsiecfExportAvailable())
      GTEST_SKIP() << "msiecfexport (libmsiecf-utils) is not installed";
    kit::WriteDemoImage(image);
  }

  // The records of a container as msiecfexport reads them: location, file name and cache folder
  // ("" for none), sorted by location.
  std::vector<std::array<std::string, 3>> Records(const std::string& container) const {
    std::vector<std::array<std::string, 3>> records;
    const auto lines = test::MsiecfExportLines(image + "/" + container);
    if (!lines) {
      ADD_FAILURE() << "msiecfexport cannot read " << container;
      return records;
    }
    for (const std::string& line : *lines) {
      std::vector<std::string> fields;
      std::istringstream in(line);
      for (std::string field; std::getline(in, field, '|');)
        fields.push_back(field);
      fields.resize(8);
      records.push_back({fields[1], fields[6], fields[7]});
    }
    std::sort(records.begin(), records.end());
    return records;
  }

  TRows Exported(const std::string& container) const {
    TRows locations;
    for (const auto& record : Records(container))
      locations.push_back(record[0]);
    return locations;
  }

  kit::TTempDir dir;
  const std::string image = dir.Path() + "/c";
};

// Rows of a list that contain text.
TRows With(const TRows& rows, const std::string& text) {
  TRows found;
  std::copy_if(rows.begin(), rows.end(), std::back_inserter(found),
               [&text](const std::string& row) { return row.find(text) != std::string::npos; });
  return found;
}

const TRows kAliceCookies = {"Cookie:alice@ads.mediaplex.com/", "Cookie:alice@advertising.com/",
                             "Cookie:alice@doubleclick.net/",   "Cookie:alice@en.wikipedia.org/",
                             "Cookie:alice@google.com/",        "Cookie:alice@www.bbc.co.uk/news/"};

// Every record msiecfexport finds names a file that is there: in its cache folder, or for a cookie
// in the container's own folder; history records name none.
TEST_F(DemoInternetExplorer, ContainersReadBackWithTheFilesTheyName) {
  struct TCase {
    std::string container;
    std::size_t count;
    std::string oneLocation;
    bool withFiles;
  };
  const std::vector<TCase> cases = {
      {kContent, 6, "http://www.google.com/images/logo.png", true},
      {kCookies, 6, "Cookie:alice@advertising.com/", true},
      {kHistory, 4, "Visited: alice@file:///C:/Users/alice/Documents/notes.txt", false},
      {kDay, 3, ":2011030120110302: alice@:Host: www.google.com", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.container);
    const auto records = Records(c.container);
    EXPECT_EQ(records.size(), c.count);
    EXPECT_EQ(With(Exported(c.container), c.oneLocation).size(), 1u);
    const fs::path folder = fs::path(image + "/" + c.container).parent_path();
    for (const auto& [location, file, cacheFolder] : records) {
      EXPECT_EQ(file.empty(), !c.withFiles) << location;
      if (!file.empty()) {
        EXPECT_TRUE(fs::is_regular_file(folder / cacheFolder / file)) << location;
      }
    }
  }
  EXPECT_EQ(Exported(kCookies), kAliceCookies);
}

} // namespace
