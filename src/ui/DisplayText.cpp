#include "ui/DisplayText.h"

#include "model/CodePageText.h"

#include <QHeaderView>
#include <QTableView>
#include <QWidget>

#include <algorithm>

namespace quillon {

QString DisplayText(std::string_view bytes) {
  if (IsValidUtf8(bytes))
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const std::string text = Windows1252ToUtf8(bytes);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString EscapeMnemonics(const QString& text) {
  QString escaped = text;
  escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return escaped;
}

int ScaledPixels(const QWidget& widget, int pixels) {
  constexpr double kDesignDigitWidth = 6.0;
  const double digit = widget.fontMetrics().horizontalAdvance(QLatin1Char('0'));
  const double factor = std::max(1.0, digit / kDesignDigitWidth);
  return static_cast<int>(pixels * factor + 0.5);
}

void SetUpReportView(QTableView& view) {
  view.setSelectionBehavior(QAbstractItemView::SelectRows);
  view.setSelectionMode(QAbstractItemView::SingleSelection);
  view.setEditTriggers(QAbstractItemView::NoEditTriggers);
  view.setShowGrid(false);
  view.setWordWrap(false);
  view.setCornerButtonEnabled(false);
  QHeaderView* rows = view.verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(view.fontMetrics().height() + 6);
  rows->hide();
  QHeaderView* header = view.horizontalHeader();
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  for (int c = 0; c < header->count(); ++c)
    header->setSectionResizeMode(c, QHeaderView::Interactive);
}

} // namespace quillon
