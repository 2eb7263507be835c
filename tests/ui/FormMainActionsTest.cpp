// What the main window asks before data goes and says after: the confirmation with its preview,
// the setting that turns it off, the status line and tab counts, and removing or copying the
// selected rows of a list, on fake stores and on the demo image's real files.

#include "ui/FormUnitMain.h"

#include "DemoWindow.h"
#include "FakeStores.h"
#include "discovery/ProcessSetup.h"
#include "kit/DemoImage.h"
#include "kit/TempDir.h"
#include "ui/UIDlgConfirm.h"
#include "winapi/image/ImageWinApi.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace quillon;
using namespace quillon::test;

namespace {

namespace fs = std::filesystem;

constexpr const char* kConfirmKey = "confirm/actions";

template <typename T> T* Child(const QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

QTableView* List(const QWidget& window, const char* name) {
  return Child<QTableView>(window, name);
}

void SelectRows(QTableView* view, std::initializer_list<int> rows) {
  view->clearSelection();
  for (const int row : rows)
    view->selectionModel()->select(view->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QAction* ListAction(QTableView* view, const char* name) {
  return view->findChild<QAction*>(QString::fromLatin1(name));
}

// Confirmations stay on for every test here, whatever an earlier run left in the settings.
class ConfirmSetting {
public:
  ConfirmSetting() { QSettings().setValue(kConfirmKey, true); }
  ~ConfirmSetting() { QSettings().remove(kConfirmKey); }
};

class FormMainActionsTest : public ::testing::Test, public TFakeStoreFixture {
protected:
  void Open(const std::vector<TFakeProfile>& profiles) {
    window = OpenWindow(profiles);
    Child<QToolButton>(*window, "profile0")->click();
  }
  std::vector<TFakeEntry>& Store() { return helper.stores["default"]; }
  QString Status() const { return window->statusBar()->currentMessage(); }

  ConfirmSetting setting_;
  std::unique_ptr<TformMain> window;
};

const std::vector<TFakeEntry> kCookies = {{ctCookies, ".advertising.com", "/", "id"},
                                          {ctCookies, "www.example.org", "/", "sid"},
                                          {ctCookies, "ads.mediaplex.com", "/", "u"},
                                          {ctHistory, "http://example.org", "/", ""}};

} // namespace

// Which actions ask, what a cancel leaves and what the user is told, action by action.
TEST_F(FormMainActionsTest, PurgesAndCleanAllAskFirstAndACancelLeavesTheStore) {
  const struct {
    TMainAction action;
    bool asks;
    bool answer;
    std::size_t storeAfter;
    QString status;
  } cases[] = {
      {aPurgeCookies, true, false, 4, "Purge cookies: cancelled."},
      {aPurgeCookies, true, true, 1, "Cookies: 3 removed"},
      {aCleanAll, true, false, 4, "Clean all: cancelled."},
      {aCleanAll, true, true, 2,
       "Cookies: 2 removed, 1 kept; Start pages: 0 removed, 0 kept; Bookmarks: 0 removed, 0 kept"},
      {aCleanCookies, false, false, 2, "Cookies: 2 removed, 1 kept"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ActionCaption(c.action).data() + std::string(c.answer ? " yes" : " no"));
    helper.stores["default"] = kCookies;
    Open({{"default", bFirefox, "3.6"}});
    confirmations.clear();
    confirmAnswer = c.answer;

    window->Action(c.action)->trigger();

    EXPECT_EQ(confirmations.size(), c.asks ? 1u : 0u);
    EXPECT_EQ(Store().size(), c.storeAfter);
    EXPECT_EQ(Status(), c.status);
    // The store holds one history entry besides the cookies.
    auto* tabs = Child<QTabWidget>(*window, "pcBrowserInfo");
    EXPECT_EQ(tabs->tabText(tabs->indexOf(Child<QWidget>(*window, "tsCookies"))).remove('&'),
              QStringLiteral("Cookies (%1)").arg(c.storeAfter - 1));
  }
}

TEST_F(FormMainActionsTest, TurnedOffConfirmationsAreNotAskedAndTheChoiceIsKept) {
  helper.stores["default"] = kCookies;
  Open({{"default", bFirefox, "3.6"}});
  auto* confirm = Child<QAction>(*window, "aConfirmActions");
  ASSERT_TRUE(confirm->isCheckable());
  EXPECT_TRUE(confirm->isChecked());
  confirm->setChecked(false);

  window->Action(aPurgeCookies)->trigger();
  EXPECT_TRUE(confirmations.empty());
  EXPECT_EQ(Store().size(), 1u);
  // A new window starts with the choice made.
  EXPECT_FALSE(OpenWindow({})->findChild<QAction*>("aConfirmActions")->isChecked());
}

// The real dialog: it names the profile, lists the accepted entries, and for a purge Cancel is
// the button Enter presses.
TEST_F(FormMainActionsTest, TheDialogListsThePreviewAndCancelIsTheDefaultOfAPurge) {
  helper.stores["default"] = kCookies;
  Open({{"default", bFirefox, "3.6"}});
  window->Manager()->ActiveProfile()->ProfileLocation = "C:\\Users\\alice\\ff\\";
  window->SetConfirmer(AskConfirmation);
  const struct {
    TMainAction action;
    int previewRows; // -1: no list
    const char* defaultButton;
    const char* click;
    std::size_t storeAfter;
  } cases[] = {
      {aPurgeCookies, -1, "btnCancel", "btnCancel", 4},
      {aCleanAll, 2, "btnConfirm", "btnConfirm", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ActionCaption(c.action).data());
    Store() = kCookies;
    window->Action(aRefreshAll)->trigger();
    bool seen = false;
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      // Whatever fails below, the dialog closes so that the test goes on.
      const auto close = qScopeGuard([&] {
        if (auto* button = dialog->findChild<QPushButton*>(c.click))
          button->click();
        else
          dialog->close();
      });
      seen = true;
      EXPECT_EQ(dialog->objectName(), "dlgConfirm");
      const QString text = Child<QLabel>(*dialog, "labelConfirm")->text();
      EXPECT_TRUE(text.contains("default (Firefox 3.6)")) << text.toStdString();
      EXPECT_TRUE(text.contains("C:\\Users\\alice\\ff\\")) << text.toStdString();
      auto* preview = dialog->findChild<QTableView*>("lvPreview");
      EXPECT_EQ(preview != nullptr ? preview->model()->rowCount() : -1, c.previewRows);
      if (preview != nullptr && c.previewRows > 0) {
        EXPECT_EQ(preview->model()->index(1, 1).data().toString(), "ads.mediaplex.com/");
      }
      EXPECT_TRUE(Child<QPushButton>(*dialog, c.defaultButton)->isDefault());
    });
    window->Action(c.action)->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(Store().size(), c.storeAfter);
  }
}

namespace {

// The window over a demo image written for the test, whose files the tests read back.
class DemoActionsTest : public TDemoWindowTest {
protected:
  using TDemoWindowTest::Click;
  void Click(const std::string& name) { Click(ProfileNamed(name)); }
  // The lists' keys are shortcuts of the list: they need it to have the focus in an active
  // window.
  bool Focus(QTableView* view, const char* tab) {
    Child<QTabWidget>("pcBrowserInfo")->setCurrentWidget(Child<QWidget>(tab));
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
      return false;
    view->setFocus();
    return view->hasFocus();
  }
  std::string Cell(QTableView* view, int row, int column) const {
    return view->model()->index(row, column).data().toString().toStdString();
  }

  ConfirmSetting setting_;
};

const std::string kBobCookies =
    "Users/bob/AppData/Roaming/Mozilla/Firefox/Profiles/w7p1c0de.default/cookies.txt";

// The cookie lines of a cookies.txt, without comments.
std::vector<std::string> CookieLines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (!line.empty() && line[0] != '#')
      lines.push_back(line);
  }
  return lines;
}

// The row text of a cookies.txt line: domain and path, then name.
std::pair<std::string, std::string> CookieRow(const std::string& line) {
  std::vector<std::string> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos)
      break;
    start = tab + 1;
  }
  return fields.size() < 6 ? std::pair{line, std::string()}
                           : std::pair{fields[0] + fields[2], fields[5]};
}

} // namespace

// cookies.txt holds a cookie twice; one of the two equal rows is selected with another cookie.
// Delete removes exactly those two lines: the twin of the selected one stays.
TEST_F(DemoActionsTest, DeleteRemovesExactlyTheSelectedEntriesAlsoOneOfTwoEqualOnes) {
  std::vector<std::string> lines = CookieLines(Host(kBobCookies));
  ASSERT_GE(lines.size(), 3u);
  const std::string twin = lines[1];
  std::ofstream(Host(kBobCookies), std::ios::app) << twin << "\r\n";
  lines.push_back(twin);
  Open();
  Click("bob (default)");
  QTableView* cookies = List(*window, "lvCookies");
  ASSERT_EQ(cookies->model()->rowCount(), static_cast<int>(lines.size()));
  // The rows of the twins, and one row of another cookie.
  std::vector<int> twinRows;
  int other = -1;
  for (int row = 0; row < cookies->model()->rowCount(); ++row)
    if (std::pair{Cell(cookies, row, 0), Cell(cookies, row, 1)} == CookieRow(twin))
      twinRows.push_back(row);
    else
      other = row;
  ASSERT_EQ(twinRows.size(), 2u);
  ASSERT_GE(other, 0);
  const std::pair<std::string, std::string> otherRow{Cell(cookies, other, 0),
                                                     Cell(cookies, other, 1)};

  SelectRows(cookies, {twinRows[1], other});
  ASSERT_TRUE(ListAction(cookies, "aRemoveSelected")->isEnabled());
  ASSERT_TRUE(Focus(cookies, "tsCookies"));
  QTest::keyClick(cookies, Qt::Key_Delete);

  ASSERT_EQ(confirmations.size(), 1u);
  ASSERT_EQ(confirmations[0].Kinds.size(), 1u);
  EXPECT_EQ(confirmations[0].Kinds[0].Count, 2);
  std::vector<std::string> expected = lines;
  expected.pop_back();
  std::erase_if(expected, [&](const std::string& line) { return CookieRow(line) == otherRow; });
  std::vector<std::string> after = CookieLines(Host(kBobCookies));
  std::sort(expected.begin(), expected.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, expected);
  EXPECT_EQ(cookies->model()->rowCount(), static_cast<int>(lines.size()) - 2);
  EXPECT_EQ(window->statusBar()->currentMessage().toStdString(),
            "Cookies: 2 removed, " + std::to_string(lines.size() - 2) + " kept");
  EXPECT_TRUE(errors.empty());
}

// A SQLite store through the context menu's action; the rows are read back from the database
// through a new window.
TEST_F(DemoActionsTest, RemoveSelectedTakesTheRowsOutOfASQLiteStore) {
  Open();
  Click("alice (default)");
  QTableView* bookmarks = List(*window, "lvBookmarks");
  const int rows = bookmarks->model()->rowCount();
  ASSERT_GT(rows, 3);
  std::vector<std::string> expected;
  for (int row = 0; row < rows; ++row)
    if (row != 2 && row != 4)
      expected.push_back(Cell(bookmarks, row, 1));
  SelectRows(bookmarks, {4, 2});
  ListAction(bookmarks, "aRemoveSelected")->trigger();

  window.reset();
  Open();
  Click("alice (default)");
  bookmarks = List(*window, "lvBookmarks");
  std::vector<std::string> after;
  for (int row = 0; row < bookmarks->model()->rowCount(); ++row)
    after.push_back(Cell(bookmarks, row, 1));
  EXPECT_EQ(after, expected);
  EXPECT_TRUE(errors.empty());
}

TEST_F(DemoActionsTest, CopyPutsTheSelectedRowsOnTheClipboardAndRemoveNeedsTheClean) {
  Open();
  Click("alice (default)");
  QTableView* cookies = List(*window, "lvCookies");
  SelectRows(cookies, {3, 1});
  ASSERT_TRUE(Focus(cookies, "tsCookies"));
  QTest::keySequence(cookies, QKeySequence::Copy);
  std::string expected;
  for (const int row : {1, 3})
    expected +=
        Cell(cookies, row, 0) + "\t" + Cell(cookies, row, 1) + "\t" + Cell(cookies, row, 2) + "\n";
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);

  // Firefox does not clean its history: its rows can be selected but not removed.
  Click("bob (default)");
  QTableView* history = List(*window, "lvHistory");
  const int rows = history->model()->rowCount();
  ASSERT_GT(rows, 0);
  SelectRows(history, {0});
  EXPECT_FALSE(ListAction(history, "aRemoveSelected")->isEnabled());
  window->RemoveSelected(ctHistory);
  EXPECT_TRUE(confirmations.empty());
  EXPECT_EQ(history->model()->rowCount(), rows);
}

TEST_F(DemoActionsTest, ButtonsAndTheInfoTabSayWhereEachProfileLies) {
  Open();
  Click("bob (default)");
  const std::string location =
      "C:\\Users\\bob\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\w7p1c0de.default\\";
  const std::string info = Child<QLabel>("labelProfile")->text().toStdString();
  EXPECT_NE(info.find("bob (default) (Firefox"), std::string::npos) << info;
  EXPECT_NE(info.find(location), std::string::npos) << info;
  int withLocation = 0;
  for (QToolButton* button : window->findChildren<TProfileToolButton*>())
    withLocation += button->toolTip().toStdString().find(location) != std::string::npos;
  EXPECT_EQ(withLocation, 1);
}
