#pragma once
// The rows of one entry list of the main window. Like an owner-data list view, the model holds
// no entries: it has an item count that the window sets after each refresh, and it asks the
// current profile's list of its kind for a row only when the view paints it. Sorting and the
// filter keep a permutation of list positions, never entries; both apply again after a refresh.

#include "discovery/BrowserManager.h"
#include "discovery/EntryOrder.h"

#include <QAbstractTableModel>

#include <vector>

namespace quillon {

class TEntryListModel : public QAbstractTableModel {
  Q_OBJECT

public:
  explicit TEntryListModel(TCacheType kind, QObject* parent = nullptr);

  TCacheType Kind() const { return kind_; }
  // The manager whose current profile the rows come from (not owned); null: rows stay empty.
  void SetManager(TBrowserManager* manager);
  // How many entries of the list the view offers (the list's count at the last refresh). Setting
  // it resets the view, also to the same count, so that every visible row is asked for again.
  void SetItemCount(int count);
  int ItemCount() const { return itemCount_; }
  // Shows only the entries with a cell that contains text, in any case; empty shows all.
  void SetFilter(const QString& text);
  QString Filter() const { return QString::fromStdString(order_.Filter); }
  // The position in the current profile's list of the entry a row shows: rows may be sorted or
  // filtered, so the row number is not the entry's. -1 when the row shows none.
  int EntryIndex(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // A header click: column -1 restores the list's order. Equal keys keep their list order.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
  // The entry a row shows, or null when there is none (no current profile, or the list has
  // become shorter than the item count since the last refresh).
  const TCacheItem* EntryAt(int row) const;
  const TCacheList* List() const;
  // Computes the rows again for the current order, filter and item count.
  void Reorder();

  TCacheType kind_;
  TBrowserManager* manager_ = nullptr;
  int itemCount_ = 0;
  TEntryOrder order_;
  // The list positions the rows show; used only while a sort or filter is on.
  bool reordered_ = false;
  std::vector<int> rows_;
};

} // namespace quillon
