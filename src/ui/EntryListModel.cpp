#include "ui/EntryListModel.h"

#include "discovery/EntryRows.h"
#include "ui/DisplayText.h"

namespace quillon {

TEntryListModel::TEntryListModel(TCacheType kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind) {}

void TEntryListModel::SetManager(TBrowserManager* manager) {
  beginResetModel();
  manager_ = manager;
  endResetModel();
}

void TEntryListModel::SetItemCount(int count) {
  beginResetModel();
  itemCount_ = count < 0 ? 0 : count;
  endResetModel();
}

int TEntryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : itemCount_;
}

int TEntryListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(EntryColumns(kind_).size());
}

int TEntryListModel::EntryIndex(int row) const {
  return row >= 0 && row < itemCount_ ? row : -1;
}

const TCacheItem* TEntryListModel::EntryAt(int row) const {
  row = EntryIndex(row);
  if (manager_ == nullptr)
    return nullptr;
  const TBrowserProfile* profile = manager_->ActiveProfile();
  if (profile == nullptr)
    return nullptr;
  const TCacheList& list = profile->GetList(kind_);
  if (row < 0 || row >= list.Count())
    return nullptr;
  return &list.Items(row);
}

QVariant TEntryListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= itemCount_)
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
