#pragma once
// The Mork window: any Mork file the user chooses (typically a history.dat) as the Mork reader
// sees it — its raw cells, both dictionaries, the table rows as written and the rows resolved into
// a grid with one column per dictionary column. It only reads the file.

#include "formats/FFMorkSimple.h"

#include "ui/DisplayText.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QShowEvent;
class QTabWidget;
class QTableView;

namespace quillon {

class TMorkDictionaryModel;
class TMorkLinesModel;
class TMorkResultModel;

// Asks the user for a file, starting at startPath (empty: nothing chosen yet); "" when cancelled.
using TMorkFileChooser = std::function<QString(QWidget* window, const QString& startPath)>;

class TformMork : public QWidget {
  Q_OBJECT

public:
  // A top-level window (also with a parent, which only keeps it alive), created hidden.
  explicit TformMork(QWidget* parent = nullptr);
  ~TformMork() override;

  // Asks for a file and shows it; a cancelled prompt changes nothing.
  void bnReadClick();
  // Reads a host file and shows it on every tab. A file that cannot be read is reported and the
  // tabs keep what they showed.
  void ReadFile(const QString& hostPath);

  void SetErrorReporter(TErrorReporter reporter) { reportError_ = std::move(reporter); }
  void SetFileChooser(TMorkFileChooser chooser) { chooseFile_ = std::move(chooser); }

protected:
  // Each time the window is shown it asks for a file, once it is on the screen.
  void showEvent(QShowEvent* event) override;

private:
  // The views answer from this reader; a read replaces it only once the new file is read.
  std::unique_ptr<TMorkFile> file_;
  TMorkLinesModel* rawModel_ = nullptr;
  TMorkDictionaryModel* fieldsModel_ = nullptr;
  TMorkDictionaryModel* dataModel_ = nullptr;
  TMorkLinesModel* tableModel_ = nullptr;
  TMorkResultModel* resultModel_ = nullptr;

  QPushButton* bnRead_ = nullptr;
  QTabWidget* pageControl1_ = nullptr;
  QTableView* memoMork_ = nullptr;
  QTableView* lvFields_ = nullptr;
  QTableView* lvData_ = nullptr;
  QTableView* memoTable_ = nullptr;
  QTableView* lvResult_ = nullptr;
  QLabel* lblStatus_ = nullptr;
  QString lastFile_;
  TErrorReporter reportError_;
  TMorkFileChooser chooseFile_;
};

} // namespace quillon
