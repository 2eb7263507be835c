#include "ui/FormUnitMork.h"

#include "formats/MorkView.h"
#include "session/HostFiles.h"
#include "ui/DisplayText.h"

#include <QAbstractTableModel>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>
#include <utility>
#include <vector>

namespace quillon {

namespace {

// The most bytes of one text a cell shows. A cell of a hostile file may hold its whole size, and
// laying out megabytes of text in one line would stall each paint; the rest is marked as cut.
constexpr std::size_t kMaxShownBytes = 8192;

QString ShownText(std::string_view bytes) {
  if (bytes.size() <= kMaxShownBytes)
    return DisplayText(bytes);
  // Cut before a character's continuation bytes, so that UTF-8 text stays UTF-8.
  std::size_t cut = kMaxShownBytes;
  while (cut > kMaxShownBytes - 3 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
    --cut;
  return DisplayText(bytes.substr(0, cut)) + QStringLiteral("[...]");
}

int RowsOf(std::size_t count) {
  return static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
}

} // namespace

// One of the reader's lists, a line per row (the RAW and Table tabs).
class TMorkLinesModel : public QAbstractTableModel {
public:
  explicit TMorkLinesModel(QObject* parent) : QAbstractTableModel(parent) {}

  void Show(const TTextList* list) {
    beginResetModel();
    list_ = list;
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() || list_ == nullptr ? 0 : RowsOf(list_->size());
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : 1;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
      return {};
    return ShownText((*list_)[static_cast<std::size_t>(index.row())]);
  }

private:
  const TTextList* list_ = nullptr;
};

// A dictionary: id and text of each entry, in the order of their ids (the Fields and Data/Content
// tabs).
class TMorkDictionaryModel : public QAbstractTableModel {
public:
  TMorkDictionaryModel(QObject* parent, std::string_view textCaption)
      : QAbstractTableModel(parent), textCaption_(textCaption) {}

  void Show(const TTextList* list, std::vector<std::uint32_t> order) {
    beginResetModel();
    list_ = list;
    order_ = std::move(order);
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() || list_ == nullptr ? 0 : RowsOf(order_.size());
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : 2;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
      return {};
    const TMorkEntry entry = MorkEntry((*list_)[order_[static_cast<std::size_t>(index.row())]]);
    return ShownText(index.column() == 0 ? entry.Id : entry.Text);
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1)
      return {};
    return DisplayText(section == 0 ? kMorkIdCaption : textCaption_);
  }

private:
  std::string_view textCaption_;
  const TTextList* list_ = nullptr;
  std::vector<std::uint32_t> order_;
};

// The resolved rows. A view paints a row's cells one after another, so the cells of the last row
// asked for are kept: each row is resolved once per paint, not once per cell.
class TMorkResultModel : public QAbstractTableModel {
public:
  explicit TMorkResultModel(QObject* parent) : QAbstractTableModel(parent) {}

  void Show(TMorkResult result) {
    beginResetModel();
    result_ = std::move(result);
    cachedRow_ = kNoRow;
    endResetModel();
  }
  const TMorkResult& Result() const { return result_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : RowsOf(result_.RowCount());
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(result_.ColumnCount());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount() ||
        index.column() >= columnCount())
      return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (row != cachedRow_) {
      result_.RowCells(row, cells_, scratch_);
      cachedRow_ = row;
    }
    return ShownText(cells_[static_cast<std::size_t>(index.column())]);
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
      return {};
    return ShownText(result_.Caption(static_cast<std::size_t>(section)));
  }

private:
  static constexpr std::size_t kNoRow = std::numeric_limits<std::size_t>::max();
  TMorkResult result_;
  mutable std::size_t cachedRow_ = kNoRow;
  mutable std::vector<std::string_view> cells_;
  mutable std::string scratch_;
};

namespace {

void DefaultErrorReporter(QWidget* window, const QString& message) {
  QMessageBox::warning(window, window->windowTitle(), message);
}

QString DefaultFileChooser(QWidget* window, const QString& startPath) {
  return QFileDialog::getOpenFileName(window, QString(), startPath);
}

// A page of the tab control holding one view that fills it.
QWidget* AddPage(QTabWidget& pages, const char* pageName, const QString& caption, QTableView*& view,
                 const char* viewName) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(pageName));
  view = new QTableView(page);
  view->setObjectName(QString::fromLatin1(viewName));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  pages.addTab(page, caption);
  return page;
}

// The RAW and Table tabs read as text: one line per row, no header, no grid, the line as wide as
// the view.
void SetUpLinesView(QTableView& view) {
  SetUpReportView(view);
  view.horizontalHeader()->hide();
  view.horizontalHeader()->setStretchLastSection(true);
  view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

} // namespace

TformMork::TformMork(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("formMork"));
  setWindowTitle(QStringLiteral("Dize-R-Areze"));
  resize(ScaledPixels(*this, 662), ScaledPixels(*this, 310));
  reportError_ = DefaultErrorReporter;
  chooseFile_ = DefaultFileChooser;

  rawModel_ = new TMorkLinesModel(this);
  fieldsModel_ = new TMorkDictionaryModel(this, kMorkFieldCaption);
  dataModel_ = new TMorkDictionaryModel(this, kMorkDataCaption);
  tableModel_ = new TMorkLinesModel(this);
  resultModel_ = new TMorkResultModel(this);

  bnRead_ = new QPushButton(QStringLiteral("read"), this);
  bnRead_->setObjectName(QStringLiteral("bnRead"));
  connect(bnRead_, &QPushButton::clicked, this, &TformMork::bnReadClick);

  pageControl1_ = new QTabWidget(this);
  pageControl1_->setObjectName(QStringLiteral("PageControl1"));
  AddPage(*pageControl1_, "tabRaw", QStringLiteral("RAW"), memoMork_, "memoMork");
  AddPage(*pageControl1_, "tabFields", QStringLiteral("Fields"), lvFields_, "lvFields");
  AddPage(*pageControl1_, "tabData", QStringLiteral("Data/Content"), lvData_, "lvData");
  QWidget* tableTab =
      AddPage(*pageControl1_, "TabSheet4", QStringLiteral("Table"), memoTable_, "memoTable");
  AddPage(*pageControl1_, "TabSheet1", QStringLiteral("!!! Here It Is !!!"), lvResult_, "lvResult");

  memoMork_->setModel(rawModel_);
  memoTable_->setModel(tableModel_);
  for (QTableView* memo : {memoMork_, memoTable_})
    SetUpLinesView(*memo);
  lvFields_->setModel(fieldsModel_);
  lvData_->setModel(dataModel_);
  for (QTableView* list : {lvFields_, lvData_}) {
    SetUpReportView(*list);
    list->horizontalHeader()->resizeSection(0, ScaledPixels(*this, 50));
    // The text column takes the width the id leaves.
    list->horizontalHeader()->setStretchLastSection(true);
  }
  lvResult_->setModel(resultModel_);
  SetUpReportView(*lvResult_);
  lvResult_->horizontalHeader()->setDefaultSectionSize(ScaledPixels(*this, 100));
  pageControl1_->setCurrentWidget(tableTab);

  // Shown only when the result leaves columns off, so that it never looks complete.
  lblStatus_ = new QLabel(this);
  lblStatus_->setObjectName(QStringLiteral("lblStatus"));
  lblStatus_->setTextFormat(Qt::PlainText);
  lblStatus_->setWordWrap(true);
  lblStatus_->hide();

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(bnRead_);
  buttonRow->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttonRow);
  layout->addWidget(pageControl1_, 1);
  layout->addWidget(lblStatus_);
}

TformMork::~TformMork() {
  // The views may still ask while the widgets go; they must find no rows then.
  rawModel_->Show(nullptr);
  fieldsModel_->Show(nullptr, {});
  dataModel_->Show(nullptr, {});
  tableModel_->Show(nullptr);
  resultModel_->Show({});
}

void TformMork::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window restored from the task bar is not shown anew.
  if (!event->spontaneous())
    QTimer::singleShot(0, this, &TformMork::bnReadClick);
}

void TformMork::bnReadClick() {
  const QString path = chooseFile_(this, lastFile_);
  if (path.isEmpty())
    return;
  lastFile_ = path;
  ReadFile(path);
}

void TformMork::ReadFile(const QString& hostPath) {
  auto file = std::make_unique<TMorkFile>();
  // The views show the lists only; the file's bytes are given back after the scan.
  file->KeepBuffer = false;
  {
    const THostFiles hostFiles;
    const std::string hostName = hostPath.toStdString();
    const std::string path = hostFiles.WindowsPath(hostName);
    if (path.empty()) {
      reportError_(this, QStringLiteral("Cannot open file \"%1\".").arg(hostPath));
      return;
    }
    try {
      file->LoadFromFile(path);
    } catch (const std::exception& e) {
      reportError_(this, DisplayText(hostFiles.HostTerms(e.what(), path, hostName)));
      return;
    }
  }
  // The models let go of the earlier file before it is freed.
  rawModel_->Show(&file->RawList());
  fieldsModel_->Show(&file->FieldList(), MorkIdOrder(file->FieldList()));
  dataModel_->Show(&file->DataList(), MorkIdOrder(file->DataList()));
  tableModel_->Show(&file->TableList());
  resultModel_->Show(TMorkResult(*file));
  file_ = std::move(file);

  const std::string message = MorkLeftOffMessage(resultModel_->Result());
  lblStatus_->setText(DisplayText(message));
  lblStatus_->setVisible(!message.empty());
}

} // namespace quillon
