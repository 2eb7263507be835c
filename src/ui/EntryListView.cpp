#include "ui/EntryListView.h"

#include "discovery/EntryRows.h"
#include "ui/DisplayText.h"
#include "ui/EntryListModel.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QSettings>

#include <algorithm>

namespace quillon {

namespace {

// Below this the wide column gets a scroll bar rather than narrower: a host or URL cut to a few
// characters tells nothing.
constexpr int kMinimumWideWidth = 160;

} // namespace

TEntryListView::TEntryListView(TEntryListModel* model, QWidget* parent) : QTableView(parent) {
  setModel(model);
  setTabKeyNavigation(false);
  QHeaderView* header = horizontalHeader();
  header->setStretchLastSection(false);
  // A double-click on a border fits the column to the rows in view: measuring a million rows
  // would stall the window.
  header->setResizeContentsPrecision(0);
  const auto columns = EntryColumns(model->Kind());
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const int section = static_cast<int>(c);
    header->setSectionResizeMode(section, QHeaderView::Interactive);
    if (columns[c].Width == 0 && wideColumn_ < 0)
      wideColumn_ = section;
    else
      header->resizeSection(section, ScaledPixels(*this, columns[c].Width));
  }
  minimumWideWidth_ = ScaledPixels(*this, kMinimumWideWidth);
  if (wideColumn_ >= 0)
    header->resizeSection(wideColumn_, minimumWideWidth_);
  // The list's own order until the user clicks a header.
  header->setSortIndicator(-1, Qt::AscendingOrder);
  setSortingEnabled(true);
  connect(header, &QHeaderView::sectionResized, this,
          [this](int section, int, int) { SectionResized(section); });
}

void TEntryListView::SetEmptyText(const QString& text) {
  if (text == emptyText_)
    return;
  emptyText_ = text;
  viewport()->update();
}

void TEntryListView::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (model() == nullptr || model()->rowCount(rootIndex()) > 0 || emptyText_.isEmpty())
    return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
  // Below the header line, where the first row would be.
  const QRect area = viewport()->rect().adjusted(8, 8, -8, -8);
  painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, emptyText_);
}

bool TEntryListView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Resize)
    FitWideColumn();
  return QTableView::viewportEvent(event);
}

void TEntryListView::SectionResized(int section) {
  if (fitting_)
    return;
  if (section == wideColumn_)
    wideSizedByUser_ = true;
  else
    FitWideColumn();
}

void TEntryListView::FitWideColumn() {
  if (wideColumn_ < 0 || wideSizedByUser_)
    return;
  const QHeaderView* header = horizontalHeader();
  int others = 0;
  for (int section = 0; section < header->count(); ++section)
    if (section != wideColumn_ && !header->isSectionHidden(section))
      others += header->sectionSize(section);
  const int width = std::max(minimumWideWidth_, viewport()->width() - others);
  if (width == header->sectionSize(wideColumn_))
    return;
  fitting_ = true;
  horizontalHeader()->resizeSection(wideColumn_, width);
  fitting_ = false;
}

void TEntryListView::SaveState(QSettings& settings, const QString& group) const {
  settings.setValue(group + QStringLiteral("/header"), horizontalHeader()->saveState());
  settings.setValue(group + QStringLiteral("/wideSized"), wideSizedByUser_);
}

void TEntryListView::RestoreState(const QSettings& settings, const QString& group) {
  const QByteArray state = settings.value(group + QStringLiteral("/header")).toByteArray();
  if (state.isEmpty())
    return;
  QHeaderView* header = horizontalHeader();
  fitting_ = true;
  const bool restored = header->restoreState(state);
  fitting_ = false;
  if (!restored)
    return;
  // A saved state comes from this program's own lists; still, a column that cannot be resized
  // again would lock the user out.
  for (int section = 0; section < header->count(); ++section)
    header->setSectionResizeMode(section, QHeaderView::Interactive);
  wideSizedByUser_ = settings.value(group + QStringLiteral("/wideSized")).toBool();
  sortByColumn(header->sortIndicatorSection(), header->sortIndicatorOrder());
  FitWideColumn();
}

} // namespace quillon
