#include "ui/EntryListModel.h"

#include "discovery/EntryRows.h"
#include "ui/DisplayText.h"

namespace quillon {

TEntryListModel::TEntryListModel(TCacheType kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind) {}

void TEntryListModel::SetManager(TBrowserManager* manager) {
  beginResetModel();
  manager_ = manager;
  Reorder();
  endResetModel();
}

void TEntryListModel::SetItemCount(int count) {
  beginResetModel();
  itemCount_ = count < 0 ? 0 : count;
  Reorder();
  endResetModel();
}

void TEntryListModel::SetFilter(const QString& text) {
  std::string filter = text.toStdString();
  if (filter == order_.Filter)
    return;
  beginResetModel();
  order_.Filter = std::move(filter);
  Reorder();
  endResetModel();
}

void TEntryListModel::sort(int column, Qt::SortOrder order) {
  const bool descending = order == Qt::DescendingOrder;
  if (column < 0 || column >= columnCount())
    column = -1;
  if (column == order_.Column && (column < 0 || descending == order_.Descending))
    return;
  beginResetModel();
  order_.Column = column;
  order_.Descending = descending;
  Reorder();
  endResetModel();
}

void TEntryListModel::Reorder() {
  reordered_ = order_.Column >= 0 || !order_.Filter.empty();
  rows_.clear();
  if (!reordered_)
    return;
  if (const TCacheList* list = List())
    rows_ = OrderEntries(kind_, *list, itemCount_, order_);
}

int TEntryListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid())
    return 0;
  return reordered_ ? static_cast<int>(rows_.size()) : itemCount_;
}

int TEntryListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(EntryColumns(kind_).size());
}

int TEntryListModel::EntryIndex(int row) const {
  if (row < 0 || row >= rowCount())
    return -1;
  return reordered_ ? rows_[static_cast<std::size_t>(row)] : row;
}

const TCacheList* TEntryListModel::List() const {
  if (manager_ == nullptr)
    return nullptr;
  const TBrowserProfile* profile = manager_->ActiveProfile();
  return profile != nullptr ? &profile->GetList(kind_) : nullptr;
}

const TCacheItem* TEntryListModel::EntryAt(int row) const {
  const int position = EntryIndex(row);
  const TCacheList* list = List();
  if (list == nullptr || position < 0 || position >= list->Count())
    return nullptr;
  return &list->Items(position);
}

QVariant TEntryListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount())
    return {};
  const auto columns = EntryColumns(kind_);
  if (index.column() < 0 || index.column() >= static_cast<int>(columns.size()))
    return {};
  switch (role) {
  case Qt::DisplayRole:
  case Qt::ToolTipRole: {
    const TCacheItem* item = EntryAt(index.row());
    if (item == nullptr)
      return QString();
    return DisplayText(EntryCellText(kind_, *item, index.column()));
  }
  case Qt::TextAlignmentRole: {
    const Qt::Alignment horizontal =
        columns[static_cast<std::size_t>(index.column())].Align == TColumnAlign::Right
            ? Qt::AlignRight
            : Qt::AlignLeft;
    return static_cast<int>(horizontal | Qt::AlignVCenter);
  }
  default:
    return {};
  }
}

QVariant TEntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal)
    return {};
  const auto columns = EntryColumns(kind_);
  if (section < 0 || section >= static_cast<int>(columns.size()))
    return {};
  const TEntryColumn& column = columns[static_cast<std::size_t>(section)];
  if (role == Qt::TextAlignmentRole && column.Align == TColumnAlign::Right)
    return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
  // The first click on a header sorts ascending, the next one descending.
  if (role == Qt::InitialSortOrderRole)
    return static_cast<int>(Qt::AscendingOrder);
  if (role != Qt::DisplayRole)
    return {};
  return QString::fromUtf8(column.Caption.data(), static_cast<qsizetype>(column.Caption.size()));
}

Qt::ItemFlags TEntryListModel::flags(const QModelIndex& index) const {
  if (!index.isValid())
    return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace quillon
