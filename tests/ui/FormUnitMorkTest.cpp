// The Mork window: opened from the Helpers menu and asking for a file each time it is shown, the
// real sample files and a written history on its five tabs, a second read, a cancelled prompt,
// files it cannot read, and files made to be costly to show.

#include "ui/FormUnitMork.h"

#include "FakeStores.h"
#include "formats/StoreLimits.h"
#include "kit/HostFile.h"
#include "kit/MorkWriter.h"
#include "kit/TempDir.h"
#include "session/HostFiles.h"
#include "ui/DisplayText.h"
#include "winapi/TextCase.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace quillon {
namespace {

const std::string kSampleFolder = QUILLON_SAMPLES_DIR "/mork";

std::string Sample(const char* name) {
  return kSampleFolder + "/" + name;
}

// The reader's own answer for a host file, to hold the window against.
TMorkFile Read(const std::string& hostPath) {
  const THostFiles host;
  TMorkFile mork;
  mork.LoadFromFile(host.WindowsPath(hostPath));
  return mork;
}

QAbstractItemModel& ModelOf(const QWidget& form, const char* viewName) {
  return *form.findChild<QTableView*>(QString::fromLatin1(viewName))->model();
}

std::string Cell(const QAbstractItemModel& model, int row, int column) {
  return model.data(model.index(row, column)).toString().toStdString();
}

void AddRow(std::string& text, const std::vector<std::string>& cells) {
  for (const std::string& cell : cells)
    text += cell + "|";
  text += "\n";
}

// Every text every tab shows, the captions of shown headers first.
std::string Everything(const QWidget& form) {
  std::string text;
  for (const char* name : {"memoMork", "lvFields", "lvData", "memoTable", "lvResult"}) {
    const auto* view = form.findChild<QTableView*>(QString::fromLatin1(name));
    const QAbstractItemModel& model = *view->model();
    std::vector<std::string> cells;
    for (int c = 0; c < model.columnCount() && !view->horizontalHeader()->isHidden(); ++c)
      cells.push_back(model.headerData(c, Qt::Horizontal).toString().toStdString());
    text += name + std::string(":");
    AddRow(text, cells);
    for (int r = 0; r < model.rowCount(); ++r) {
      cells.clear();
      for (int c = 0; c < model.columnCount(); ++c)
        cells.push_back(Cell(model, r, c));
      AddRow(text, cells);
    }
  }
  return text;
}

// What Everything should give, from the reader's own lists and lookups: the lines as they are,
// the dictionaries split at their first "=" and ordered by id without regard to case, and the
// grid of CellValue under "ID" and every field's name.
std::string Expected(const TMorkFile& mork) {
  const auto shown = [](std::string_view bytes) { return DisplayText(bytes).toStdString(); };
  std::string text;
  const auto lines = [&](const char* name, const TTextList& list) {
    text += name + std::string(":\n");
    for (const std::string_view line : list)
      AddRow(text, {shown(line)});
  };
  const auto dictionary = [&](const char* name, const char* caption, const TTextList& list) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string_view entry : list) {
      const std::size_t eq = std::min(entry.find('='), entry.size());
      rows.push_back(
          {shown(entry.substr(0, eq)), shown(entry.substr(std::min(eq + 1, entry.size())))});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
      return LowerCaseAscii(a[0]) < LowerCaseAscii(b[0]);
    });
    text += name + std::string(":");
    AddRow(text, {"ID", caption});
    for (const auto& row : rows)
      AddRow(text, row);
  };
  lines("memoMork", mork.RawList());
  dictionary("lvFields", "Field name", mork.FieldList());
  dictionary("lvData", "Data/content", mork.DataList());
  lines("memoTable", mork.TableList());
  std::vector<std::string> names = {"ID"};
  for (const std::string_view field : mork.FieldList())
    names.emplace_back(field.substr(std::min(field.find('=') + 1, field.size())));
  text += "lvResult:";
  AddRow(text, names);
  for (std::size_t r = 0; r < mork.RowCount(); ++r) {
    std::vector<std::string> cells = {shown(mork.RowId(r))};
    for (std::size_t c = 1; c < names.size(); ++c)
      cells.push_back(shown(mork.CellValue(names[c], r)));
    AddRow(text, cells);
  }
  return text;
}

class FormMorkTest : public ::testing::Test {
protected:
  FormMorkTest() {
    form.SetErrorReporter(
        [this](QWidget*, const QString& message) { errors.push_back(message.toStdString()); });
    form.SetFileChooser([this](QWidget*, const QString& start) {
      starts.push_back(start.toStdString());
      return QString::fromStdString(answer);
    });
  }

  static bool SamplesAbsent() { return !std::filesystem::is_directory(kSampleFolder); }

  const QAbstractItemModel& Model(const char* viewName) const { return ModelOf(form, viewName); }

  kit::TTempDir dir;
  TformMork form;
  std::string answer; // what the file prompt answers
  std::vector<std::string> starts;
  std::vector<std::string> errors;
};

TEST(FormMork, HelpersEntryShowsTheWindowWhichAsksForAFileEachTimeItIsShown) {
  if (!std::filesystem::exists(Sample("tb_panacea.dat")))
    GTEST_SKIP() << "the Mork samples in " << kSampleFolder << " are absent";
  test::TFakeStoreFixture stores;
  const auto main = stores.OpenWindow({});
  auto* form = main->findChild<TformMork*>(QStringLiteral("formMork"));
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->isVisible());
  std::vector<std::string> starts;
  std::string answer = Sample("tb_panacea.dat");
  form->SetFileChooser([&](QWidget*, const QString& start) {
    starts.push_back(start.toStdString());
    return QString::fromStdString(answer);
  });

  auto* entry = main->findChild<QAction*>(QStringLiteral("aMorkViewer"));
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(entry->isEnabled());
  entry->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(form->isVisible() && form->isWindow());
  EXPECT_EQ(form->windowTitle(), "Dize-R-Areze");
  EXPECT_EQ(starts, std::vector<std::string>{""});
  EXPECT_EQ(ModelOf(*form, "lvResult").rowCount(), 13);

  const auto* pages = form->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  ASSERT_NE(pages, nullptr);
  QStringList tabs;
  for (int i = 0; i < pages->count(); ++i)
    tabs << pages->widget(i)->objectName() + "=" + pages->tabText(i);
  EXPECT_EQ(tabs.join(","), "tabRaw=RAW,tabFields=Fields,tabData=Data/Content,TabSheet4=Table,"
                            "TabSheet1=!!! Here It Is !!!");
  EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheet4");
  EXPECT_EQ(form->findChild<QPushButton*>(QStringLiteral("bnRead"))->text(), "read");

  // Shown again (not merely raised), it asks again, starting at the file read last; the entry of
  // a window already shown only raises it.
  entry->trigger();
  QApplication::processEvents();
  EXPECT_EQ(starts.size(), 1u);
  form->hide();
  answer = "/nonexistent/history.dat";
  entry->trigger();
  QApplication::processEvents();
  EXPECT_EQ(starts, (std::vector<std::string>{"", Sample("tb_panacea.dat")}));
  // A file the window cannot read is reported through the main window's reporter.
  ASSERT_EQ(stores.errors.size(), 1u);
  EXPECT_NE(stores.errors[0].find("/nonexistent/history.dat"), std::string::npos)
      << stores.errors[0];
  EXPECT_EQ(ModelOf(*form, "lvResult").rowCount(), 13);
}

TEST_F(FormMorkTest, ShowsWhatTheReaderMakesOfEachFile) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Mork samples in " << kSampleFolder << " are absent";
  // A history whose row cells are quoted in the table's comma text (a blank, a comma, a quote).
  const std::string history = dir.Path() + "/history.dat";
  kit::WriteHostFile(history,
                     kit::BuildHistoryDat({{"http://a.example/", "A", "a.example", 1, 2, 3},
                                           {"http://b.example/x,y", "B \"b\"", "b.example"}}));
  std::vector<std::string> files = {history};
  for (const auto& file : std::filesystem::directory_iterator(kSampleFolder))
    files.push_back(file.path().string());
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    form.ReadFile(QString::fromStdString(file));
    ASSERT_TRUE(errors.empty()) << errors[0];
    EXPECT_EQ(Everything(form), Expected(Read(file)));
  }
}

TEST_F(FormMorkTest, ASecondReadReplacesAllAndCancelOrAnUnreadableFileKeepsAll) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Mork samples in " << kSampleFolder << " are absent";
  const std::string loveOnly = Expected(Read(Sample("tb_love.msf")));

  answer = Sample("tb_cardForEmail.mab");
  form.bnReadClick();
  answer = Sample("tb_love.msf");
  form.bnReadClick();
  EXPECT_EQ(Everything(form), loveOnly);

  const std::string missing = dir.Path() + "/missing.dat";
  // Larger than any Mork file is read; sparse, so it costs no disk.
  const std::string huge = dir.Path() + "/huge.dat";
  kit::WriteHostFile(huge, "");
  std::filesystem::resize_file(huge, kMorkLimit + 1);
  const struct {
    std::string answer;
    bool reported;
  } cases[] = {{"", false}, {missing, true}, {dir.Path(), true}, {huge, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    errors.clear();
    answer = c.answer;
    form.findChild<QPushButton*>(QStringLiteral("bnRead"))->click();
    ASSERT_EQ(errors.size(), c.reported ? 1u : 0u);
    // The user knows the file by the name given, not by the way the reader reached it.
    if (c.reported) {
      EXPECT_NE(errors[0].find(std::filesystem::path(c.answer).filename().string()),
                std::string::npos)
          << errors[0];
      EXPECT_EQ(errors[0].find("Z:"), std::string::npos) << errors[0];
    }
    EXPECT_EQ(Everything(form), loveOnly);
  }
  // The prompt starts at the last file the user chose, read or not.
  EXPECT_EQ(starts.back(), dir.Path());
}

TEST_F(FormMorkTest, FilesWithoutRowsOrWithEndlessColumnsStayCheapAndSaySo) {
  const std::string noRows = dir.Path() + "/empty.dat";
  kit::WriteHostFile(noRows, kit::BuildHistoryDat({}));
  form.ReadFile(QString::fromStdString(noRows));
  const TMorkFile mork = Read(noRows);
  EXPECT_EQ(Model("lvResult").rowCount(), 0);
  EXPECT_EQ(Model("lvResult").columnCount(), static_cast<int>(mork.FieldList().size()) + 1);
  EXPECT_GT(mork.FieldList().size(), 1u);
  const auto* status = form.findChild<QLabel*>(QStringLiteral("lblStatus"));
  EXPECT_FALSE(status->isVisibleTo(&form));

  // 2,000 columns and one value of a megabyte: the grid keeps its first 1,024 columns and says
  // so, and the long value shows cut.
  std::string text = "< <(a=c)>";
  for (int i = 0; i < 2000; ++i)
    text += "(" + std::to_string(1000 + i) + "=c" + std::to_string(i) + ")";
  text += ">\n[1(^1000=" + std::string(1 << 20, 'v') + ")]\n";
  const std::string wide = dir.Path() + "/wide.dat";
  kit::WriteHostFile(wide, text);
  form.ReadFile(QString::fromStdString(wide));
  ASSERT_TRUE(errors.empty()) << errors[0];
  EXPECT_EQ(Model("lvResult").columnCount(), 1025);
  ASSERT_EQ(Model("lvResult").rowCount(), 1);
  const std::string cell = Cell(Model("lvResult"), 0, 1);
  EXPECT_LT(cell.size(), 10000u);
  EXPECT_TRUE(cell.starts_with("vvvv") && cell.ends_with("[...]")) << cell.substr(0, 20);
  EXPECT_TRUE(status->isVisibleTo(&form));
  EXPECT_EQ(status->text(),
            "The column dictionary names 2000 columns; the result shows the first 1024.");
}

} // namespace
} // namespace quillon
