#include "ui/FormUnitMain.h"

#include "FakeStores.h"
#include "discovery/EntryRows.h"
#include "kit/TempDir.h"
#include "platform/ListFile.h"
#include "ui/EntryListModel.h"
#include "winapi/image/ImageWinApi.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quillon;
using namespace quillon::test;

namespace {

class FormMainTest : public ::testing::Test, public TFakeStoreFixture {
protected:
  void Open(const std::vector<TFakeProfile>& profiles) { window = OpenWindow(profiles); }

  template <typename T> T* Child(const char* name) const {
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  TProfileToolButton* Button(int index) const {
    return Child<TProfileToolButton>(("profile" + std::to_string(index)).c_str());
  }
  int Rows(const char* list) const { return Child<QTableView>(list)->model()->rowCount(); }
  QString Cell(const char* list, int row, int column) const {
    const QAbstractItemModel* model = Child<QTableView>(list)->model();
    return model->data(model->index(row, column)).toString();
  }
  QTabWidget* Tabs() const { return Child<QTabWidget>("pcBrowserInfo"); }
  bool TabVisible(const char* tab) const {
    return Tabs()->isTabVisible(Tabs()->indexOf(Child<QWidget>(tab)));
  }
  bool Enabled(TMainAction action) const { return window->Action(action)->isEnabled(); }

  std::unique_ptr<TformMain> window;
};

const TFakeEntry kCookie{ctCookies, "www.example.org", "/", "sid"};
const TFakeEntry kCache{ctCache, "www.example.org", "/a.png", ""};
const TFakeEntry kHistory{ctHistory, "http://example.org", "/", ""};
const TFakeEntry kBookmark{ctBookmarks, "http://example.org/", "Toolbar", "Example"};

} // namespace

TEST_F(FormMainTest, StartsWithTheFirstProfileDownItsCountsAndTheInfoTab) {
  helper.stores["alice"] = {kCookie, kCookie, kCache, kHistory, kHistory, kHistory};
  helper.stores["bob"] = {kBookmark};
  Open({{"alice", bInternetExplorer, "8.0"}, {"bob", bFirefox, "3.6"}});

  EXPECT_TRUE(Button(0)->isChecked());
  EXPECT_FALSE(Button(1)->isChecked());
  EXPECT_EQ(Button(1)->ProfileIndex, 1);
  EXPECT_EQ(Button(1)->text(), "bob (Firefox 3.6)");
  EXPECT_EQ(Rows("lvCache"), 1);
  EXPECT_EQ(Rows("lvCookies"), 2);
  EXPECT_EQ(Rows("lvHistory"), 3);
  EXPECT_EQ(Rows("lvPages"), 0);
  EXPECT_EQ(Rows("lvBookmarks"), 0);
  EXPECT_EQ(Tabs()->currentWidget(), Child<QWidget>("tsInfo"));
  // Internet Explorer reads and cleans every kind: all tabs and actions are there.
  for (const char* tab : {"tsCache", "tsCookies", "tsHistory", "tsStartpages", "tsBookmarks"})
    EXPECT_TRUE(TabVisible(tab)) << tab;
  for (int a = 0; a < kMainActionCount; ++a)
    EXPECT_TRUE(Enabled(static_cast<TMainAction>(a))) << a;
  // Discovery read each profile once; the window itself refreshed nothing.
  EXPECT_EQ(helper.refreshes, 2);
  EXPECT_EQ(Child<QPlainTextEdit>("mLog")->toPlainText(), "[ Test profiles ]\n+ alice\n+ bob");
  EXPECT_EQ(Child<QLabel>("labelIntroInfo")->text().count("\n\n"), 2);
}

TEST_F(FormMainTest, TabsAndMenusComeInTheirOrderWithTheirCaptions) {
  Open({{"alice", bInternetExplorer, "8.0"}});
  QStringList tabs;
  for (int i = 0; i < Tabs()->count(); ++i)
    tabs << Tabs()->widget(i)->objectName() + "=" + Tabs()->tabText(i).remove('&');
  EXPECT_EQ(tabs.join(","), "tsInfo=Info,tabLog=Log,tsCache=Cache (0),tsCookies=Cookies (0),"
                            "tsHistory=History (0),tsStartpages=Start pages (0),"
                            "tsBookmarks=Bookmarks (0)");
  auto entries = [this](const char* menu) {
    QStringList texts;
    for (const QAction* action : Child<QMenu>(menu)->actions())
      texts << action->text() + (action->isEnabled() ? "" : " (off)");
    return texts.join(",");
  };
  EXPECT_EQ(entries("pmRefresh"), "Refresh cache,Refresh cookies,Refresh history,"
                                  "Refresh home/search pages,Refresh bookmarks");
  EXPECT_EQ(entries("pmPurge"), "Purge cache,Purge cookies,Purge history,"
                                "Purge home/search pages,Purge bookmarks");
  EXPECT_EQ(entries("pmHelpers"), "Dize-R-Areze,Rodove-Z4-Uvova,Vezuz-IR-Uzodo");
  EXPECT_EQ(Child<QToolButton>("tbClean")->defaultAction()->text(), "Clean all");
  EXPECT_EQ(Child<QTableView>("lvBookmarks")->model()->headerData(3, Qt::Horizontal).toString(),
            "Created");
}

TEST_F(FormMainTest, CompatibilityListShowsFifteenBrowsersAlphabetically) {
  Open({});
  const QTreeWidget* list = Child<QTreeWidget>("lvCompatibility");
  ASSERT_EQ(list->topLevelItemCount(), 15);
  QStringList names;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    names << list->topLevelItem(i)->text(0);
  QStringList sorted = names;
  sorted.sort(Qt::CaseInsensitive);
  EXPECT_EQ(names, sorted);
  EXPECT_FALSE(names.contains("Opera Application"));
  EXPECT_EQ(names.first(), "Beonex");
  const QTreeWidgetItem* chrome = list->topLevelItem(names.indexOf("Chrome"));
  EXPECT_EQ(chrome->text(1), "-");
  EXPECT_EQ(chrome->text(2), "All");
  EXPECT_FALSE(chrome->icon(0).isNull());
  // The support marks follow the texts: Chrome's "All" has the mark of Internet Explorer's,
  // its "-" has none.
  const QTreeWidgetItem* ie = list->topLevelItem(names.indexOf("Internet Explorer"));
  auto picture = [](const QTreeWidgetItem* item, int column) {
    return item->icon(column).pixmap(16, 16).toImage();
  };
  EXPECT_TRUE(picture(chrome, 2) == picture(ie, 2));
  EXPECT_FALSE(picture(chrome, 1) == picture(ie, 1));
}

TEST_F(FormMainTest, AChromeProfileHidesCacheAndStartPagesAndIsRefreshed) {
  helper.stores["alice"] = {kCache};
  Open({{"alice", bInternetExplorer, "8.0"}, {"Default", bChrome, "4.1"}});
  Tabs()->setCurrentWidget(Child<QWidget>("tsCache"));
  helper.stores["Default"] = {kCookie, kHistory, kBookmark};

  Button(1)->click();

  EXPECT_TRUE(Button(1)->isChecked());
  EXPECT_FALSE(Button(0)->isChecked());
  EXPECT_EQ(window->Manager()->ItemIndex, 1);
  EXPECT_FALSE(TabVisible("tsCache"));
  EXPECT_FALSE(TabVisible("tsStartpages"));
  EXPECT_TRUE(TabVisible("tsCookies"));
  // The Cache tab was active; Info takes its place.
  EXPECT_EQ(Tabs()->currentWidget(), Child<QWidget>("tsInfo"));
  for (const TMainAction a : {aRefreshCache, aCleanCache, aPurgeCache, aRefreshPages})
    EXPECT_FALSE(Enabled(a)) << a;
  for (const TMainAction a : {aCleanPages, aPurgePages, aRefreshAll, aCleanAll, aPurgeAll})
    EXPECT_TRUE(Enabled(a)) << a;
  // The click re-read the store.
  EXPECT_EQ(Rows("lvCookies"), 1);
  EXPECT_EQ(Rows("lvCache"), 0);
  EXPECT_EQ(Rows("lvBookmarks"), 1);
  EXPECT_EQ(Cell("lvBookmarks", 0, 0), "Toolbar\\Example");
  const QTreeWidget* compat = Child<QTreeWidget>("lvCompatibility");
  ASSERT_EQ(compat->selectedItems().size(), 1);
  EXPECT_EQ(compat->selectedItems().first()->text(0), "Chrome");
}

TEST_F(FormMainTest, AProfileWithoutFlagsHidesEveryDataTabAndIsNotRefreshed) {
  Open({{"alice", bFirefox, "3.6"}, {"mail", bThunderbird, "3.0"}});
  Tabs()->setCurrentWidget(Child<QWidget>("tsCookies"));
  const int refreshes = helper.refreshes;

  Button(1)->click();

  for (const char* tab : {"tsCache", "tsCookies", "tsHistory", "tsStartpages", "tsBookmarks"})
    EXPECT_FALSE(TabVisible(tab)) << tab;
  EXPECT_EQ(Tabs()->currentWidget(), Child<QWidget>("tsInfo"));
  EXPECT_FALSE(Enabled(aRefreshAll));
  EXPECT_EQ(helper.refreshes, refreshes);
  // Back to a profile that can be read: its tabs return.
  Button(0)->click();
  EXPECT_TRUE(TabVisible("tsCookies"));
  EXPECT_FALSE(TabVisible("tsCache"));
  EXPECT_EQ(helper.refreshes, refreshes + 1);
}

TEST_F(FormMainTest, CleanCookiesRemovesTheAdvertisingCookiesAndShowsTheRest) {
  helper.stores["default"] = {{ctCookies, ".advertising.com", "/", "id"},
                              {ctCookies, "www.example.org", "/", "sid"},
                              {ctCookies, "ads.mediaplex.com", "/", "u"},
                              {ctCookies, "Advertising.example", "/", "x"},
                              kHistory};
  Open({{"default", bFirefox, "3.6"}});
  Button(0)->click();
  ASSERT_EQ(Rows("lvCookies"), 4);

  window->Action(aCleanCookies)->trigger();

  const std::vector<TFakeEntry>& store = helper.stores["default"];
  ASSERT_EQ(store.size(), 3u);
  EXPECT_EQ(store[0].host, "www.example.org");
  EXPECT_EQ(store[1].host, "Advertising.example");
  ASSERT_EQ(Rows("lvCookies"), 2);
  EXPECT_EQ(Cell("lvCookies", 0, 0), "www.example.org/");
  EXPECT_EQ(Cell("lvCookies", 1, 1), "x");
  EXPECT_EQ(Rows("lvHistory"), 1);
}

TEST_F(FormMainTest, PurgeCacheOfAMozillaProfileLeavesItsListUnrefreshed) {
  helper.stores["default"] = {kCache, kCache, kCookie};
  Open({{"default", bFirefox, "3.6"}});
  Button(0)->click();
  ASSERT_EQ(Rows("lvCache"), 2);

  window->Action(aPurgeCache)->trigger();

  EXPECT_EQ(helper.stores["default"].size(), 1u);
  EXPECT_EQ(Rows("lvCache"), 2);
  EXPECT_EQ(window->Manager()->ActiveProfile()->GetList(ctCache).Count(), 2);
}

TEST_F(FormMainTest, AnExceptionFromAnActionIsShownAndTheWindowGoesOn) {
  helper.stores["o"] = {kCookie};
  Open({{"o", bOpera, "9.6"}});
  helper.beforeClean = [] { throw std::runtime_error("Cannot open cookies4.dat"); };
  window->Action(aCleanAll)->trigger();
  EXPECT_EQ(errors, (std::vector<std::string>{"Cannot open cookies4.dat"}));

  helper.beforeClean = nullptr;
  helper.stores["o"].push_back(kHistory);
  window->Action(aRefreshAll)->trigger();
  EXPECT_EQ(Rows("lvHistory"), 1);
}

// A clean or purge that could not change every store ends in one warning naming the profile and
// each failed kind with its reason; one that could shows none.
TEST_F(FormMainTest, ACleanOrPurgeThatCouldNotChangeAStoreShowsOneWarning) {
  helper.stores["o"] = {kCookie, kHistory, kCache};
  Open({{"o", bOpera, "9.6"}});
  window->Manager()->ActiveProfile()->ProfileLocation = "C:\\Opera\\";
  window->Action(aPurgeCache)->trigger();
  EXPECT_TRUE(failures.empty());

  helper.locked[ctCookies] = "cookies4.dat is in use by another program";
  helper.locked[ctHistory] = "global.dat is read-only or may not be changed";
  window->Action(aPurgeAll)->trigger();
  EXPECT_EQ(failures, (std::vector<std::string>{
                          "Not everything could be removed from the profile o (Opera 4+, "
                          "C:\\Opera\\):\n\nCookies: cookies4.dat is in use by another program\n"
                          "History: global.dat is read-only or may not be changed"}));
  // What stayed is still listed.
  EXPECT_EQ(Rows("lvCookies"), 1);
  EXPECT_EQ(Rows("lvHistory"), 1);
  EXPECT_TRUE(errors.empty());
}

TEST_F(FormMainTest, AmpersandsShowAsTheyStandInTitleAndCaptions) {
  QApplication::setApplicationName(QStringLiteral("Q&A Tool"));
  Open({{"work & play", bKMeleon, "1.5"}});
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  EXPECT_EQ(window->windowTitle(), "Q&A Tool");
  EXPECT_EQ(Child<QAction>("miAbout")->text(), "&About Q&&A Tool...");
  EXPECT_EQ(Button(0)->text(), "work && play (K-Meleon 1.5)");
}

TEST_F(FormMainTest, WithoutProfilesThereAreNoButtonsAndNoRows) {
  Open({});
  EXPECT_TRUE(window->findChildren<TProfileToolButton*>().isEmpty());
  EXPECT_EQ(Rows("lvCookies"), 0);
  window->Action(aRefreshAll)->trigger();
  window->Action(aCleanAll)->trigger();
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(helper.refreshes, 0);
}

TEST_F(FormMainTest, CellsShowTheRowTextsOfTheirEntries) {
  helper.stores["h"] = {{ctHistory, "", "", "", 0, 0},
                        {ctHistory, "http://example.org", "/x", "", 40000.5, 0}};
  Open({{"h", bOpera, "9.6"}});
  const TCacheList& history = window->Manager()->ActiveProfile()->GetList(ctHistory);
  for (int row = 0; row < history.Count(); ++row)
    for (int column = 0; column < 3; ++column)
      EXPECT_EQ(Cell("lvHistory", row, column).toStdString(),
                EntryCellText(ctHistory, history.Items(row), column));
  EXPECT_EQ(Cell("lvHistory", 0, 0), "?");
}

TEST(FormMainListFile, IsReadFromBesideTheExecutable) {
  kit::TTempDir dir;
  const std::filesystem::path root(dir.Path());
  std::filesystem::create_directories(root / "image");
  std::filesystem::create_directories(root / "bin");
  {
    std::ofstream file(root / "bin" / "Quillon.ieldat", std::ios::binary);
    file << EncodeListText("HKCU\\Software\\A\\Start Page\r\nHKLM\\Software\\B\\Search Page\r\n",
                           BuildListKey());
  }
  winapi::image::TImageConfig config;
  config.imageRoot = (root / "image").string();
  config.executablePath = (root / "bin" / "quillon").string();
  winapi::TWinApiScope scope(std::make_shared<winapi::image::TImageWinApi>(config));

  TformMain window([] { return std::make_unique<TBrowserManager>(TFamilyMask{}); });
  EXPECT_EQ(window.Manager()->IEPageLocations(),
            (std::vector<std::string>{"HKCU\\Software\\A\\Start Page",
                                      "HKLM\\Software\\B\\Search Page"}));
}
