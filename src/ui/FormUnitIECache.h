#pragma once
// The Internet Explorer cache window: every entry of the running user's URL cache with every field
// the cache reports, in one table that sorts by the column whose header is clicked. It reads the
// cache afresh each time it is shown and changes nothing.

#include "formats/BrowserCacheIE.h"

#include <QWidget>

class QLabel;
class QShowEvent;
class QTableView;

namespace quillon {

class TIECacheModel;

class TformIECache : public QWidget {
  Q_OBJECT

public:
  // A top-level window (also with a parent, which only keeps it alive), created hidden.
  explicit TformIECache(QWidget* parent = nullptr);
  ~TformIECache() override;

  // Sorts by the field of the column at that position and shows the rows again; a position
  // outside the columns only shows them again.
  void lvColumnClick(int column);

protected:
  void showEvent(QShowEvent* event) override;

private:
  // Reads the whole cache again, in the cache's order.
  void FormShow();

  TIECacheList list_;
  TIECacheModel* model_ = nullptr;
  QTableView* lv_ = nullptr;
  QLabel* lblStatus_ = nullptr;
};

} // namespace quillon
