#include "ui/EntryListView.h"

#include <QPainter>

namespace quillon {

TEntryListView::TEntryListView(QWidget* parent) : QTableView(parent) {}

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

} // namespace quillon
