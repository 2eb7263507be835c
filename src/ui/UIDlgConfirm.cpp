#include "ui/UIDlgConfirm.h"

#include "discovery/EntryRows.h"
#include "ui/DisplayText.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <array>

namespace quillon {

namespace {

// The column beside the entry's own text that tells two entries of one host apart: a cookie's
// name, a bookmark's URL, a start page's registry location, else the last access.
constexpr std::array<int, kCacheTypeCount> kDetailColumn = {1, 1, 1, 2, 1};

constexpr std::array<const char*, 3> kColumns = {"Kind", "Entry", "Detail"};

} // namespace

TPreviewModel::TPreviewModel(const TBrowserProfile& profile, const TActionPreview& preview,
                             QObject* parent)
    : QAbstractTableModel(parent), profile_(profile), preview_(preview),
      rows_(PreviewRowCount(preview)) {}

int TPreviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TPreviewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kColumns.size());
}

QVariant TPreviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
    return {};
  const TPreviewRow row = PreviewRowAt(preview_, index.row());
  const TCacheList& list = profile_.GetList(row.Kind);
  if (row.Entry < 0 || row.Entry >= list.Count())
    return {};
  switch (index.column()) {
  case 0:
    return DisplayText(EntryListCaption(row.Kind));
  case 1:
    return DisplayText(EntryCellText(row.Kind, list.Items(row.Entry), 0));
  case 2:
    return DisplayText(EntryCellText(row.Kind, list.Items(row.Entry), kDetailColumn.at(row.Kind)));
  default:
    return {};
  }
}

QVariant TPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= static_cast<int>(kColumns.size()))
    return {};
  return QString::fromLatin1(kColumns.at(static_cast<std::size_t>(section)));
}

TdlgConfirm::TdlgConfirm(const TBrowserProfile& profile, const TActionPreview& preview,
                         QWidget* parent)
    : QDialog(parent) {
  setObjectName("dlgConfirm");
  setWindowTitle(DisplayText(preview.Caption));
  setModal(true);
  auto* layout = new QVBoxLayout(this);

  labelConfirm_ = new QLabel(this);
  labelConfirm_->setObjectName("labelConfirm");
  labelConfirm_->setTextFormat(Qt::PlainText);
  labelConfirm_->setWordWrap(true);
  labelConfirm_->setText(DisplayText(ConfirmationText(profile, preview)));
  layout->addWidget(labelConfirm_);

  // A purge takes whole stores; its kinds and counts are the whole story.
  if (preview.Verb == TActionVerb::Clean) {
    lvPreview_ = new QTableView(this);
    lvPreview_->setObjectName("lvPreview");
    lvPreview_->setModel(new TPreviewModel(profile, preview, lvPreview_));
    SetUpReportView(*lvPreview_);
    QHeaderView* header = lvPreview_->horizontalHeader();
    header->resizeSection(0, ScaledPixels(*this, 80));
    header->resizeSection(1, ScaledPixels(*this, 300));
    header->setStretchLastSection(true);
    layout->addWidget(lvPreview_, 1);
  } else {
    layout->addStretch(1);
  }

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons_->button(QDialogButtonBox::Ok);
  QPushButton* cancel = buttons_->button(QDialogButtonBox::Cancel);
  ok->setObjectName("btnConfirm");
  cancel->setObjectName("btnCancel");
  ok->setText(preview.Verb == TActionVerb::Purge ? QStringLiteral("&Purge")
                                                 : QStringLiteral("&Remove"));
  // Nothing of a purge can be had back: Enter must not start it.
  QPushButton* preferred = preview.Verb == TActionVerb::Purge ? cancel : ok;
  ok->setAutoDefault(false);
  cancel->setAutoDefault(false);
  preferred->setDefault(true);
  preferred->setFocus();
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons_);
  resize(ScaledPixels(*this, 560), ScaledPixels(*this, lvPreview_ != nullptr ? 380 : 200));
}

bool AskConfirmation(QWidget* window, const TBrowserProfile& profile,
                     const TActionPreview& preview) {
  TdlgConfirm dialog(profile, preview, window);
  return dialog.exec() == QDialog::Accepted;
}

} // namespace quillon
