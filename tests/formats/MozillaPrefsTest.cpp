#include "formats/MozillaPrefs.h"

#include "formats/FileErrors.h"
#include "formats/StoreFile.h"
#include "formats/TextStoreImage.h"
#include "kit/MozillaTextStores.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace quillon;
using quillon::test::Always;
using quillon::test::TTextStoreImage;

namespace {

constexpr char kHeader[] = "# Mozilla User Preferences\r\n# Modified by Brindleaf\r\n\r\n";
constexpr char kHeaderLf[] = "# Mozilla User Preferences\n# Modified by Brindleaf\n\n";

TMozillaPrefsList FromText(std::string text) {
  TMozillaPrefsList list;
  list.LoadFromText(std::move(text));
  return list;
}

struct TReadCase {
  const char* line;
  bool taken;
  const char* name = "";
  const char* text = "";
  TPrefDataType type = pdString;
  std::int32_t integer = 0;
  bool boolean = false;
};

} // namespace

TEST(MozillaPrefsRead, TakesStatementsAndTypesUnquotedValues) {
  const std::vector<TReadCase> cases = {
      {R"(user_pref("a", "123");)", true, "a", "123", pdString},
      {R"(user_pref("a", 1);)", true, "a", "1", pdInteger, 1},
      {R"(user_pref("a", -2147483648);)", true, "a", "-2147483648", pdInteger, INT32_MIN},
      {R"(user_pref("a", 2147483648);)", true, "a", "2147483648", pdString},
      {R"(user_pref("a", true);)", true, "a", "true", pdBoolean, 0, true},
      {R"(user_pref("a", false);)", true, "a", "false", pdBoolean, 0, false},
      {R"(user_pref("a", True);)", true, "a", "True", pdString},
      {R"(user_pref("a", word);)", true, "a", "word", pdString},
      {R"(user_pref("a", "");)", true, "a", "", pdString},
      {" \t user_pref(  \"a\" ,   \"b c\");  \t", true, "a", "b c", pdString},
      {R"(user_pref("a",     5);)", true, "a", "5", pdInteger, 5},
      {R"(user_pref("a", "x""y");)", true, "a", "x\"y", pdString},
      // The typing looks at the statement's last character, not at the value's quotes.
      {R"(user_pref("a", "1" );)", true, "a", "1", pdInteger, 1},
      {R"(user_pref("a",);)", true, "a", "", pdString},
      {R"(// user_pref("old", "x");)", true, "old", "x", pdString},
      {R"(user_pref("a", "say \"hi\"");)", false},
      {R"(user_pref("a", two words);)", false},
      {R"(user_pref("a");)", false},
      {R"(user_pref("a", "b", "c");)", false},
      {R"(user_pref("a", "b"))", false},
      {R"(pref("a", "b");)", false},
      {R"(lockPref("a", "b");)", false},
      {R"(/* user_pref("a", "b"); */)", false},
  };
  for (const TReadCase& c : cases) {
    SCOPED_TRACE(c.line);
    const TMozillaPrefsList list = FromText(std::string("x\n") + c.line + "\ny");
    ASSERT_EQ(list.Count(), c.taken ? 1 : 0);
    if (!c.taken)
      continue;
    const TMozillaPrefsItem& item = list.Items(0);
    EXPECT_EQ(item.Name, c.name);
    EXPECT_EQ(item.DataString, c.text);
    EXPECT_EQ(item.DataType, c.type);
    EXPECT_EQ(item.DataInteger, c.integer);
    EXPECT_EQ(item.DataBoolean, c.boolean);
  }
}

TEST(MozillaPrefsLookup, ReadsTheFirstEntryIgnoringCaseAndExistsIsExact) {
  const TMozillaPrefsList list = FromText(R"(user_pref("Browser.Startup.Homepage", "first");
user_pref("browser.startup.homepage", "second");
user_pref("size", 50000);
user_pref("flag", true);
)");
  EXPECT_EQ(list.ReadString("BROWSER.startup.HOMEPAGE"), "first");
  EXPECT_EQ(list.ReadString("missing"), "");
  EXPECT_EQ(list.ReadInteger("SIZE"), 50000);
  EXPECT_EQ(list.ReadInteger("flag"), 0);
  EXPECT_EQ(list.ReadInteger("missing"), 0);
  EXPECT_TRUE(list.Exists("browser.startup.homepage"));
  EXPECT_FALSE(list.Exists("BROWSER.STARTUP.HOMEPAGE"));
}

TEST(MozillaPrefsLookup, WriteStringChangesTheEntryOfAnotherCaseOrAppendsOne) {
  TMozillaPrefsList list = FromText(R"(user_pref("Home", "x");)");
  list.WriteString("home", "about:blank");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).DataString, "about:blank");
  EXPECT_FALSE(list.Exists("home"));

  list.WriteString("new.pref", "v");
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(1).Name, "new.pref");
  EXPECT_EQ(list.Items(1).DataType, pdString);
  EXPECT_EQ(list.ReadString("NEW.PREF"), "v");
}

TEST(MozillaPrefsLookup, SeesEntriesChangedThroughItems) {
  TMozillaPrefsList list = FromText(R"(user_pref("a", "1");)");
  EXPECT_EQ(list.ReadString("a"), "1");
  list.Items(0).Name = "b";
  EXPECT_EQ(list.ReadString("a"), "");
  EXPECT_EQ(list.ReadString("b"), "1");
  list.Add().Name = "c";
  EXPECT_TRUE(list.Exists("c"));
}

// A typed entry must not swallow a write: the file has to hold the written value afterwards.
TEST(MozillaPrefsWrite, WriteStringOnTypedEntriesWritesTheGivenValue) {
  TMozillaPrefsList list = FromText("user_pref(\"i\", 1);\nuser_pref(\"j\", 1);\n"
                                    "user_pref(\"b\", true);\nuser_pref(\"c\", true);\n");
  list.WriteString("i", "7");
  list.WriteString("j", "about:blank");
  list.WriteString("b", "false");
  list.WriteString("c", "no");
  EXPECT_EQ(list.SaveToText(), std::string(kHeaderLf) +
                                   "user_pref(\"i\", 7);\nuser_pref(\"j\", \"about:blank\");\n"
                                   "user_pref(\"b\", false);\nuser_pref(\"c\", \"no\");\n");
  EXPECT_EQ(list.ReadInteger("i"), 7);
}

TEST(MozillaPrefsWrite, UnchangedFileComesBackWithEveryLineInPlace) {
  const std::string body = "/* Do not edit this file.\r\n"
                           " */\r\n"
                           "\r\n"
                           "pref(\"general.config\", \"x\");\r\n"
                           "lockPref(\"locked\", true);\r\n"
                           "user_pref(\"a.escaped\", \"say \\\"hi\\\" C:\\\\dir\");\r\n"
                           "user_pref(\"b.path\", \"C:\\\\Program Files\\\\\");\r\n"
                           "  user_pref(\"c.spaced\" ,  5 ) ;\r\n"
                           "\t// user_pref(\"d.disabled\", \"x\");   \r\n"
                           "user_pref(\"e.doubled\", \"x\"\"y\");\n"
                           "# odd comment\r"
                           "user_pref(\"f\", \"last line without a break\");";
  const TMozillaPrefsList list = FromText("# Mozilla User Preferences\r\n\r\n" + body);
  const std::string saved = list.SaveToText();
  EXPECT_EQ(saved, kHeader + body);
  EXPECT_EQ(FromText(saved).SaveToText(), saved);
}

// Found by fuzzing: the header once went back with the first break (a lone CR), which paired up
// with the LF of the empty line behind it, so every save lost one empty line.
TEST(MozillaPrefsWrite, OwnHeaderWithMixedBreaksComesBackAsItStands) {
  const std::string file = "# Mozilla User Preferences\r# Modified by Brindleaf\n\n\n"
                           "user_pref(\"a\", 1);\n";
  const std::string saved = FromText(file).SaveToText();
  EXPECT_EQ(saved, file);
  EXPECT_EQ(FromText(saved).SaveToText(), saved);
}

TEST(MozillaPrefsWrite, NetscapeFileKeepsItsOwnHeaderBelowOurs) {
  const std::string file =
      kit::BuildPrefsJs({{"browser.startup.homepage", "http://home.netscape.com/"}},
                        {kit::TMozillaDialect::Netscape4, false});
  const std::string saved = FromText(file).SaveToText();
  EXPECT_EQ(saved, kHeaderLf + file);
}

TEST(MozillaPrefsWrite, ChangedEntryRewritesOnlyItsStatement) {
  const std::vector<kit::TPrefValue> prefs = {
      {"browser.startup.homepage", "http://www.example.com/"},
      {"browser.cache.disk.capacity", "50000", kit::TPrefKind::Integer},
      {"browser.download.dir", "C:\\Downloads"},
      {"signon.rememberSignons", "false", kit::TPrefKind::Boolean}};
  const std::string file = kit::BuildPrefsJs(prefs);
  TMozillaPrefsList list = FromText(file);
  list.WriteString("browser.startup.homepage", "about:blank");
  std::string expected = file;
  const std::string before = kit::PrefsJsLine(prefs[0]);
  expected.replace(expected.find(before), before.size(),
                   R"(user_pref("browser.startup.homepage", "about:blank");)");
  expected.replace(0, expected.find("/*"), kHeader);
  EXPECT_EQ(list.SaveToText(), expected);
}

TEST(MozillaPrefsWrite, StatementBehindACommentStaysBehindIt) {
  TMozillaPrefsList list = FromText("  // user_pref(\"a\", \"b\");  \n");
  list.WriteString("a", "c");
  EXPECT_EQ(list.SaveToText(), "# Mozilla User Preferences\n# Modified by Brindleaf\n\n"
                               "  // user_pref(\"a\", \"c\");  \n");
}

TEST(MozillaPrefsWrite, NewValuesAreEscapedAndOldSpellingsKept) {
  TMozillaPrefsList list = FromText(R"(user_pref("p", "C:\\dir");)");
  list.Items(0).Name = "q"; // renamed: the value's escapes must not double
  list.WriteString("new", "say \"hi\" C:\\new\nline");
  EXPECT_EQ(list.SaveToText(), std::string(kHeader) + R"(user_pref("q", "C:\\dir");)" + "\r\n" +
                                   R"(user_pref("new", "say \"hi\" C:\\new\nline");)" + "\r\n");
}

TEST(MozillaPrefsWrite, NewListGetsHeaderAndStatementsInListOrder) {
  TMozillaPrefsList list;
  auto& b = list.Add();
  b.Name = "b";
  b.DataType = pdInteger;
  b.DataInteger = -3;
  list.WriteString("a", "");
  EXPECT_EQ(list.SaveToText(),
            std::string(kHeader) + "user_pref(\"b\", -3);\r\nuser_pref(\"a\", \"\");\r\n");
}

TEST(MozillaPrefsFile, UnreadableFileRaisesAndEmptiesTheList) {
  TTextStoreImage image;
  TMozillaPrefsList list = FromText(R"(user_pref("a", 1);)");
  EXPECT_THROW(list.LoadFromFile(TTextStoreImage::Path("missing.js")), EFOpenError);
  EXPECT_EQ(list.Count(), 0);
}

TEST(MozillaPrefsFile, FailedSaveRaisesAndKeepsTheFile) {
  TTextStoreImage image;
  const std::string original = kit::BuildPrefsJs({{"x", "1"}});
  const std::string path = image.Put("prefs.js", original);
  TMozillaPrefsList list;
  list.LoadFromFile(path);
  list.WriteString("x", "2");
  image.Api().FailWrite = Always();
  EXPECT_THROW(list.SaveToFile(path), EFCreateError);
  EXPECT_EQ(image.Read("prefs.js"), original);
  EXPECT_EQ(image.Files(), std::vector<std::string>{"prefs.js"});
}

// Whatever a file holds, reading and writing it back unchanged must give every byte back behind
// the header, and the written file must read as the same entries.
TEST(MozillaPrefsWrite, ArbitraryTextSurvivesARoundTrip) {
  using namespace std::string_literals;
  const std::vector<std::string> tokens = {"user_pref(", ");", "\"",   "\"\"", ",",    ", ", " ",
                                           "\t",         "\\", "\\\"", "a",    "1",    "-7", "true",
                                           "pref(",      "//", "\0"s,  "\xFF", "\"b\""};
  const std::vector<std::string> breaks = {"\r", "\n", "\r\n", ""};
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const auto pick = [&next](const std::vector<std::string>& from) {
    return from[next() % from.size()];
  };
  int withEntries = 0;
  for (int round = 0; round < 3000; ++round) {
    // Lines shaped like statements most of the time, with random bytes in every part.
    std::string text;
    for (std::uint32_t line = next() % 6; line > 0; --line) {
      const bool statement = next() % 4 != 0;
      for (std::uint32_t i = next() % (statement ? 2 : 8); i > 0; --i)
        text += pick(tokens);
      if (statement) {
        text += "user_pref(\"" + pick(tokens) + "\", ";
        for (std::uint32_t i = next() % 4; i > 0; --i)
          text += pick(tokens);
        text += next() % 8 != 0 ? ");" : pick(tokens);
      }
      text += pick(breaks);
    }
    SCOPED_TRACE(::testing::PrintToString(text));
    const std::size_t firstBreak = text.find_first_of("\r\n");
    std::string nl = "\r\n";
    if (firstBreak != std::string::npos)
      nl = text.compare(firstBreak, 2, "\r\n") == 0 ? "\r\n" : text.substr(firstBreak, 1);
    const TMozillaPrefsList list = FromText(text);
    const std::string saved = list.SaveToText();
    ASSERT_EQ(saved,
              "# Mozilla User Preferences" + nl + "# Modified by Brindleaf" + nl + nl + text);
    const TMozillaPrefsList again = FromText(saved);
    ASSERT_EQ(again.Count(), list.Count());
    for (int i = 0; i < list.Count(); ++i) {
      EXPECT_EQ(again.Items(i).Name, list.Items(i).Name);
      EXPECT_EQ(again.Items(i).DataString, list.Items(i).DataString);
      EXPECT_EQ(again.Items(i).DataType, list.Items(i).DataType);
    }
    withEntries += list.Count() > 0 ? 1 : 0;

    // Every entry changed: each statement is written anew and must read back as written.
    TMozillaPrefsList changed = FromText(text);
    for (int i = 0; i < list.Count(); ++i)
      changed.WriteString(list.Items(i).Name, "v" + std::to_string(i));
    const TMozillaPrefsList reread = FromText(changed.SaveToText());
    for (int i = 0; i < list.Count(); ++i)
      EXPECT_EQ(reread.ReadString(list.Items(i).Name), changed.ReadString(list.Items(i).Name));
  }
  EXPECT_GT(withEntries, 1000);
}
