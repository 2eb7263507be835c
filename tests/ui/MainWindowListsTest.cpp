// The main window's lists as a user handles them: sorting by a header click, the filter box,
// the tabs the keyboard reaches, the state at start, the columns, and what the window remembers.

#include "ui/FormUnitMain.h"

#include "FakeStores.h"
#include "discovery/ActionPreview.h"
#include "ui/EntryListModel.h"
#include "ui/EntryListView.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

class MainWindowListsTest : public ::testing::Test, public TFakeStoreFixture {
protected:
  MainWindowListsTest() { QSettings().clear(); }
  ~MainWindowListsTest() override { QSettings().clear(); }

  void Open(const std::vector<TFakeProfile>& profiles) { window = OpenWindow(profiles); }

  template <typename T> T* Child(const char* name) const {
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  TEntryListView* View(const char* list) const { return Child<TEntryListView>(list); }
  TEntryListModel* Model(const char* list) const {
    return static_cast<TEntryListModel*>(View(list)->model());
  }
  QTabWidget* Tabs() const { return Child<QTabWidget>("pcBrowserInfo"); }
  QStringList TabNames() const {
    QStringList names;
    for (int i = 0; i < Tabs()->count(); ++i)
      names << Tabs()->widget(i)->objectName();
    return names;
  }
  // Each row's first cell, checked against the entry the row claims to show.
  QStringList Column0(const char* list, TCacheType kind) const {
    const TEntryListModel* model = Model(list);
    const TCacheList& entries = window->Manager()->ActiveProfile()->GetList(kind);
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) {
      const QString text = model->data(model->index(row, 0)).toString();
      const TCacheItem& entry = entries.Items(model->EntryIndex(row));
      EXPECT_EQ(text.toStdString(), entry.Host + entry.Path) << row;
      texts << text;
    }
    return texts;
  }
  void ClickHeader(const char* list, int section) const {
    QHeaderView* header = View(list)->horizontalHeader();
    const QPoint middle(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
  }
  // The filter waits for a pause in typing; this waits for it to apply, however busy the machine.
  void Filter(const QString& text) const {
    Child<QLineEdit>("edFilter")->setText(text);
    WaitForFilter();
  }
  void WaitForFilter() const {
    const auto* delay = Child<QTimer>("filterDelay");
    EXPECT_TRUE(QTest::qWaitFor([delay] { return !delay->isActive(); }, 10000));
  }

  std::unique_ptr<TformMain> window;
};

const std::vector<TFakeEntry> kCookies = {{ctCookies, "b.example", "/", "1"},
                                          {ctCookies, "A.example", "/", "2"},
                                          {ctCookies, "c.other", "/", "3"},
                                          {ctCookies, "a.example", "/", "4"}};

} // namespace

TEST_F(MainWindowListsTest, HeaderClicksSortAndTheFilterNarrowsAlsoAfterARefresh) {
  helper.stores["alice"] = kCookies;
  Open({{"alice", bFirefox, "3.6"}});
  Tabs()->setCurrentWidget(Child<QWidget>("tsCookies"));
  const QHeaderView* header = View("lvCookies")->horizontalHeader();

  ClickHeader("lvCookies", 0);
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  EXPECT_EQ(Column0("lvCookies", ctCookies),
            (QStringList{"A.example/", "a.example/", "b.example/", "c.other/"}));
  ClickHeader("lvCookies", 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  // Equal keys keep their store order in both directions.
  EXPECT_EQ(Column0("lvCookies", ctCookies),
            (QStringList{"c.other/", "b.example/", "A.example/", "a.example/"}));

  Filter("EXAMPLE");
  EXPECT_EQ(Column0("lvCookies", ctCookies),
            (QStringList{"b.example/", "A.example/", "a.example/"}));
  // The store gains a matching and a non-matching cookie: the refresh keeps sort and filter.
  helper.stores["alice"].push_back({ctCookies, "d.example", "/", "5"});
  helper.stores["alice"].push_back({ctCookies, "z.other", "/", "6"});
  window->Action(aRefreshAll)->trigger();
  EXPECT_EQ(Column0("lvCookies", ctCookies),
            (QStringList{"d.example/", "b.example/", "A.example/", "a.example/"}));

  // Escape in the box clears the filter.
  auto* box = Child<QLineEdit>("edFilter");
  QTest::keyClick(box, Qt::Key_Escape);
  EXPECT_TRUE(box->text().isEmpty());
  WaitForFilter();
  EXPECT_EQ(Model("lvCookies")->rowCount(), 6);
}

// Rows of a sorted, filtered list are not list positions: removing the selected rows must take
// out the entries they show, nothing else.
TEST_F(MainWindowListsTest, RemovingSelectedRowsOfASortedFilteredListTakesTheirEntries) {
  helper.stores["alice"] = kCookies;
  Open({{"alice", bFirefox, "3.6"}});
  window->SetConfirmer(
      [](QWidget*, const TBrowserProfile&, const TActionPreview&) { return true; });
  Tabs()->setCurrentWidget(Child<QWidget>("tsCookies"));
  ClickHeader("lvCookies", 0);
  ClickHeader("lvCookies", 0);
  Filter("example");
  ASSERT_EQ(Column0("lvCookies", ctCookies),
            (QStringList{"b.example/", "A.example/", "a.example/"}));
  TEntryListView* view = View("lvCookies");
  for (const int row : {0, 2})
    view->selectionModel()->select(view->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);

  window->RemoveSelected(ctCookies);

  std::vector<std::string> left;
  for (const TFakeEntry& e : helper.stores["alice"])
    left.push_back(e.host);
  EXPECT_EQ(left, (std::vector<std::string>{"A.example", "c.other"}));
  EXPECT_EQ(Column0("lvCookies", ctCookies), (QStringList{"A.example/"}));
}

TEST_F(MainWindowListsTest, TheFilterFollowsTheTabInView) {
  helper.stores["alice"] = kCookies;
  helper.stores["alice"].push_back({ctHistory, "http://a.example", "/", ""});
  helper.stores["alice"].push_back({ctHistory, "http://other", "/", ""});
  Open({{"alice", bFirefox, "3.6"}});
  auto* box = Child<QLineEdit>("edFilter");
  // Info has no list to filter.
  EXPECT_FALSE(box->isEnabled());
  Tabs()->setCurrentWidget(Child<QWidget>("tsCookies"));
  ASSERT_TRUE(box->isEnabled());
  Filter("a.example");
  EXPECT_EQ(Model("lvCookies")->rowCount(), 2);
  Tabs()->setCurrentWidget(Child<QWidget>("tsHistory"));
  EXPECT_EQ(Column0("lvHistory", ctHistory), (QStringList{"http://a.example/"}));
}

TEST_F(MainWindowListsTest, StartsInTheStateOfTheFirstProfile) {
  struct TCase {
    std::vector<TFakeProfile> profiles;
    QStringList tabs;
    std::vector<TMainAction> enabled, disabled;
  };
  const std::vector<TCase> cases = {
      {{{"Default", bChrome, "4.1"}, {"alice", bInternetExplorer, "8.0"}},
       {"tsInfo", "tabLog", "tsCookies", "tsHistory", "tsBookmarks"},
       {aRefreshAll, aCleanCookies, aPurgePages},
       {aRefreshCache, aCleanCache, aPurgeCache, aRefreshPages}},
      {{},
       {"tsInfo", "tabLog"},
       {},
       {aRefreshAll, aRefreshCookies, aCleanAll, aCleanPages, aPurgeAll, aPurgeBookmarks}},
  };
  for (const TCase& c : cases) {
    Open(c.profiles);
    EXPECT_EQ(TabNames(), c.tabs);
    EXPECT_EQ(Tabs()->currentWidget(), Child<QWidget>("tsInfo"));
    for (const TMainAction a : c.enabled)
      EXPECT_TRUE(window->Action(a)->isEnabled()) << a;
    for (const TMainAction a : c.disabled)
      EXPECT_FALSE(window->Action(a)->isEnabled()) << a;
    // Discovery read each profile once; starting the window reads nothing again.
    EXPECT_EQ(helper.refreshes, static_cast<int>(c.profiles.size()));
    helper.refreshes = 0;
  }
}

TEST_F(MainWindowListsTest, CtrlTabNeverReachesARemovedTabAndTabsReturnInKindOrder) {
  Open({{"Default", bChrome, "4.1"}, {"alice", bInternetExplorer, "8.0"}});
  QSet<QString> reached;
  for (int i = 0; i < 12; ++i) {
    QTest::keyClick(Tabs(), Qt::Key_Tab, Qt::ControlModifier);
    reached << Tabs()->currentWidget()->objectName();
  }
  EXPECT_EQ(reached, (QSet<QString>{"tsInfo", "tabLog", "tsCookies", "tsHistory", "tsBookmarks"}));

  window->ProfileButtonClick(window->findChild<TProfileToolButton*>("profile1"));
  QStringList captions;
  for (int i = 0; i < Tabs()->count(); ++i)
    captions << Tabs()->tabText(i).remove('&');
  EXPECT_EQ(captions, (QStringList{"Info", "Log", "Cache (0)", "Cookies (0)", "History (0)",
                                   "Start pages (0)", "Bookmarks (0)"}));
  EXPECT_EQ(Tabs()->widget(2), Child<QWidget>("tsCache"));
  EXPECT_EQ(Tabs()->widget(5), Child<QWidget>("tsStartpages"));
}

TEST_F(MainWindowListsTest, KeysReachTheActionsAndTabLeavesTheList) {
  helper.stores["alice"] = kCookies;
  Open({{"alice", bInternetExplorer, "8.0"}});
  window->show();
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

  helper.stores["alice"].push_back(kCookies[0]);
  QTest::keyClick(window.get(), Qt::Key_F5);
  EXPECT_EQ(Model("lvCookies")->rowCount(), 5);
  // Alt+K: the mnemonic of "Coo&kies".
  QTest::keyClick(window.get(), Qt::Key_K, Qt::AltModifier);
  EXPECT_EQ(Tabs()->currentWidget(), Child<QWidget>("tsCookies"));

  TEntryListView* list = View("lvCookies");
  list->setFocus();
  list->setCurrentIndex(list->model()->index(0, 0));
  QTest::keyClick(list, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), list);

  QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowListsTest, TheWideColumnTakesTheSpareWidthUntilTheUserSizesIt) {
  Open({{"alice", bInternetExplorer, "8.0"}});
  Tabs()->setCurrentWidget(Child<QWidget>("tsBookmarks"));
  window->resize(1500, 600);
  window->show();
  TEntryListView* view = View("lvBookmarks");
  QHeaderView* header = view->horizontalHeader();
  ASSERT_EQ(view->WideColumn(), 1); // URL
  auto used = [header] {
    int sum = 0;
    for (int s = 0; s < header->count(); ++s)
      sum += header->sectionSize(s);
    return sum;
  };
  QApplication::processEvents();
  EXPECT_EQ(used(), view->viewport()->width());
  for (int s = 0; s < header->count(); ++s)
    EXPECT_EQ(header->sectionResizeMode(s), QHeaderView::Interactive) << s;

  // At 800 x 600 the URL keeps a readable width; the list scrolls instead.
  window->resize(800, 600);
  QApplication::processEvents();
  EXPECT_GE(header->sectionSize(1), 150);
  const int other = header->sectionSize(0);
  window->resize(1600, 600);
  QApplication::processEvents();
  EXPECT_EQ(used(), view->viewport()->width());
  EXPECT_EQ(header->sectionSize(0), other);

  header->resizeSection(1, 300);
  window->resize(1700, 650);
  QApplication::processEvents();
  EXPECT_EQ(header->sectionSize(1), 300);
}

TEST_F(MainWindowListsTest, ADoubleClickOnABorderFitsTheColumnToTheRowsInView) {
  std::vector<TFakeEntry>& store = helper.stores["alice"];
  for (int i = 0; i < 200000; ++i)
    store.push_back({ctCookies, "h" + std::to_string(i % 10) + ".example", "/", "n"});
  // Out of view, but among the first thousand rows Qt would otherwise measure.
  store[500].name = std::string(400, 'W');
  Open({{"alice", bInternetExplorer, "8.0"}});
  Tabs()->setCurrentWidget(Child<QWidget>("tsCookies"));
  window->show();
  TEntryListView* view = View("lvCookies");
  QHeaderView* header = view->horizontalHeader();
  header->resizeSection(1, 400);
  QApplication::processEvents();

  const QPoint border(header->sectionViewportPosition(1) + header->sectionSize(1) - 1,
                      header->height() / 2);
  QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, border);
  // The names in view are one letter: the column shrinks to them and the header; the
  // 400-letter name further down does not count.
  EXPECT_LT(header->sectionSize(1), 150);
  EXPECT_GE(header->sectionSize(1), header->sectionSizeHint(1));
}

TEST_F(MainWindowListsTest, ASecondWindowComesBackAsTheFirstWasLeft) {
  const std::vector<TFakeProfile> profiles = {{"default", bFirefox, "3.6", "C:\\one\\"},
                                              {"default", bFirefox, "3.6", "C:\\two\\"},
                                              {"other", bChrome, "4.1", "C:\\three\\"}};
  helper.stores["default"] = kCookies;
  Open(profiles);
  window->resize(900, 650);
  window->ProfileButtonClick(window->findChild<TProfileToolButton*>("profile1"));
  Tabs()->setCurrentWidget(Child<QWidget>("tsCookies"));
  View("lvCookies")->horizontalHeader()->resizeSection(1, 211);
  ClickHeader("lvCookies", 0);
  ClickHeader("lvCookies", 0);
  Child<QSplitter>("splitterMain")->setSizes({300, 600});
  const QList<int> splitter = Child<QSplitter>("splitterMain")->sizes();
  window->close();

  const int refreshes = helper.refreshes;
  Open(profiles);
  // The same name at another location is another profile.
  EXPECT_EQ(window->Manager()->ItemIndex, 1);
  EXPECT_TRUE(window->findChild<TProfileToolButton*>("profile1")->isChecked());
  EXPECT_EQ(helper.refreshes, refreshes + 3); // discovery only
  EXPECT_EQ(Tabs()->currentWidget(), Child<QWidget>("tsCookies"));
  EXPECT_EQ(window->size(), QSize(900, 650));
  EXPECT_EQ(Child<QSplitter>("splitterMain")->sizes(), splitter);
  const QHeaderView* header = View("lvCookies")->horizontalHeader();
  EXPECT_EQ(header->sectionSize(1), 211);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(Column0("lvCookies", ctCookies),
            (QStringList{"c.other/", "b.example/", "A.example/", "a.example/"}));

  // Where the profile is gone, the window starts with the first one.
  window->close();
  Open({profiles[2], profiles[0]});
  EXPECT_EQ(window->Manager()->ItemIndex, 0);
  EXPECT_EQ(Tabs()->currentWidget(), Child<QWidget>("tsCookies"));
}
