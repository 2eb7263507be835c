// quillon-cli mork: each view of a real sample as the Mork window's tabs show it, hostile values
// kept on their line, and the arguments and files it refuses.

#include "cli/CliRun.h"

#include "formats/FFMorkSimple.h"
#include "kit/HostFile.h"
#include "kit/MorkWriter.h"
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

const std::string kSample = QUILLON_SAMPLES_DIR "/mork/tb_panacea.dat";

TEST(CliMork, PrintsEachViewOfTheSample) {
  if (!std::filesystem::exists(kSample))
    GTEST_SKIP() << kSample << " is absent";
  const THostFiles host;
  TMorkFile mork;
  mork.LoadFromFile(host.WindowsPath(kSample));
  const Texts raw(mork.RawList().begin(), mork.RawList().end());
  const Texts table(mork.TableList().begin(), mork.TableList().end());

  const struct {
    Texts args;
    std::size_t lines;
    std::string first, last;
  } cases[] = {
      {{"raw"}, raw.size(), raw.front(), raw.back()},
      {{"table"}, table.size(), table.front(), table.back()},
      // Ordered by id: "f" (the charset cell) after the hex ids of the file.
      {{"fields"}, mork.FieldList().size() + 1, "ID\tField name", "f\tiso-8859-1"},
      {{"data"}, mork.DataList().size() + 1, "ID\tData/content", ""},
      {{"result"}, mork.RowCount() + 1, "", ""},
      {{}, mork.RowCount() + 1, "", ""},
  };
  std::string result;
  for (const auto& c : cases) {
    Texts args = {"mork", kSample};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args.size() > 2 ? args[2] : "(default)");
    const auto run = RunCli(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const Texts lines = Lines(run.out);
    ASSERT_EQ(lines.size(), c.lines);
    if (!c.first.empty()) {
      EXPECT_EQ(lines.front(), c.first);
    }
    if (!c.last.empty()) {
      EXPECT_EQ(lines.back(), c.last);
    }
    if (c.args.empty()) {
      EXPECT_EQ(run.out, result); // the default view is the result
    } else if (c.args[0] == "result") {
      result = run.out;
    }
  }

  // The result: "ID", then one column per field in list order, the charset cell's first.
  const Texts lines = Lines(result);
  EXPECT_TRUE(lines[0].starts_with("ID\tiso-8859-1\tboxFlags\t")) << lines[0];
  for (const std::string& line : lines)
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), mork.FieldList().size()) << line;
  EXPECT_TRUE(lines[2].starts_with("2\t") && lines[2].find("\tTrash\t") != std::string::npos)
      << lines[2];
}

TEST(CliMork, KeepsEachHostileValueOnItsLine) {
  const kit::TTempDir dir;
  const std::string path = dir.Path() + "/history.dat";
  kit::WriteHostFile(path,
                     kit::BuildHistoryDat({{"http://a.example/\n\x1b[2J", "a\tb", "a.example"}}));
  const auto run = RunCli({"mork", path, "result"});
  EXPECT_EQ(run.code, 0) << run.err;
  const Texts lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("http://a.example/\\n\\x1b[2J"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("a\\tb"), std::string::npos) << lines[1];
  EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\t'),
            std::count(lines[0].begin(), lines[0].end(), '\t'));
}

TEST(CliMork, RefusesBadArgumentsAndReportsFilesItCannotShow) {
  const kit::TTempDir dir;
  const std::string missing = dir.Path() + "/missing.dat";
  std::string wide = "< <(a=c)>";
  for (int i = 0; i < 1100; ++i)
    wide += "(" + std::to_string(1000 + i) + "=c" + std::to_string(i) + ")";
  kit::WriteHostFile(dir.Path() + "/wide.dat", wide + ">\n[1(^1000=v)]\n");

  const struct {
    Texts args;
    int code;
    std::string err;
    std::size_t lines;
  } cases[] = {
      {{"mork"}, 2, "usage: quillon-cli [options] mork FILE", 0},
      {{"mork", missing, "result", "raw"}, 2, "usage: quillon-cli [options] mork FILE", 0},
      {{"mork", missing, "rows"}, 2, "unknown view 'rows'", 0},
      {{"mork", missing}, 1, "quillon-cli: Cannot open file \"" + missing + "\"", 0},
      {{"mork", dir.Path(), "raw"}, 1, dir.Path(), 0},
      {{"mork", dir.Path() + "/wide.dat"},
       1,
       "wide.dat: The column dictionary names 1100 columns; the result shows the first 1024.",
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    const auto run = RunCli(c.args);
    EXPECT_EQ(run.code, c.code);
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_EQ(Lines(run.out).size(), c.lines);
  }
}

} // namespace
} // namespace quillon
