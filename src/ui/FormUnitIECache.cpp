#include "ui/FormUnitIECache.h"

#include "ui/DisplayText.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLabel>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon {

// The rows of the window's list. Like an owner-data list view it holds no texts: it has an item
// count that the window sets after each load, and asks the list for a cell when the view paints it.
class TIECacheModel : public QAbstractTableModel {
public:
  TIECacheModel(const TIECacheList& list, QObject* parent)
      : QAbstractTableModel(parent), list_(list) {}

  void SetItemCount(int count) {
    beginResetModel();
    itemCount_ = std::max(count, 0);
    endResetModel();
  }
  // The same rows in a new order: every visible cell is asked for again, the scroll position stays.
  void Repaint() {
    if (itemCount_ > 0)
      emit dataChanged(index(0, 0), index(itemCount_ - 1, kIECacheColumnCount - 1));
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : itemCount_;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : kIECacheColumnCount;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    const int row = index.row();
    const int column = index.column();
    if (!index.isValid() || row >= itemCount_ || column < 0 || column >= kIECacheColumnCount)
      return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      // The list can only have become shorter than the count if it was changed behind the view.
      return row < list_.Count() ? DisplayText(IECacheCellText(list_.Items(row), column))
                                 : QString();
    case Qt::TextAlignmentRole:
      return Alignment(column);
    default:
      return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || section < 0 || section >= kIECacheColumnCount)
      return {};
    const TIECacheColumn& column = IECacheColumns()[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole)
      return Alignment(section);
    if (role != Qt::DisplayRole)
      return {};
    return QString::fromUtf8(column.Caption.data(), static_cast<qsizetype>(column.Caption.size()));
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }

private:
  static int Alignment(int column) {
    const bool right = IECacheColumns()[static_cast<std::size_t>(column)].RightAligned;
    return static_cast<int>((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  }

  const TIECacheList& list_;
  int itemCount_ = 0;
};

TformIECache::TformIECache(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("formIECache"));
  setWindowTitle(QStringLiteral("Internet Explorer Cache"));
  resize(ScaledPixels(*this, 610), ScaledPixels(*this, 434));

  model_ = new TIECacheModel(list_, this);
  lv_ = new QTableView(this);
  lv_->setObjectName(QStringLiteral("lv"));
  lv_->setModel(model_);
  SetUpReportView(*lv_);
  QHeaderView* header = lv_->horizontalHeader();
  header->setSectionsClickable(true);
  for (int c = 0; c < kIECacheColumnCount; ++c) {
    header->resizeSection(c,
                          ScaledPixels(*this, IECacheColumns()[static_cast<std::size_t>(c)].Width));
  }
  connect(header, &QHeaderView::sectionClicked, this, &TformIECache::lvColumnClick);

  // Shown only after a load that ended early, under the entries it read.
  lblStatus_ = new QLabel(this);
  lblStatus_->setObjectName(QStringLiteral("lblStatus"));
  lblStatus_->setTextFormat(Qt::PlainText);
  lblStatus_->setWordWrap(true);
  lblStatus_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(lv_, 1);
  layout->addWidget(lblStatus_);
}

TformIECache::~TformIECache() = default;

void TformIECache::lvColumnClick(int column) {
  list_.SortByColumn(column);
  model_->Repaint();
}

void TformIECache::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window the desktop shows again (restored from the task bar) keeps its rows; one the
  // program shows is read afresh.
  if (!event->spontaneous())
    FormShow();
}

void TformIECache::FormShow() {
  model_->SetItemCount(0);
  list_.LoadFromUrlCache();
  model_->SetItemCount(list_.Count());
  const std::string message = IECacheLoadMessage(list_);
  lblStatus_->setText(DisplayText(message));
  lblStatus_->setVisible(!message.empty());
}

} // namespace quillon
