#pragma once
// An entry list of the main window: a report view that says in words when it shows no rows, so
// an empty list is not mistaken for one still loading or broken.

#include <QString>
#include <QTableView>

namespace quillon {

class TEntryListView : public QTableView {
  Q_OBJECT

public:
  explicit TEntryListView(QWidget* parent = nullptr);

  // The text drawn while the model has no rows ("No cookies.", or "No entry matches the
  // filter." while a filter hides every row).
  void SetEmptyText(const QString& text);
  const QString& EmptyText() const { return emptyText_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString emptyText_;
};

} // namespace quillon
