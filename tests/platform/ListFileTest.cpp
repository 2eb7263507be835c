#include "platform/ListFile.h"

#include "winapi/MemoryFiles.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace quillon;
using namespace quillon::winapi;

namespace {

const std::string kListPath = "C:\\Program Files\\Quillon\\Quillon.ieldat";

const std::string kPlain =
    "00HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\Start Page\r\n"
    "01HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer\\Main\\Search Page\r\n";

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

class ListFileTest : public ::testing::Test {
protected:
  ListFileTest() { files_->moduleFileName = "C:\\Program Files\\Quillon\\quillon.exe"; }
  test::TMemoryFiles files_;
};

} // namespace

TEST(ListKey, IsTheFixedTableAsUpperCaseHex) {
  // Changing the table orphans every list file written so far.
  EXPECT_EQ(BuildListKey(),
            "7322E4963F6A40A69FA8FC9E7BADDCAD3060BBD35A2601E2BE0084387DCA2169566467D0DFD642B4");
}

TEST(ListText, KnownCipherTextsForTwoKeys) {
  // 150 bytes: four whole blocks and a 22-byte tail.
  const std::string withListKey =
      FromHex("8B95BEBAFC6F27A0C33E67B84EDD5070A2B0BB25C210A7D0AD7E31CE8A24B5C97B2ED3B0D737A68B"
              "C1EE656343AB781BC0DD44D6A22DC938ABFC34E6FBFD5907538A2940E7484302472D463B9E52ABF0"
              "545B9F7FE33F5A9CE89D3C5A8F222373AD5810C1A0340149C4A9E5ABD1ECE3574CD9DF7D0E549C29"
              "70B1C88617ABBF479FEE714E1C09277108BDAE19506E94E136278ADDCCDD");
  const std::string secondKey = "Second key text for the list file";
  const std::string withSecondKey =
      FromHex("DE0C895A14B0655A4E24B79A116A12B22A2922C44A398FAAF49B441ECDCF3B3E8741019F0469A6E9"
              "58DC78441110FE3A9D2C997EA97E6E40E41F11AF2A701C31B4116DBD5D85839428AA4FF6A93918CA"
              "04B50F4E77058CD4DAABE33E0FC61278688F105B4430DC875FCA362EFEC05429BC90D6CCB2DFD21D"
              "D0E6AB6A2CB2E87B1FABEC383C70ECA7E0EB264831FFFF8973A1F23A8CAD");
  ASSERT_EQ(kPlain.size(), 150u);

  EXPECT_EQ(EncodeListText(kPlain, BuildListKey()), withListKey);
  EXPECT_EQ(EncodeListText(kPlain, secondKey), withSecondKey);
  EXPECT_EQ(DecodeListText(withListKey, BuildListKey()), kPlain);
  EXPECT_EQ(DecodeListText(withSecondKey, secondKey), kPlain);
  EXPECT_NE(DecodeListText(withSecondKey, BuildListKey()), kPlain);
}

TEST_F(ListFileTest, LoadsTheDecipheredLines) {
  files_->Add(kListPath, EncodeListText(kPlain, BuildListKey()));
  std::vector<std::string> list{"stale"};
  ASSERT_TRUE(LoadListFile(kListPath, list));
  EXPECT_EQ(list,
            (std::vector<std::string>{
                "00HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\Start Page",
                "01HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer\\Main\\Search "
                "Page"}));
}

TEST_F(ListFileTest, SplitsAtCrLfLfAndCr) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\r\n", {"a"}},
      {"a\n\nb\r\r\n", {"a", "", "b", ""}},
      {"\r\n", {""}},
      {"\n\r", {"", ""}}, // LF then CR is two line ends, not one
      {"no end", {"no end"}},
  };
  for (const auto& [plain, lines] : cases) {
    files_->Add(kListPath, EncodeListText(plain, BuildListKey()));
    std::vector<std::string> list;
    ASSERT_TRUE(LoadListFile(kListPath, list));
    EXPECT_EQ(list, lines) << plain;
  }
}

TEST_F(ListFileTest, EmptyFileGivesAnEmptyList) {
  files_->Add(kListPath, "");
  std::vector<std::string> list{"stale"};
  EXPECT_TRUE(LoadListFile(kListPath, list));
  EXPECT_TRUE(list.empty());
}

TEST_F(ListFileTest, MissingFileLeavesTheListAlone) {
  std::vector<std::string> list{"kept"};
  EXPECT_FALSE(LoadListFile(kListPath, list));
  EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

TEST_F(ListFileTest, UnreadableFileRaises) {
  files_->Lock(kListPath, ERROR_ACCESS_DENIED);
  std::vector<std::string> list{"kept"};
  try {
    LoadListFile(kListPath, list);
    FAIL() << "no exception";
  } catch (const EListFileError& e) {
    EXPECT_NE(std::string(e.what()).find(kListPath), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Access is denied."), std::string::npos) << e.what();
  }
  EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

TEST_F(ListFileTest, FileWrittenWithAnotherKeyLoadsAsOtherText) {
  files_->Add(kListPath, EncodeListText(kPlain, "not the list key"));
  std::vector<std::string> list;
  ASSERT_TRUE(LoadListFile(kListPath, list));
  EXPECT_FALSE(list.empty());
  for (const std::string& line : list)
    EXPECT_EQ(line.find("HKEY_"), std::string::npos) << line;
}
