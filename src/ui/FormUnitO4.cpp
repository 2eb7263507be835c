#include "ui/FormUnitO4.h"

#include "formats/O4CookieView.h"
#include "session/HostFiles.h"
#include "ui/DisplayText.h"

#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

namespace quillon {

// The domain tree, answered from the cookie root on demand. Nothing is copied into items, so a
// file of a million domains shows at once, and the view only walks the nodes the user expands:
// domains nested as deep as a hostile file likes cost no recursion.
//
// A node is known by its row and an id: a domain's address with two low bits saying what the node
// is relative to that domain.
class TO4TreeModel : public QAbstractItemModel {
public:
  explicit TO4TreeModel(QObject* parent) : QAbstractItemModel(parent) {}

  // Shows root (null: nothing); the model keeps no pointer into an earlier root.
  void SetRoot(const TO4CookieRoot* root) {
    beginResetModel();
    root_ = root;
    rowInParent_.clear();
    if (root_ != nullptr)
      IndexRows();
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    if (root_ == nullptr)
      return 0;
    if (!parent.isValid())
      return root_->DomainCount();
    if (parent.column() != 0)
      return 0;
    const TO4Domain& domain = DomainOf(parent);
    switch (KindOf(parent)) {
    case TKind::Domain:
      return kO4DomainChildCount;
    case TKind::DomainChild:
      if (parent.row() == kO4PathsChild)
        return O4PathRowCount(domain);
      if (parent.row() == kO4DomainsChild)
        return O4SubDomainRowCount(domain);
      return 0;
    default:
      return 0;
    }
  }
  int columnCount(const QModelIndex& = QModelIndex()) const override { return 1; }

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override {
    if (!hasIndex(row, column, parent))
      return {};
    if (!parent.isValid())
      return createIndex(row, column,
                         Id(*root_->Domains()[static_cast<std::size_t>(row)], TKind::Domain));
    const TO4Domain& domain = DomainOf(parent);
    if (KindOf(parent) == TKind::Domain)
      return createIndex(row, column, Id(domain, TKind::DomainChild));
    if (parent.row() == kO4PathsChild)
      return createIndex(row, column, Id(domain, TKind::PathRow));
    const TO4Domain* sub = O4SubDomainRow(domain, row);
    return sub != nullptr ? createIndex(row, column, Id(*sub, TKind::Domain))
                          : createIndex(row, column, Id(domain, TKind::NoSubDomain));
  }

  QModelIndex parent(const QModelIndex& child) const override {
    if (!child.isValid() || root_ == nullptr)
      return {};
    const TO4Domain& domain = DomainOf(child);
    switch (KindOf(child)) {
    case TKind::Domain: {
      const TO4Domains* holder = domain.Parent();
      if (holder == nullptr || holder == root_)
        return {};
      // Every holder below the root is a domain.
      return createIndex(kO4DomainsChild, 0,
                         Id(static_cast<const TO4Domain&>(*holder), TKind::DomainChild));
    }
    case TKind::DomainChild:
      return createIndex(RowOf(domain), 0, Id(domain, TKind::Domain));
    case TKind::PathRow:
      return createIndex(kO4PathsChild, 0, Id(domain, TKind::DomainChild));
    case TKind::NoSubDomain:
      return createIndex(kO4DomainsChild, 0, Id(domain, TKind::DomainChild));
    }
    return {};
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || root_ == nullptr ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
      return {};
    const TO4Domain& domain = DomainOf(index);
    switch (KindOf(index)) {
    case TKind::Domain:
      return DisplayText(domain.Name);
    case TKind::DomainChild:
      return DisplayText(O4DomainChildText(domain, index.row()));
    case TKind::PathRow:
      return DisplayText(O4PathRowText(domain, index.row()));
    case TKind::NoSubDomain:
      return DisplayText(kO4NoneText);
    }
    return {};
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }

private:
  enum class TKind : quintptr {
    Domain = 0,      // the domain node itself
    DomainChild = 1, // one of its six detail rows
    PathRow = 2,     // a row under its "Paths"
    NoSubDomain = 3, // "< none >" under its "Domains"
  };
  static constexpr quintptr kKindMask = 3;
  static_assert(alignof(TO4Domain) > kKindMask, "the kind lives in the low bits of the address");

  static quintptr Id(const TO4Domain& domain, TKind kind) {
    return reinterpret_cast<quintptr>(&domain) | static_cast<quintptr>(kind);
  }
  static TKind KindOf(const QModelIndex& index) {
    return static_cast<TKind>(index.internalId() & kKindMask);
  }
  static const TO4Domain& DomainOf(const QModelIndex& index) {
    return *reinterpret_cast<const TO4Domain*>(index.internalId() & ~kKindMask);
  }

  // Where each domain stands in its holder's list, found by address: the view asks for the
  // parent of every node it lays out, and a search of the holder's list would make a wide level
  // quadratic.
  void IndexRows() {
    std::vector<std::span<const std::unique_ptr<TO4Domain>>> stack{root_->Domains()};
    while (!stack.empty()) {
      const auto domains = stack.back();
      stack.pop_back();
      for (std::size_t i = 0; i < domains.size(); ++i) {
        rowInParent_.emplace_back(domains[i].get(), static_cast<int>(i));
        if (domains[i]->DomainCount() > 0)
          stack.push_back(domains[i]->Domains());
      }
    }
    std::sort(rowInParent_.begin(), rowInParent_.end());
  }
  int RowOf(const TO4Domain& domain) const {
    const auto it = std::lower_bound(rowInParent_.begin(), rowInParent_.end(),
                                     std::pair<const TO4Domain*, int>(&domain, 0));
    return it != rowInParent_.end() && it->first == &domain ? it->second : 0;
  }

  const TO4CookieRoot* root_ = nullptr;
  std::vector<std::pair<const TO4Domain*, int>> rowInParent_;
};

// The table: a cookie file's cookies in tree order, or a cache index's entries under the first
// four columns. Cells are made when the view paints them.
class TO4RowModel : public QAbstractTableModel {
public:
  explicit TO4RowModel(QObject* parent) : QAbstractTableModel(parent) {}

  void ShowCookies(std::vector<const TO4Cookie*> cookies) {
    beginResetModel();
    cookies_ = std::move(cookies);
    cache_ = nullptr;
    endResetModel();
  }
  void ShowCache(const TO4CacheRoot* cache) {
    beginResetModel();
    cookies_.clear();
    cookies_.shrink_to_fit();
    cache_ = cache;
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    if (parent.isValid())
      return 0;
    return cache_ != nullptr ? cache_->EntryCount() : static_cast<int>(cookies_.size());
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : kO4CookieColumnCount;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
      return {};
    const auto row = static_cast<std::size_t>(index.row());
    return DisplayText(cache_ != nullptr ? O4CacheCellText(*cache_->Entries()[row], index.column())
                                         : O4CookieCellText(*cookies_[row], index.column()));
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kO4CookieColumnCount)
      return {};
    return DisplayText(O4CookieColumns()[static_cast<std::size_t>(section)].Caption);
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }

private:
  std::vector<const TO4Cookie*> cookies_;
  const TO4CacheRoot* cache_ = nullptr;
};

namespace {

void DefaultErrorReporter(QWidget* window, const QString& message) {
  QMessageBox::warning(window, window->windowTitle(), message);
}

// Reads a file the user chose; null after reporting why it could not be.
template <class TRoot>
std::unique_ptr<TRoot> ReadHostFile(const QString& hostPath, QString& error) {
  const THostFiles hostFiles;
  const std::string hostName = hostPath.toStdString();
  const std::string path = hostFiles.WindowsPath(hostName);
  if (path.empty()) {
    error = QStringLiteral("Cannot open file \"%1\".").arg(hostPath);
    return nullptr;
  }
  try {
    return std::make_unique<TRoot>(path);
  } catch (const std::exception& e) {
    error = DisplayText(hostFiles.HostTerms(e.what(), path, hostName));
    return nullptr;
  }
}

} // namespace

TformO4::TformO4(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("formO4"));
  setWindowTitle(QStringLiteral("Rodove-Z4-Uvova"));
  resize(ScaledPixels(*this, 632), ScaledPixels(*this, 272));
  reportError_ = DefaultErrorReporter;

  menuMain_ = new QMenuBar(this);
  menuMain_->setObjectName(QStringLiteral("menuMain"));
  miFile_ = menuMain_->addMenu(QStringLiteral("&File"));
  miFile_->setObjectName(QStringLiteral("miFile"));
  miOpenCookies_ = miFile_->addAction(QStringLiteral("&Open cookie file"));
  miOpenCookies_->setObjectName(QStringLiteral("miOpenCookies"));
  miOpenCache_ = miFile_->addAction(QStringLiteral("&Debug open cache file"));
  miOpenCache_->setObjectName(QStringLiteral("miOpenCache"));
  connect(miOpenCookies_, &QAction::triggered, this, &TformO4::miOpenCookiesClick);
  connect(miOpenCache_, &QAction::triggered, this, &TformO4::miOpenCacheClick);

  treeModel_ = new TO4TreeModel(this);
  rowModel_ = new TO4RowModel(this);

  splitter1_ = new QSplitter(Qt::Horizontal, this);
  splitter1_->setObjectName(QStringLiteral("Splitter1"));
  splitter1_->setChildrenCollapsible(false);

  tvO4Cookie_ = new QTreeView(splitter1_);
  tvO4Cookie_->setObjectName(QStringLiteral("tvO4Cookie"));
  tvO4Cookie_->setModel(treeModel_);
  tvO4Cookie_->setHeaderHidden(true);
  tvO4Cookie_->setIndentation(ScaledPixels(*this, 19));
  tvO4Cookie_->setUniformRowHeights(true);
  tvO4Cookie_->setEditTriggers(QAbstractItemView::NoEditTriggers);

  pcMain_ = new QTabWidget(splitter1_);
  pcMain_->setObjectName(QStringLiteral("pcMain"));
  auto* tabCookies = new QWidget;
  tabCookies->setObjectName(QStringLiteral("tabCookies"));
  lvO4Cookie_ = new QTableView(tabCookies);
  lvO4Cookie_->setObjectName(QStringLiteral("lvO4Cookie"));
  lvO4Cookie_->setModel(rowModel_);
  SetUpReportView(*lvO4Cookie_);
  QHeaderView* header = lvO4Cookie_->horizontalHeader();
  for (int c = 0; c < kO4CookieColumnCount; ++c) {
    header->resizeSection(
        c, ScaledPixels(*this, O4CookieColumns()[static_cast<std::size_t>(c)].Width));
  }
  auto* cookiesLayout = new QVBoxLayout(tabCookies);
  cookiesLayout->setContentsMargins(0, 0, 0, 0);
  cookiesLayout->addWidget(lvO4Cookie_);
  pcMain_->addTab(tabCookies, QStringLiteral("Cookies"));

  auto* tabDebug = new QWidget;
  tabDebug->setObjectName(QStringLiteral("tabDebug"));
  memoDebug_ = new QPlainTextEdit(tabDebug);
  memoDebug_->setObjectName(QStringLiteral("memoDebug"));
  memoDebug_->setReadOnly(true);
  QFont courier(QStringLiteral("Courier New"));
  courier.setStyleHint(QFont::Monospace);
  memoDebug_->setFont(courier);
  auto* debugLayout = new QVBoxLayout(tabDebug);
  debugLayout->setContentsMargins(0, 0, 0, 0);
  debugLayout->addWidget(memoDebug_);
  pcMain_->addTab(tabDebug, QStringLiteral("Debug"));

  splitter1_->addWidget(tvO4Cookie_);
  splitter1_->addWidget(pcMain_);
  splitter1_->setStretchFactor(1, 1);
  const int treeWidth = ScaledPixels(*this, 153);
  splitter1_->setSizes({treeWidth, width() - treeWidth});

  // Shown only after a file that was not read whole, so that it never looks complete.
  lblStatus_ = new QLabel(this);
  lblStatus_->setObjectName(QStringLiteral("lblStatus"));
  lblStatus_->setTextFormat(Qt::PlainText);
  lblStatus_->setWordWrap(true);
  lblStatus_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menuMain_);
  layout->addWidget(splitter1_, 1);
  layout->addWidget(lblStatus_);

  lastFolder_ = QDir::homePath();
}

TformO4::~TformO4() {
  // The views may still ask while the widgets go; they must find no rows then.
  rowModel_->ShowCookies({});
  treeModel_->SetRoot(nullptr);
}

void TformO4::OpenCookieFile(const QString& hostPath) {
  QString error;
  std::unique_ptr<TO4CookieRoot> root = ReadHostFile<TO4CookieRoot>(hostPath, error);
  if (!root) {
    reportError_(this, error);
    return;
  }
  // The models let go of the earlier roots before those are freed.
  treeModel_->SetRoot(root.get());
  rowModel_->ShowCookies(O4CookieRows(*root));
  cookieRoot_ = std::move(root);
  cacheRoot_.reset();
  ShowLoadMessage(hostPath,
                  O4LoadMessage(cookieRoot_->Valid, cookieRoot_->LoadStop, "cookie file"));
}

void TformO4::OpenCacheFile(const QString& hostPath) {
  QString error;
  std::unique_ptr<TO4CacheRoot> root = ReadHostFile<TO4CacheRoot>(hostPath, error);
  if (!root) {
    reportError_(this, error);
    return;
  }
  rowModel_->ShowCache(root.get());
  cacheRoot_ = std::move(root);
  ShowLoadMessage(hostPath, O4LoadMessage(cacheRoot_->Valid, cacheRoot_->LoadStop, "cache index"));
}

void TformO4::ShowLoadMessage(const QString& hostPath, const std::string& message) {
  lblStatus_->setText(DisplayText(message));
  lblStatus_->setVisible(!message.empty());
  if (!message.empty())
    memoDebug_->appendPlainText(hostPath + QStringLiteral(": ") + DisplayText(message));
}

QString TformO4::ChooseFile(const QString& filter) {
  if (!QFileInfo(lastFolder_).isDir())
    lastFolder_ = QDir::homePath();
  const QString path = QFileDialog::getOpenFileName(this, QString(), lastFolder_, filter);
  if (!path.isEmpty())
    lastFolder_ = QFileInfo(path).absolutePath();
  return path;
}

void TformO4::miOpenCookiesClick() {
  const QString path = ChooseFile(QStringLiteral("Opera Cookie-Dateien (cookies4*.dat)"));
  if (!path.isEmpty())
    OpenCookieFile(path);
}

void TformO4::miOpenCacheClick() {
  const QString path = ChooseFile(QStringLiteral("Opera Cache-Index-Dateien (dcache4.url)"));
  if (!path.isEmpty())
    OpenCacheFile(path);
}

} // namespace quillon
