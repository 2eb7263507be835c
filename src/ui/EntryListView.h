#pragma once
// An entry list of the main window: a report over a TEntryListModel whose columns the user
// sizes, whose header sorts, and whose wide text column (host, URL or page) takes the width the
// other columns leave until the user sizes it. Tab moves on to the next control rather than
// from cell to cell, as in every other list of the desktop. It says in words when it shows no
// rows, so an empty list is not mistaken for one still loading or broken.

#include <QString>
#include <QTableView>

class QSettings;

namespace quillon {

class TEntryListModel;

class TEntryListView : public QTableView {
  Q_OBJECT

public:
  explicit TEntryListView(TEntryListModel* model, QWidget* parent = nullptr);

  // The text drawn while the model has no rows ("No cookies.", or "No entry matches the
  // filter." while a filter hides every row).
  void SetEmptyText(const QString& text);
  const QString& EmptyText() const { return emptyText_; }

  // The column that takes the spare width; -1 when the list has none.
  int WideColumn() const { return wideColumn_; }
  bool WideColumnSizedByUser() const { return wideSizedByUser_; }

  // Column widths and the sort, below group ("lists/lvCookies").
  void SaveState(QSettings& settings, const QString& group) const;
  // Brings back what SaveState kept and sorts the rows as they were; no saved state changes
  // nothing.
  void RestoreState(const QSettings& settings, const QString& group);

protected:
  void paintEvent(QPaintEvent* event) override;
  bool viewportEvent(QEvent* event) override;

private:
  void SectionResized(int section);
  void FitWideColumn();

  QString emptyText_;
  int wideColumn_ = -1;
  int minimumWideWidth_ = 0;
  bool wideSizedByUser_ = false;
  bool fitting_ = false;
};

} // namespace quillon
