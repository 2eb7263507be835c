// The Opera cookie window: opened from the Helpers menu, the real sample files in its tree and
// table, a cache index after a cookie file, and files it cannot show whole or at all.

#include "ui/FormUnitO4.h"

#include "FakeStores.h"
#include "formats/O4CookieView.h"
#include "kit/HostFile.h"
#include "kit/TempDir.h"
#include "model/FakeTimeLocale.h"
#include "session/HostFiles.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>

#include <gtest/gtest.h>

#include <filesystem>

namespace quillon {
namespace {

using Texts = std::vector<std::string>;

const std::string kCookieSample = QUILLON_SAMPLES_DIR "/opera/danylyuk_opera12_cookies4.dat";
const std::string kCacheSample = QUILLON_SAMPLES_DIR "/opera/danylyuk_opcache_dcache4.url";

class FormO4Test : public ::testing::Test {
protected:
  FormO4Test() {
    form.SetErrorReporter(
        [this](QWidget*, const QString& message) { errors.push_back(message.toStdString()); });
  }

  static bool SamplesAbsent() {
    return !std::filesystem::exists(kCookieSample) || !std::filesystem::exists(kCacheSample);
  }

  QAbstractItemModel& Tree() const {
    return *form.findChild<QTreeView*>(QStringLiteral("tvO4Cookie"))->model();
  }
  QAbstractItemModel& Table() const {
    return *form.findChild<QTableView*>(QStringLiteral("lvO4Cookie"))->model();
  }
  QStringList Column(int column) const {
    QStringList cells;
    for (int row = 0; row < Table().rowCount(); ++row)
      cells << Table().data(Table().index(row, column)).toString();
    return cells;
  }
  // Every node of the tree, depth first, as "level:text"; also checks that each node names its
  // parent.
  Texts TreeLines() const {
    const QAbstractItemModel& model = Tree();
    Texts lines;
    std::vector<std::pair<QModelIndex, int>> todo;
    for (int row = model.rowCount() - 1; row >= 0; --row)
      todo.emplace_back(model.index(row, 0), 0);
    while (!todo.empty()) {
      const auto [index, level] = todo.back();
      todo.pop_back();
      lines.push_back(std::to_string(level) + ":" + model.data(index).toString().toStdString());
      for (int row = model.rowCount(index) - 1; row >= 0; --row) {
        const QModelIndex child = model.index(row, 0, index);
        EXPECT_EQ(model.parent(child), index) << lines.back();
        todo.emplace_back(child, level + 1);
      }
    }
    return lines;
  }
  const QLabel& Status() const { return *form.findChild<QLabel*>(QStringLiteral("lblStatus")); }
  QString Debug() const {
    return form.findChild<QPlainTextEdit*>(QStringLiteral("memoDebug"))->toPlainText();
  }

  testing::TFakeTimeZone zone{0, 0, false};
  kit::TTempDir dir;
  TformO4 form;
  Texts errors;
};

TEST(FormO4, HelpersEntryShowsTheHiddenWindow) {
  test::TFakeStoreFixture stores;
  const auto main = stores.OpenWindow({});
  auto* form = main->findChild<TformO4*>(QStringLiteral("formO4"));
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->isVisible());
  auto* entry = main->findChild<QAction*>(QStringLiteral("aO4Viewer"));
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(entry->isEnabled());
  entry->trigger();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isWindow());
  EXPECT_EQ(form->windowTitle(), "Rodove-Z4-Uvova");

  const auto* pages = form->findChild<QTabWidget*>(QStringLiteral("pcMain"));
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->tabText(0) + "," + pages->tabText(1), "Cookies,Debug");
  const auto* menu = form->findChild<QMenu*>(QStringLiteral("miFile"));
  ASSERT_NE(menu, nullptr);
  QStringList commands;
  for (const QAction* action : menu->actions())
    commands << action->objectName() + "=" + action->text();
  EXPECT_EQ(commands.join(","),
            "miOpenCookies=&Open cookie file,miOpenCache=&Debug open cache file");
  const QAbstractItemModel* table =
      form->findChild<QTableView*>(QStringLiteral("lvO4Cookie"))->model();
  QStringList captions;
  for (int c = 0; c < table->columnCount(); ++c)
    captions << table->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(captions.join(","), "Domain Path,Name,Value,Expires,Last Used,Comment,CommentURL,"
                                "Port List,Receive Domain,Receive Path,Secure,Server Send Back,"
                                "Protected,Prefixed,3rd Party,Authenticate,Password,Version");

  // A file the window cannot open is reported through the main window's reporter.
  form->OpenCookieFile(QStringLiteral("/nonexistent/cookies4.dat"));
  ASSERT_EQ(stores.errors.size(), 1u);
  EXPECT_NE(stores.errors[0].find("/nonexistent/cookies4.dat"), std::string::npos)
      << stores.errors[0];
}

TEST_F(FormO4Test, ShowsTheSampleCookieFileWhole) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Opera samples in " QUILLON_SAMPLES_DIR "/opera are absent";
  QAbstractItemModelTester tester(&Tree(), QAbstractItemModelTester::FailureReportingMode::Warning);
  form.OpenCookieFile(QString::fromStdString(kCookieSample));
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(Status().isVisibleTo(&form)) << Status().text().toStdString();

  // The tree shows what the texts below the window make of the same file, node for node.
  const THostFiles host;
  const TO4CookieRoot root(host.WindowsPath(kCookieSample));
  Texts expected;
  VisitO4CookieTree(root, [&](int level, std::string_view text) {
    expected.push_back(std::to_string(level) + ":" + std::string(text));
  });
  EXPECT_EQ(Tree().rowCount(), 8);
  EXPECT_EQ(TreeLines(), expected);
  EXPECT_EQ(Tree().data(Tree().index(0, 0)).toString(), "com");

  ASSERT_EQ(Table().rowCount(), 168);
  const std::vector<const TO4Cookie*> cookies = O4CookieRows(root);
  for (const int row : {0, 77, 167})
    for (int c = 0; c < kO4CookieColumnCount; ++c)
      EXPECT_EQ(Table().data(Table().index(row, c)).toString().toStdString(),
                O4CookieCellText(*cookies[static_cast<std::size_t>(row)], c))
          << row << "," << c;
  EXPECT_EQ(Column(0).first(), "addthis.com/");
}

TEST_F(FormO4Test, ACacheIndexReplacesTheRowsAndKeepsTheTree) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Opera samples in " QUILLON_SAMPLES_DIR "/opera are absent";
  form.OpenCookieFile(QString::fromStdString(kCookieSample));
  const Texts tree = TreeLines();
  form.OpenCacheFile(QString::fromStdString(kCacheSample));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(TreeLines(), tree);
  ASSERT_EQ(Table().rowCount(), 78);
  EXPECT_TRUE(Column(0).first().startsWith("http://sitecheck2.opera.com/?host="));
  // Only the first four columns hold texts.
  EXPECT_EQ(Column(4), QStringList(78, QString()));
  // A cookie file again replaces both.
  form.OpenCookieFile(QString::fromStdString(kCookieSample));
  EXPECT_EQ(Table().rowCount(), 168);
}

TEST_F(FormO4Test, AFileThatCannotBeOpenedKeepsWhatWasShown) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Opera samples in " QUILLON_SAMPLES_DIR "/opera are absent";
  form.OpenCookieFile(QString::fromStdString(kCookieSample));
  const Texts tree = TreeLines();
  const std::string missing = dir.Path() + "/missing.dat";
  const struct {
    std::string path;
    bool cache;
  } cases[] = {{missing, false}, {missing, true}, {dir.Path(), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    errors.clear();
    if (c.cache)
      form.OpenCacheFile(QString::fromStdString(c.path));
    else
      form.OpenCookieFile(QString::fromStdString(c.path));
    ASSERT_EQ(errors.size(), 1u);
    // The user knows the file by the name given, not by the way the reader reached it.
    EXPECT_NE(errors[0].find(c.path), std::string::npos) << errors[0];
    EXPECT_EQ(TreeLines(), tree);
    EXPECT_EQ(Table().rowCount(), 168);
  }
}

TEST_F(FormO4Test, AnUnknownHeaderClearsTreeAndTableAndSaysSo) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Opera samples in " QUILLON_SAMPLES_DIR "/opera are absent";
  form.OpenCookieFile(QString::fromStdString(kCookieSample));
  std::string bytes = kit::ReadHostFile(kCookieSample);
  bytes[7] = 0x02; // an application version Opera never wrote
  const std::string path = dir.Path() + "/cookies4.dat";
  kit::WriteHostFile(path, bytes);
  form.OpenCookieFile(QString::fromStdString(path));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(Tree().rowCount(), 0);
  EXPECT_EQ(Table().rowCount(), 0);
  EXPECT_TRUE(Status().isVisibleTo(&form));
  EXPECT_TRUE(Status().text().startsWith("Not an Opera cookie file"))
      << Status().text().toStdString();
  EXPECT_TRUE(Debug().contains(QString::fromStdString(path))) << Debug().toStdString();
}

TEST_F(FormO4Test, AFileCutShortShowsWhatWasReadAndSaysWhere) {
  if (SamplesAbsent())
    GTEST_SKIP() << "the Opera samples in " QUILLON_SAMPLES_DIR "/opera are absent";
  const struct {
    std::string sample;
    bool cache;
    int wholeRows;
  } cases[] = {{kCookieSample, false, 168}, {kCacheSample, true, 78}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sample);
    const std::string bytes = kit::ReadHostFile(c.sample);
    const std::string path = dir.Path() + "/cut";
    kit::WriteHostFile(path, bytes.substr(0, bytes.size() / 2));
    if (c.cache)
      form.OpenCacheFile(QString::fromStdString(path));
    else
      form.OpenCookieFile(QString::fromStdString(path));
    EXPECT_GT(Table().rowCount(), 0);
    EXPECT_LT(Table().rowCount(), c.wholeRows);
    EXPECT_TRUE(Status().isVisibleTo(&form));
    EXPECT_TRUE(Status().text().contains("could be read only up to byte"))
        << Status().text().toStdString();
  }
  // A whole file hides the line again.
  form.OpenCookieFile(QString::fromStdString(kCookieSample));
  EXPECT_FALSE(Status().isVisibleTo(&form));
}

} // namespace
} // namespace quillon
