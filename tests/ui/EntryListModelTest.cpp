#include "ui/EntryListModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

// A manager with one profile and no discovery.
class EntryListModelTest : public ::testing::Test {
protected:
  EntryListModelTest() : manager(TFamilyMask{}) { profile = &manager.Profiles().Add(); }

  QString Text(const TEntryListModel& model, int row, int column) const {
    return model.data(model.index(row, column)).toString();
  }

  TBrowserManager manager;
  TBrowserProfile* profile = nullptr;
};

} // namespace

TEST_F(EntryListModelTest, RowsFollowTheItemCountAndReadTheListOnDemand) {
  TCacheList& cookies = profile->GetList(ctCookies);
  cookies.Add().Host = "a.example";
  TEntryListModel model(ctCookies);
  model.SetManager(&manager);
  EXPECT_EQ(model.rowCount(), 0);
  model.SetItemCount(cookies.Count());
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.columnCount(), 3);
  // No copy: a change to the entry shows at once.
  cookies.Items(0).Host = "b.example";
  EXPECT_EQ(Text(model, 0, 0), "b.example");
  // A list that shrank behind the item count leaves its missing rows empty.
  cookies.Clear();
  EXPECT_EQ(Text(model, 0, 0), "");
  EXPECT_EQ(model.rowCount(), 1);
  // Without a current profile rows stay empty too.
  cookies.Add().Host = "c.example";
  manager.ItemIndex = 3;
  EXPECT_EQ(Text(model, 0, 0), "");
}

TEST_F(EntryListModelTest, TheStartPageLocationIsRightAlignedAndRowsAreReadOnly) {
  TCacheItem& page = profile->GetList(ctPages).Add();
  page.Content = "http://example.org/";
  page.Name = "HKCU\\Software\\Microsoft\\Internet Explorer\\Main\\Start Page";
  page.AccessBits = 64;
  TEntryListModel model(ctPages);
  model.SetManager(&manager);
  model.SetItemCount(1);
  EXPECT_EQ(Text(model, 0, 1), "64");
  EXPECT_EQ(model.data(model.index(0, 2), Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask,
            Qt::AlignRight);
  EXPECT_EQ(model.data(model.index(0, 0), Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask,
            Qt::AlignLeft);
  EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Location");
  EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(EntryListModelTest, AMillionEntriesShowAndScrollWithoutDelay) {
  TCacheList& history = profile->GetList(ctHistory);
  constexpr int kCount = 1000000;
  for (int i = 0; i < kCount; ++i)
    history.Add().Path = "/page";
  history.Items(kCount - 1).Host = "http://last.example";
  TEntryListModel model(ctHistory);
  model.SetManager(&manager);

  QTableView view;
  view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view.setModel(&model);
  view.resize(600, 400);
  view.show();
  QElapsedTimer timer;
  timer.start();
  model.SetItemCount(history.Count());
  view.scrollToBottom();
  QApplication::processEvents();
  // Measuring each row would take tens of seconds; a fixed row height takes milliseconds.
  EXPECT_LT(timer.elapsed(), 3000);
  EXPECT_EQ(model.rowCount(), kCount);
  EXPECT_EQ(Text(model, kCount - 1, 0), "http://last.example/page");
  EXPECT_EQ(view.rowAt(view.viewport()->height() - 1), kCount - 1);
}
