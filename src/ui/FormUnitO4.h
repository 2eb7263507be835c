#pragma once
// The Opera cookie window: any Opera cookie file the user chooses, its domain tree on the left
// and every cookie with all its fields in the table on the right; a second command lists an
// Opera cache index in the same table. It only reads the files.

#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "ui/DisplayText.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QTableView;
class QTreeView;

namespace quillon {

class TO4RowModel;
class TO4TreeModel;

class TformO4 : public QWidget {
  Q_OBJECT

public:
  // A top-level window (also with a parent, which only keeps it alive), created hidden.
  explicit TformO4(QWidget* parent = nullptr);
  ~TformO4() override;

  // Read a host file and show it: a cookie file replaces the tree and the table, a cache index
  // the table only. A file that cannot be opened leaves both as they were and is reported; a
  // file read only in part shows what was read and says so under the views and on "Debug".
  void OpenCookieFile(const QString& hostPath);
  void OpenCacheFile(const QString& hostPath);

  void SetErrorReporter(TErrorReporter reporter) { reportError_ = std::move(reporter); }

private:
  // The menu commands: the file dialog, then the Open function.
  void miOpenCookiesClick();
  void miOpenCacheClick();
  QString ChooseFile(const QString& filter);
  // Shows the message of a load under the views and on "Debug" ("" hides the line).
  void ShowLoadMessage(const QString& hostPath, const std::string& message);

  // The tree and the table answer from these roots; each command replaces what it shows.
  std::unique_ptr<TO4CookieRoot> cookieRoot_;
  std::unique_ptr<TO4CacheRoot> cacheRoot_;
  TO4TreeModel* treeModel_ = nullptr;
  TO4RowModel* rowModel_ = nullptr;

  QMenuBar* menuMain_ = nullptr;
  QMenu* miFile_ = nullptr;
  QAction* miOpenCookies_ = nullptr;
  QAction* miOpenCache_ = nullptr;
  QSplitter* splitter1_ = nullptr;
  QTreeView* tvO4Cookie_ = nullptr;
  QTabWidget* pcMain_ = nullptr;
  QTableView* lvO4Cookie_ = nullptr;
  QPlainTextEdit* memoDebug_ = nullptr;
  QLabel* lblStatus_ = nullptr;
  QString lastFolder_;
  TErrorReporter reportError_;
};

} // namespace quillon
