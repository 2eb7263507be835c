// The IE cache window: opened from the Helpers menu, its rows, a click on a column header, and a
// fresh read each time the program shows it.

#include "ui/FormUnitIECache.h"

#include "FakeStores.h"
#include "winapi/FakeUrlCache.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using namespace winapi;

class FormIECacheTest : public ::testing::Test, public test::TFakeStoreFixture {
protected:
  FormIECacheTest() : api(std::make_shared<TWinApi>()), scope(api) {
    cache = std::make_shared<test::TFakeUrlCache>(api->lastError);
    api->urlCache = cache;
  }

  void AddEntry(const std::string& url, std::uint32_t type) {
    TUrlCacheEntryData e;
    e.SourceUrl = url;
    e.EntryType = type;
    cache->Entries.push_back(e);
  }

  static QTableView* List(const TformIECache& form) {
    return form.findChild<QTableView*>(QStringLiteral("lv"));
  }
  static QStringList Column(const TformIECache& form, int column) {
    const QAbstractItemModel* model = List(form)->model();
    QStringList cells;
    for (int row = 0; row < model->rowCount(); ++row)
      cells << model->data(model->index(row, column)).toString();
    return cells;
  }
  // Clicks the middle of a column's header, as the user does.
  static void ClickHeader(const TformIECache& form, int column) {
    QHeaderView* header = List(form)->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  }

  std::shared_ptr<TWinApi> api;
  TWinApiScope scope;
  std::shared_ptr<test::TFakeUrlCache> cache;
};

TEST_F(FormIECacheTest, HelpersEntryOpensTheWindowOnTheCache) {
  AddEntry("http://a.example/", NORMAL_CACHE_ENTRY);
  AddEntry("Cookie:alice@b.example/", COOKIE_CACHE_ENTRY);
  const auto main = OpenWindow({});
  auto* form = main->findChild<TformIECache*>(QStringLiteral("formIECache"));
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(cache->Walks, 0) << "nothing is read before the window shows";

  auto* entry = main->findChild<QAction*>(QStringLiteral("aIECacheViewer"));
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(entry->isEnabled());
  entry->trigger();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isWindow());
  EXPECT_EQ(form->windowTitle(), "Internet Explorer Cache");
  EXPECT_EQ(Column(*form, 0), (QStringList{"http://a.example/", "Cookie:alice@b.example/"}));
  EXPECT_EQ(Column(*form, 2), (QStringList{"Normal,", "Cookie,"}));
  EXPECT_FALSE(form->findChild<QLabel*>(QStringLiteral("lblStatus"))->isVisible());

  const QAbstractItemModel* model = List(*form)->model();
  QStringList captions;
  for (int c = 0; c < model->columnCount(); ++c)
    captions << model->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(captions.join(","), "Source Filename,Local Filename,Type,Use #,Hit rate,Size,"
                                "Last Modified,Expires,Last Access,Last Sync,Extension");
  const auto alignment = [&](int c) {
    return model->data(model->index(0, c), Qt::TextAlignmentRole).toInt() &
           Qt::AlignHorizontal_Mask;
  };
  EXPECT_EQ(alignment(2), int(Qt::AlignLeft));
  for (const int numeric : {3, 4, 5})
    EXPECT_EQ(alignment(numeric), int(Qt::AlignRight)) << numeric;
  EXPECT_EQ(List(*form)->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);

  // Choosing the entry again brings the window forward without reading the cache again.
  entry->trigger();
  EXPECT_EQ(cache->Walks, 1);
}

TEST_F(FormIECacheTest, HeaderClickSortsByThatColumnAndAgainKeepsTheOrder) {
  AddEntry("http://b/", URLHISTORY_CACHE_ENTRY);
  AddEntry("http://a/", COOKIE_CACHE_ENTRY);
  AddEntry("http://c/", NORMAL_CACHE_ENTRY);
  TformIECache form;
  form.show();
  ClickHeader(form, 2); // by the type's number: Normal, Cookie, History
  const QStringList byType{"http://c/", "http://a/", "http://b/"};
  EXPECT_EQ(Column(form, 0), byType);
  ClickHeader(form, 2);
  EXPECT_EQ(Column(form, 0), byType);
  ClickHeader(form, 0);
  EXPECT_EQ(Column(form, 0), (QStringList{"http://a/", "http://b/", "http://c/"}));
}

TEST_F(FormIECacheTest, ShowingAgainReadsTheCacheAfreshInItsOrder) {
  AddEntry("http://b/", NORMAL_CACHE_ENTRY);
  AddEntry("http://a/", NORMAL_CACHE_ENTRY);
  TformIECache form;
  form.show();
  ClickHeader(form, 0);
  EXPECT_EQ(Column(form, 0), (QStringList{"http://a/", "http://b/"}));
  form.hide();
  AddEntry("http://0/", NORMAL_CACHE_ENTRY);
  form.show();
  EXPECT_EQ(Column(form, 0), (QStringList{"http://b/", "http://a/", "http://0/"}));
  EXPECT_EQ(cache->Walks, 2);
}

TEST_F(FormIECacheTest, AWalkThatEndsEarlyShowsWhatWasReadAndWhy) {
  AddEntry("http://a/", NORMAL_CACHE_ENTRY);
  cache->WalkError = ERROR_INVALID_DATA;
  TformIECache form;
  form.show();
  EXPECT_EQ(Column(form, 0), QStringList{"http://a/"});
  const auto* status = form.findChild<QLabel*>(QStringLiteral("lblStatus"));
  EXPECT_TRUE(status->isVisible());
  EXPECT_EQ(status->text(),
            "The URL cache could not be read to the end (1 entry read): The data is invalid.");
  // Once the cache reads cleanly, the line goes.
  cache->WalkError = 0;
  form.hide();
  form.show();
  EXPECT_FALSE(status->isVisible());
}

} // namespace
} // namespace quillon
