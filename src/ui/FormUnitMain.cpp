#include "ui/FormUnitMain.h"

#include "discovery/CleanRule.h"
#include "discovery/CompatibilityTable.h"
#include "discovery/EntryRows.h"
#include "platform/ListFile.h"
#include "ui/DisplayText.h"
#include "ui/EntryListModel.h"
#include "ui/EntryListView.h"
#include "ui/FormUnitIECache.h"
#include "ui/FormUnitMork.h"
#include "ui/FormUnitO4.h"
#include "ui/Icons.h"
#include "ui/UIDlgAbout.h"
#include "ui/UIDlgConfirm.h"
#include "winapi/WinApi.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace quillon {

namespace {

constexpr std::array<const char*, 3> kIntroParagraphs = {
    "This application is a demonstration of the cache, cookie and history cache entries of "
    "different browsers that Corvane can read and clean. It does intentionally NOT allow to "
    "export any of these as it is intended as a demonstration, not a spying tool.",
    "At the bottom of this page, you can see a list of supported browsers. (R)ead means "
    "displaying the cache contents; (C)lean means cleaning single entries out; and (P)urge means "
    "removing the cache in whole.",
    "Select a browser profile at the left to display the associated data."};

// The tabs of the entry lists, by kind: object name, list name, tab image, and where in the
// caption the mnemonic "&" goes. The letters stay clear of the menus (F, O, H), the tool bar
// (R, C, P, E) and the Info and Log tabs (I, L).
struct TDataTab {
  const char* tabName;
  const char* listName;
  int image;
  int mnemonicAt;
};
constexpr std::array<TDataTab, kCacheTypeCount> kDataTabs = {
    {{"tsCache", "lvCache", 0, 1},
     {"tsCookies", "lvCookies", 1, 3},
     {"tsHistory", "lvHistory", 2, 6},
     {"tsStartpages", "lvPages", 4, 1},
     {"tsBookmarks", "lvBookmarks", 5, 0}}};
constexpr int kInfoTabImage = 3;
constexpr int kLogTabImage = 6;

// Escape in a line edit clears it (and goes no further while there is text to clear).
class TEscapeClears : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr || event->type() != QEvent::KeyPress ||
        static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape || edit->text().isEmpty())
      return false;
    edit->clear();
    return true;
  }
};

// The image of "Helpers"; refresh, clean and purge take theirs by verb (0 to 2).
constexpr int kHelpersImage = 3;

// Whether purges, "Clean all" and removals ask first (on by default).
constexpr QLatin1StringView kConfirmKey("confirm/actions");

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ApplicationTitle() {
  return QGuiApplication::applicationDisplayName();
}

void ShowErrorBox(QWidget* window, const QString& message) {
  QMessageBox::critical(window, ApplicationTitle(), message);
}

void ShowFailureBox(QWidget* window, const QString& message) {
  QMessageBox::warning(window, ApplicationTitle(), message);
}

// The mark beside a capability text: full support for "All", none for "-", partial otherwise.
// The mark follows the text the user reads; the stored capability images put the full mark
// beside Chrome's "-" and the partial one beside its "All".
int SupportMark(const std::string& capability) {
  if (capability == "All")
    return 0;
  if (capability == "-")
    return -1;
  return 1;
}

} // namespace

QString AboutMenuText(const QString& title) {
  return QStringLiteral("&About ") + EscapeMnemonics(title) + QStringLiteral("...");
}

TProfileToolButton::TProfileToolButton(QWidget* parent) : QToolButton(parent) {
  setCheckable(true);
  setAutoRaise(true);
  setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

TformMain::TformMain(const TManagerFactory& createManager, QWidget* parent)
    : QMainWindow(parent), reportError_(ShowErrorBox), reportFailure_(ShowFailureBox),
      confirm_(AskConfirmation) {
  CreateComponents();
  FormCreate(createManager);
}

TformMain::~TformMain() {
  FormDestroy();
}

// --- Components ------------------------------------------------------------------------------

int TformMain::Scaled(int pixels) const {
  return ScaledPixels(*this, pixels);
}

void TformMain::CreateComponents() {
  setWindowTitle(ApplicationTitle());
  // The window font stays the desktop's own; sizes grow with it (see Scaled).
  resize(Scaled(776), Scaled(514));

  CreateActions();

  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* columns = new QHBoxLayout(central);
  columns->setContentsMargins(8, 8, 8, 8);
  columns->setSpacing(8);
  // The user gives the profiles or the lists more room; the lists take what the window gains.
  splitterMain_ = new QSplitter(Qt::Horizontal, central);
  splitterMain_->setObjectName("splitterMain");
  splitterMain_->setChildrenCollapsible(false);
  columns->addWidget(splitterMain_);

  // QToolBar sets its own size limits from its buttons, so a pane holds it; the pane is sunken
  // so that the place of the profiles shows also while there are none.
  auto* profilePane = new QFrame(splitterMain_);
  profilePane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  profilePane->setMinimumWidth(Scaled(120));
  auto* paneLayout = new QVBoxLayout(profilePane);
  paneLayout->setContentsMargins(2, 2, 2, 2);
  toolbarProfiles_ = new QToolBar(profilePane);
  toolbarProfiles_->setObjectName("toolbarProfiles");
  toolbarProfiles_->setOrientation(Qt::Vertical);
  toolbarProfiles_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  toolbarProfiles_->setIconSize(QSize(16, 16));
  toolbarProfiles_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toolbarProfiles_->setMovable(false);
  toolbarProfiles_->setFloatable(false);
  profileButtons_ = new QButtonGroup(this);
  profileButtons_->setExclusive(true);
  paneLayout->addWidget(toolbarProfiles_);
  splitterMain_->addWidget(profilePane);

  auto* listsPane = new QWidget(splitterMain_);
  auto* rows = new QVBoxLayout(listsPane);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(8);
  splitterMain_->addWidget(listsPane);
  splitterMain_->setStretchFactor(0, 0);
  splitterMain_->setStretchFactor(1, 1);
  splitterMain_->setSizes({Scaled(225), Scaled(776 - 225)});

  toolbarMain_ = new QToolBar(listsPane);
  toolbarMain_->setObjectName("toolbarMain");
  toolbarMain_->setIconSize(QSize(24, 24));
  toolbarMain_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toolbarMain_->setMovable(false);
  toolbarMain_->setFloatable(false);
  rows->addWidget(toolbarMain_);

  auto addDropDown = [this](QAction* action, const char* buttonName, const char* menuName,
                            std::initializer_list<QAction*> entries) {
    auto* menu = new QMenu(this);
    menu->setObjectName(menuName);
    for (QAction* entry : entries)
      menu->addAction(entry);
    auto* button = new QToolButton(toolbarMain_);
    button->setObjectName(buttonName);
    button->setDefaultAction(action);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbarMain_->addWidget(button);
    return std::pair{button, menu};
  };
  for (const TActionVerb verb : {TActionVerb::Refresh, TActionVerb::Clean, TActionVerb::Purge}) {
    std::initializer_list<QAction*> entries = {
        actions_[MakeAction(verb, ctCache)], actions_[MakeAction(verb, ctCookies)],
        actions_[MakeAction(verb, ctHistory)], actions_[MakeAction(verb, ctPages)],
        actions_[MakeAction(verb, ctBookmarks)]};
    static constexpr std::array<const char*, 3> buttonNames = {"tbRefresh", "tbClean", "tbPurge"};
    static constexpr std::array<const char*, 3> menuNames = {"pmRefresh", "pmClean", "pmPurge"};
    const auto v = static_cast<std::size_t>(verb);
    addDropDown(actions_[MakeAction(verb)], buttonNames[v], menuNames[v], entries);
  }
  // The inspection windows open from here.
  auto* mork = new QAction(QStringLiteral("Dize-R-Areze"), this);
  auto* o4 = new QAction(QStringLiteral("Rodove-Z4-Uvova"), this);
  auto* ieCache = new QAction(QStringLiteral("Vezuz-IR-Uzodo"), this);
  mork->setObjectName("aMorkViewer");
  o4->setObjectName("aO4Viewer");
  ieCache->setObjectName("aIECacheViewer");
  // Each viewer lives as long as this one, hidden until its entry shows it (modeless), and reports
  // its errors through this window's reporter.
  const auto showOn = [this](QAction* action, QWidget* viewer) {
    connect(action, &QAction::triggered, viewer, [viewer] {
      viewer->show();
      viewer->raise();
      viewer->activateWindow();
    });
  };
  const TErrorReporter forwardErrors = [this](QWidget* window, const QString& message) {
    if (reportError_)
      reportError_(window, message);
  };
  auto* formMork = new TformMork(this);
  formMork->SetErrorReporter(forwardErrors);
  showOn(mork, formMork);
  showOn(ieCache, new TformIECache(this));
  auto* formO4 = new TformO4(this);
  formO4->SetErrorReporter(forwardErrors);
  showOn(o4, formO4);
  const auto [button, menu] = addDropDown(aHelpers_, "tbHelpers", "pmHelpers", {mork, o4, ieCache});
  helpersButton_ = button;
  helpersMenu_ = menu;

  // One filter for the list in view; it follows the user from tab to tab.
  edFilter_ = new QLineEdit(listsPane);
  edFilter_->setObjectName("edFilter");
  edFilter_->setPlaceholderText(QStringLiteral("Filter the list (Ctrl+F)"));
  edFilter_->setClearButtonEnabled(true);
  rows->addWidget(edFilter_);
  auto* findShortcut = new QShortcut(QKeySequence::Find, this);
  connect(findShortcut, &QShortcut::activated, edFilter_, [this] {
    edFilter_->setFocus(Qt::ShortcutFocusReason);
    edFilter_->selectAll();
  });
  edFilter_->installEventFilter(new TEscapeClears(edFilter_));
  // Filtering a million entries takes a good part of a second: it waits for a pause in typing.
  auto* filterDelay = new QTimer(this);
  filterDelay->setObjectName("filterDelay");
  filterDelay->setSingleShot(true);
  filterDelay->setInterval(200);
  connect(edFilter_, &QLineEdit::textChanged, filterDelay, qOverload<>(&QTimer::start));
  connect(filterDelay, &QTimer::timeout, this, [this] { ApplyFilter(); });

  pcBrowserInfo_ = new QTabWidget(listsPane);
  pcBrowserInfo_->setObjectName("pcBrowserInfo");
  pcBrowserInfo_->setMinimumWidth(256);
  pcBrowserInfo_->setIconSize(QSize(16, 16));
  rows->addWidget(pcBrowserInfo_, 1);

  tsInfo_ = CreateInfoTab();
  pcBrowserInfo_->addTab(tsInfo_, TabImage(kInfoTabImage), QStringLiteral("&Info"));

  auto* tabLog = new QWidget;
  tabLog_ = tabLog;
  tabLog->setObjectName("tabLog");
  auto* logLayout = new QVBoxLayout(tabLog);
  mLog_ = new QPlainTextEdit(tabLog);
  mLog_->setObjectName("mLog");
  mLog_->setReadOnly(true);
  mLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
  mLog_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mLog_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont courier(QStringLiteral("Courier New"));
  courier.setStyleHint(QFont::TypeWriter);
  mLog_->setFont(courier);
  logLayout->addWidget(mLog_);
  pcBrowserInfo_->addTab(tabLog, TabImage(kLogTabImage), QStringLiteral("&Log"));

  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    const TDataTab& tab = kDataTabs[static_cast<std::size_t>(k)];
    auto* page = new QWidget;
    page->setObjectName(tab.tabName);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(CreateEntryList(kind, tab.listName));
    dataTabs_[static_cast<std::size_t>(k)] = page;
    pcBrowserInfo_->addTab(page, TabImage(tab.image), DataTabCaption(kind));
  }
  connect(pcBrowserInfo_, &QTabWidget::currentChanged, this, [this] { ApplyFilter(); });

  QMenu* file = new QMenu(QStringLiteral("&File"), this);
  file->setObjectName("miFile");
  file->addAction(actions_[aRefreshAll]);
  file->addSeparator();
  auto* quit = file->addAction(QStringLiteral("&Quit"));
  quit->setObjectName("miQuit");
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(quit, &QAction::triggered, this, &QWidget::close);

  // Confirmations are on until the user turns them off; the choice is remembered.
  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  options->setObjectName("miOptions");
  aConfirmActions_ = options->addAction(QStringLiteral("&Confirm before removing data"));
  aConfirmActions_->setObjectName("aConfirmActions");
  aConfirmActions_->setCheckable(true);
  aConfirmActions_->setChecked(QSettings().value(kConfirmKey, true).toBool());
  connect(aConfirmActions_, &QAction::toggled, this,
          [](bool on) { QSettings().setValue(kConfirmKey, on); });
  statusBar()->setObjectName("statusBar");

  // Qt gives no access to the window (system) menu, so the About item lives in a Help menu,
  // where desktop users look for it.
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName("miHelp");
  auto* about = help->addAction(AboutMenuText(ApplicationTitle()));
  about->setObjectName("miAbout");
  connect(about, &QAction::triggered, this, [this] { ShowAboutDialog(this, ApplicationTitle()); });
  // File comes first, whichever menus are there.
  menuBar()->insertMenu(menuBar()->actions().value(0), file);
}

QString TformMain::DataTabCaption(TCacheType kind) const {
  QString caption = Text(EntryListCaption(kind));
  caption.insert(kDataTabs[kind].mnemonicAt, QLatin1Char('&'));
  const TBrowserProfile* profile = manager_ ? manager_->ActiveProfile() : nullptr;
  if (profile != nullptr)
    caption += QStringLiteral(" (%1)").arg(profile->GetList(kind).Count());
  return caption;
}

void TformMain::SetSessionText(const QString& text) {
  setWindowTitle(text.isEmpty() ? ApplicationTitle()
                                : ApplicationTitle() + QStringLiteral(" - ") + text);
}

void TformMain::CreateActions() {
  for (int a = 0; a < kMainActionCount; ++a) {
    const auto id = static_cast<TMainAction>(a);
    auto* action = new QAction(Text(ActionCaption(id)), this);
    action->setObjectName(Text(ActionName(id)));
    if (!ActionKind(id)) {
      action->setIcon(ActionImage(static_cast<int>(ActionVerb(id))));
      // The tool-bar button shows the icon text: "&Refresh all", "&Clean all", "&Purge all".
      action->setIconText(QLatin1Char('&') + action->text());
    }
    connect(action, &QAction::triggered, this, [this, id] { Execute(id); });
    actions_[static_cast<std::size_t>(a)] = action;
  }
  actions_[aRefreshAll]->setShortcut(QKeySequence(Qt::Key_F5));
  aHelpers_ = new QAction(ActionImage(kHelpersImage), QStringLiteral("Helpers"), this);
  aHelpers_->setObjectName("aHelpers");
  aHelpers_->setIconText(QStringLiteral("H&elpers"));
  connect(aHelpers_, &QAction::triggered, this, [this] { ShowHelpersMenu(); });
}

QWidget* TformMain::CreateInfoTab() {
  auto* page = new QWidget;
  page->setObjectName("tsInfo");
  auto* layout = new QVBoxLayout(page);
  // Which profile the lists show and where it lies: two profiles may share a caption.
  labelProfile_ = new QLabel(page);
  labelProfile_->setObjectName("labelProfile");
  labelProfile_->setTextFormat(Qt::PlainText);
  labelProfile_->setWordWrap(true);
  labelProfile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(labelProfile_);
  labelIntroInfo_ = new QLabel(page);
  labelIntroInfo_->setObjectName("labelIntroInfo");
  labelIntroInfo_->setWordWrap(true);
  labelIntroInfo_->setTextFormat(Qt::PlainText);
  labelIntroInfo_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(labelIntroInfo_);

  lvCompatibility_ = new QTreeWidget(page);
  lvCompatibility_->setObjectName("lvCompatibility");
  lvCompatibility_->setRootIsDecorated(false);
  lvCompatibility_->setUniformRowHeights(true);
  lvCompatibility_->setSelectionMode(QAbstractItemView::SingleSelection);
  lvCompatibility_->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvCompatibility_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvCompatibility_->setIconSize(QSize(16, 16));
  QStringList captions;
  for (const char* caption : kCompatibilityColumns)
    captions << QString::fromLatin1(caption);
  lvCompatibility_->setHeaderLabels(captions);
  lvCompatibility_->header()->setStretchLastSection(false);
  lvCompatibility_->header()->resizeSection(0, Scaled(130));
  for (int column = 1; column < captions.size(); ++column)
    lvCompatibility_->header()->resizeSection(column, Scaled(60));
  layout->addWidget(lvCompatibility_, 1);
  return page;
}

QTableView* TformMain::CreateEntryList(TCacheType kind, const char* name) {
  auto* model = new TEntryListModel(kind, this);
  models_[kind] = model;
  auto* view = new TEntryListView(model);
  lists_[kind] = view;
  view->setObjectName(name);
  view->SetEmptyText(Text(EmptyListText(kind)));
  SetUpReportView(*view);
  // Several rows at once: "Remove selected" and "Copy" take them all.
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Delete and the context menu act on the selected rows of this list only.
  auto* remove = new QAction(QStringLiteral("&Remove selected"), view);
  remove->setObjectName("aRemoveSelected");
  remove->setShortcut(QKeySequence::Delete);
  remove->setShortcutContext(Qt::WidgetShortcut);
  connect(remove, &QAction::triggered, this, [this, kind] { RemoveSelected(kind); });
  auto* copy = new QAction(QStringLiteral("&Copy"), view);
  copy->setObjectName("aCopy");
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, [this, kind] { CopySelected(kind); });
  view->addAction(remove);
  view->addAction(copy);
  view->setContextMenuPolicy(Qt::ActionsContextMenu);
  removeActions_[kind] = remove;
  connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { UpdateRemoveActions(); });
  connect(model, &QAbstractItemModel::modelReset, this, [this] { UpdateRemoveActions(); });
  return view;
}

// --- Creation and destruction ----------------------------------------------------------------

void TformMain::FormCreate(const TManagerFactory& createManager) {
  manager_ = createManager ? createManager() : std::make_unique<TBrowserManager>();
  if (!manager_)
    throw std::logic_error("the manager factory gave no manager");
  LoadPageLocations();
  manager_->SetOnValidateCacheEntry(ValidateCacheEntry);
  for (TEntryListModel* model : models_)
    model->SetManager(manager_.get());

  FillCompatibility();
  AddProfileButtons();
  // The window starts as the first profile's: its tabs and actions, its lists as discovery read
  // them. Without profiles there is nothing to show or act on.
  if (auto* first = findChild<TProfileToolButton*>(QStringLiteral("profile0"))) {
    ShowProfile(first);
    ListsChanged(kAllCacheKinds);
  } else {
    enabled_.fill(false);
    ApplyActionStates();
    ShowDataTabs({});
    ShowCurrentProfile();
  }

  QStringList log;
  for (const std::string& line : manager_->DetectionLog())
    log << DisplayText(line);
  mLog_->setPlainText(log.join(QLatin1Char('\n')));

  pcBrowserInfo_->setCurrentWidget(tsInfo_);
  QStringList intro;
  for (const char* paragraph : kIntroParagraphs)
    intro << QString::fromLatin1(paragraph);
  // A blank line between the paragraphs.
  labelIntroInfo_->setText(intro.join(QStringLiteral("\n\n")));
  RestoreSettings();
  ApplyFilter();
}

void TformMain::FormDestroy() {
  for (TEntryListModel* model : models_)
    if (model != nullptr)
      model->SetManager(nullptr);
  manager_.reset();
}

void TformMain::LoadPageLocations() {
  // A list file that cannot be read names no locations; the program runs without it.
  std::string reason;
  LoadIEPageLocations(*manager_, reason);
}

void TformMain::AddProfileButtons() {
  const TBrowserProfileList& profiles = manager_->Profiles();
  for (int i = 0; i < profiles.Count(); ++i) {
    const TBrowserProfile& profile = profiles.Items(i);
    const std::string caption = profile.ProfileName + " (" + std::string(profile.BrowserName()) +
                                " " + profile.Version + ")";
    auto* button = new TProfileToolButton(toolbarProfiles_);
    button->setObjectName(QStringLiteral("profile%1").arg(i));
    button->ProfileIndex = i;
    const TBrowserType type = profile.BrowserType();
    button->setIcon(BrowserImage(type < kBrowserTypeCount ? BrowserFamily(type).ImageIndex : -1));
    button->setText(EscapeMnemonics(DisplayText(caption)));
    button->setToolTip(DisplayText(caption) + QLatin1Char('\n') +
                       DisplayText(ProfileLocationText(profile)));
    profileButtons_->addButton(button);
    button->setChecked(i == 0);
    connect(button, &QToolButton::clicked, this, [this, button] { ProfileButtonClick(button); });
    toolbarProfiles_->addWidget(button);
  }
}

void TformMain::FillCompatibility() {
  lvCompatibility_->clear();
  for (const TCompatibilityRow& row : CompatibilityRows()) {
    auto* item = new QTreeWidgetItem(lvCompatibility_);
    item->setText(0, Text(row.Browser));
    item->setIcon(0, BrowserImage(row.ImageIndex));
    // Finds the row again when a profile of this type becomes current.
    item->setData(0, Qt::UserRole, static_cast<int>(row.Type));
    for (int k = 0; k < kCacheTypeCount; ++k) {
      item->setText(k + 1, Text(row.Capabilities[static_cast<std::size_t>(k)]));
      const int mark = SupportMark(row.Capabilities[static_cast<std::size_t>(k)]);
      // A blank picture where there is no mark keeps the texts of a column aligned.
      item->setIcon(k + 1, mark >= 0 ? BrowserImage(mark) : BlankImage());
    }
  }
}

// --- Profile selection and actions -----------------------------------------------------------

void TformMain::ProfileButtonClick(QObject* sender) {
  auto* button = dynamic_cast<TProfileToolButton*>(sender);
  if (button == nullptr || !manager_)
    return;
  RunGuarded([this, button] {
    ShowProfile(button);
    if (manager_->ActiveProfile() == nullptr)
      return;
    // The refresh shows the lists' new counts; a profile that cannot be read shows what it has.
    if (enabled_[aRefreshAll])
      Execute(aRefreshAll);
    else
      ListsChanged(kAllCacheKinds);
  });
}

void TformMain::ShowProfile(TProfileToolButton* button) {
  button->setChecked(true);
  manager_->ItemIndex = button->ProfileIndex;
  const TBrowserProfile* profile = manager_->ActiveProfile();
  if (profile == nullptr)
    return;
  const TProfileView view = ProfileView(*profile, enabled_);
  ShowDataTabs(view.TabVisible);
  enabled_ = view.Enabled;
  ApplyActionStates();
  ShowCurrentProfile();
  SelectCompatibilityRow(profile->BrowserType());
}

void TformMain::Execute(TMainAction action) {
  if (!manager_)
    return;
  RunGuarded([this, action] {
    TBrowserProfile* profile = manager_->ActiveProfile();
    if (profile == nullptr || !enabled_.at(action))
      return;
    if (ActionNeedsConfirmation(action) &&
        !Confirmed(*profile, [&] { return PreviewAction(*profile, action, enabled_); })) {
      statusBar()->showMessage(Text(ActionCaption(action)) + QStringLiteral(": cancelled."));
      return;
    }
    const TEntryCounts before = EntryCounts(*profile);
    const TActionOutcome outcome = ExecuteMainAction(
        *manager_, action, enabled_, [this](TCacheKinds kinds) { ListsChanged(kinds); });
    ReportOutcome(action, *profile, before, outcome);
  });
}

void TformMain::RemoveSelected(TCacheType kind) {
  if (!manager_)
    return;
  RunGuarded([this, kind] {
    TBrowserProfile* profile = manager_->ActiveProfile();
    const TMainAction clean = MakeAction(TActionVerb::Clean, kind);
    if (profile == nullptr || !enabled_.at(clean))
      return;
    const std::vector<int> entries = SelectedEntries(kind);
    if (entries.empty())
      return;
    if (!Confirmed(*profile, [&] { return PreviewRemoval(*profile, kind, entries); })) {
      statusBar()->showMessage(QStringLiteral("Remove selected: cancelled."));
      return;
    }
    const TEntryCounts before = EntryCounts(*profile);
    const TActionOutcome outcome = RemoveEntries(
        *manager_, kind, entries, enabled_, [this](TCacheKinds kinds) { ListsChanged(kinds); });
    ReportOutcome(clean, *profile, before, outcome);
  });
}

void TformMain::CopySelected(TCacheType kind) const {
  const TBrowserProfile* profile = manager_ ? manager_->ActiveProfile() : nullptr;
  const std::vector<int> entries = SelectedEntries(kind);
  if (profile == nullptr || entries.empty())
    return;
  QApplication::clipboard()->setText(DisplayText(EntriesText(*profile, kind, entries)));
}

bool TformMain::Confirmed(const TBrowserProfile& profile,
                          const std::function<TActionPreview()>& preview) {
  if (!aConfirmActions_->isChecked() || !confirm_)
    return true;
  return confirm_(this, profile, preview());
}

void TformMain::ReportOutcome(TMainAction action, const TBrowserProfile& profile,
                              const TEntryCounts& before, const TActionOutcome& outcome) {
  statusBar()->showMessage(
      DisplayText(ActionStatusText(action, enabled_, before, EntryCounts(profile), outcome)));
  if (!reportFailure_)
    return;
  const std::string message = ActionFailureMessage(profile, outcome);
  if (!message.empty())
    reportFailure_(this, DisplayText(message));
}

void TformMain::ShowCurrentProfile() {
  const TBrowserProfile* profile = manager_ ? manager_->ActiveProfile() : nullptr;
  if (profile == nullptr) {
    labelProfile_->setText(QStringLiteral("No browser profile was found."));
    return;
  }
  labelProfile_->setText(QStringLiteral("Profile: ") + DisplayText(ProfileTitle(*profile)) +
                         QStringLiteral("\nLocation: ") +
                         DisplayText(ProfileLocationText(*profile)));
}

std::vector<int> TformMain::SelectedEntries(TCacheType kind) const {
  const QTableView* view = lists_[kind];
  std::vector<int> rows;
  // Ranges, not one index per cell: a selection of a million rows is a handful of ranges.
  for (const QItemSelectionRange& range : view->selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row)
      rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<int> entries;
  entries.reserve(rows.size());
  for (const int row : rows)
    if (const int entry = models_[kind]->EntryIndex(row); entry >= 0)
      entries.push_back(entry);
  return entries;
}

void TformMain::UpdateRemoveActions() {
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    if (removeActions_[kind] == nullptr || lists_[kind] == nullptr)
      continue;
    removeActions_[kind]->setEnabled(enabled_.at(MakeAction(TActionVerb::Clean, kind)) &&
                                     lists_[kind]->selectionModel()->hasSelection());
  }
}

void TformMain::ShowDataTabs(const std::array<bool, kCacheTypeCount>& visible) {
  // Removing the active tab would let the tab bar pick a neighbour; the Info tab is the one to
  // show.
  for (int k = 0; k < kCacheTypeCount; ++k)
    if (!visible[static_cast<std::size_t>(k)] &&
        pcBrowserInfo_->currentWidget() == dataTabs_[static_cast<std::size_t>(k)])
      pcBrowserInfo_->setCurrentWidget(tsInfo_);
  // A data tab goes behind the Log tab and the data tabs of the kinds before its own.
  int position = pcBrowserInfo_->indexOf(tabLog_) + 1;
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    QWidget* page = dataTabs_[kind];
    const int index = pcBrowserInfo_->indexOf(page);
    if (!visible[kind]) {
      if (index >= 0)
        pcBrowserInfo_->removeTab(index);
      continue;
    }
    if (index < 0)
      pcBrowserInfo_->insertTab(position, page, TabImage(kDataTabs[kind].image),
                                DataTabCaption(kind));
    ++position;
  }
}

void TformMain::ApplyActionStates() {
  for (int a = 0; a < kMainActionCount; ++a)
    actions_[static_cast<std::size_t>(a)]->setEnabled(enabled_[static_cast<std::size_t>(a)]);
  UpdateRemoveActions();
}

void TformMain::SelectCompatibilityRow(TBrowserType type) {
  lvCompatibility_->clearSelection();
  for (int i = 0; i < lvCompatibility_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lvCompatibility_->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toInt() == static_cast<int>(type)) {
      lvCompatibility_->setCurrentItem(item);
      lvCompatibility_->scrollToItem(item);
      return;
    }
  }
}

void TformMain::ShowHelpersMenu() {
  helpersMenu_->popup(helpersButton_->mapToGlobal(QPoint(0, helpersButton_->height())));
}

void TformMain::ListsChanged(TCacheKinds kinds) {
  const TBrowserProfile* profile = manager_ ? manager_->ActiveProfile() : nullptr;
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    if (!kinds.Contains(kind))
      continue;
    models_[kind]->SetItemCount(profile != nullptr ? profile->GetList(kind).Count() : 0);
    if (const int tab = pcBrowserInfo_->indexOf(dataTabs_[kind]); tab >= 0)
      pcBrowserInfo_->setTabText(tab, DataTabCaption(kind));
  }
}

void TformMain::ApplyFilter() {
  // Only the list in view is filtered; another one catches up when its tab comes to the front.
  // Info and Log have no list to filter.
  const QString text = edFilter_->text();
  bool listInView = false;
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    if (pcBrowserInfo_->currentWidget() != dataTabs_[kind])
      continue;
    models_[kind]->SetFilter(text);
    lists_[kind]->SetEmptyText(text.isEmpty() ? Text(EmptyListText(kind))
                                              : QStringLiteral("No entry matches the filter."));
    listInView = true;
  }
  edFilter_->setEnabled(listInView);
}

// --- What the window remembers -----------------------------------------------------------------

void TformMain::closeEvent(QCloseEvent* event) {
  SaveSettings();
  QMainWindow::closeEvent(event);
}

void TformMain::SaveSettings() const {
  QSettings settings;
  settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
  settings.setValue(QStringLiteral("window/splitter"), splitterMain_->saveState());
  // By name and location: the profile's position changes when another one appears or goes.
  if (const TBrowserProfile* profile = manager_ ? manager_->ActiveProfile() : nullptr)
    settings.setValue(QStringLiteral("window/profile"),
                      QStringList{Text(profile->ProfileName), Text(profile->ProfileLocation)});
  settings.setValue(QStringLiteral("window/tab"), pcBrowserInfo_->currentWidget()->objectName());
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const TEntryListView* view = lists_[static_cast<std::size_t>(k)];
    view->SaveState(settings, QStringLiteral("lists/") + view->objectName());
  }
}

void TformMain::RestoreSettings() {
  const QSettings settings;
  restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
  splitterMain_->restoreState(settings.value(QStringLiteral("window/splitter")).toByteArray());
  const QStringList profile = settings.value(QStringLiteral("window/profile")).toStringList();
  if (profile.size() == 2) {
    const TBrowserProfileList& profiles = manager_->Profiles();
    for (int i = 0; i < profiles.Count(); ++i) {
      if (Text(profiles.Items(i).ProfileName) != profile[0] ||
          Text(profiles.Items(i).ProfileLocation) != profile[1])
        continue;
      // Discovery has just read it: shown as it is, not read again.
      if (i != manager_->ItemIndex)
        RunGuarded([this, i] {
          ShowProfile(findChild<TProfileToolButton*>(QStringLiteral("profile%1").arg(i)));
          ListsChanged(kAllCacheKinds);
        });
      break;
    }
  }
  const QString tab = settings.value(QStringLiteral("window/tab")).toString();
  for (int i = 0; i < pcBrowserInfo_->count(); ++i)
    if (!tab.isEmpty() && pcBrowserInfo_->widget(i)->objectName() == tab)
      pcBrowserInfo_->setCurrentIndex(i);
  // Last, so that a remembered sort orders the lists of the profile shown, once.
  for (int k = 0; k < kCacheTypeCount; ++k) {
    TEntryListView* view = lists_[static_cast<std::size_t>(k)];
    view->RestoreState(settings, QStringLiteral("lists/") + view->objectName());
  }
}

void TformMain::RunGuarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& e) {
    if (reportError_)
      reportError_(this, QString::fromUtf8(e.what()));
  } catch (...) {
    if (reportError_)
      reportError_(this, QStringLiteral("An unknown error occurred."));
  }
}

} // namespace quillon
