#pragma once
// The main window: one button per detected profile on the left, the refresh, clean, purge and
// helper actions on top, and the tabs with the supported-browser table, the detection log and
// the five entry lists of the current profile. It owns the browser manager.

#include "discovery/ActionPreview.h"
#include "discovery/ActionReport.h"
#include "discovery/BrowserManager.h"
#include "discovery/ProfileActions.h"
#include "ui/DisplayText.h"

#include <QMainWindow>
#include <QToolButton>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QTableView;
class QToolBar;
class QTreeWidget;

namespace quillon {

class TEntryListModel;
class TEntryListView;

// A check-style button on the profile tool bar that knows its profile's position in the
// manager's Profiles.
class TProfileToolButton : public QToolButton {
  Q_OBJECT

public:
  explicit TProfileToolButton(QWidget* parent = nullptr);
  std::int32_t ProfileIndex = 0;
};

// Creates the browser manager, which runs discovery. Tests hand in managers with prepared
// profiles; the program passes one that reports discovery's progress.
using TManagerFactory = std::function<std::unique_ptr<TBrowserManager>()>;

// Asks before data goes: shows what the action will remove and answers whether to go on.
using TConfirmer = std::function<bool(QWidget* window, const TBrowserProfile& profile,
                                      const TActionPreview& preview)>;

class TformMain : public QMainWindow {
  Q_OBJECT

public:
  // Without a factory the manager detects every family on the current Windows system.
  explicit TformMain(const TManagerFactory& createManager = {}, QWidget* parent = nullptr);
  ~TformMain() override;

  TBrowserManager* Manager() const { return manager_.get(); }
  QAction* Action(TMainAction action) const { return actions_.at(action); }
  // Replaces the message box that reports an escaped exception (tests record the message).
  void SetErrorReporter(TErrorReporter reporter) { reportError_ = std::move(reporter); }
  // Replaces the warning box that names the stores a clean or purge could not change.
  void SetFailureReporter(TErrorReporter reporter) { reportFailure_ = std::move(reporter); }
  // Replaces the confirmation dialog (tests answer for the user). It is asked only while the
  // confirmation setting is on.
  void SetConfirmer(TConfirmer confirmer) { confirm_ = std::move(confirmer); }
  // What the title says besides the program's name: whose data of which system it shows.
  void SetSessionText(const QString& text);

  // A click on a profile button: makes its profile current, shows the tabs and enables the
  // actions that the profile's capability flags allow, and refreshes it.
  void ProfileButtonClick(QObject* sender);
  // Runs an action as its menu item does: only while it is enabled, with its follow-up refresh.
  // A clean or purge that could not change every store ends with one warning that names them.
  void Execute(TMainAction action);
  // Removes the entries of the kind's list that are selected, after asking; a clean of that kind
  // whose rule accepts exactly them, so it takes the same store paths as every clean.
  void RemoveSelected(TCacheType kind);
  // Puts the selected rows' texts on the clipboard, tab-separated, one line per row.
  void CopySelected(TCacheType kind) const;

protected:
  // Remembers the window's geometry, profile, tab and columns for the next start.
  void closeEvent(QCloseEvent* event) override;

private:
  int Scaled(int pixels) const;
  void CreateComponents();
  void CreateActions();
  QWidget* CreateInfoTab();
  QTableView* CreateEntryList(TCacheType kind, const char* name);
  // The caption of a kind's tab, wherever the tab is (re)inserted or its count changes.
  QString DataTabCaption(TCacheType kind) const;
  void FormCreate(const TManagerFactory& createManager);
  void FormDestroy();
  void LoadPageLocations();
  void AddProfileButtons();
  void FillCompatibility();

  // Makes a profile current and shows its tabs and actions; its lists are the caller's.
  void ShowProfile(TProfileToolButton* button);
  // Removes the tabs of the kinds the profile cannot read and puts back the others in kind
  // order, so that neither Ctrl+Tab nor the wheel over the tab bar reaches an unreadable kind.
  void ShowDataTabs(const std::array<bool, kCacheTypeCount>& visible);
  void ApplyFilter();
  void RestoreSettings();
  void SaveSettings() const;
  void ApplyActionStates();
  void SelectCompatibilityRow(TBrowserType type);
  void ShowHelpersMenu();
  void ListsChanged(TCacheKinds kinds);
  void RunGuarded(const std::function<void()>& work);
  // Whether to go on: true without asking while confirmations are off.
  bool Confirmed(const TBrowserProfile& profile, const std::function<TActionPreview()>& preview);
  // The status-bar line and, for a store that could not be changed, the warning.
  void ReportOutcome(TMainAction action, const TBrowserProfile& profile, const TEntryCounts& before,
                     const TActionOutcome& outcome);
  void ShowCurrentProfile();
  // Entry positions of the selected rows of the kind's list, in row order.
  std::vector<int> SelectedEntries(TCacheType kind) const;
  void UpdateRemoveActions();

  std::unique_ptr<TBrowserManager> manager_;
  TActionStates enabled_ = AllActionsEnabled();
  TErrorReporter reportError_;
  TErrorReporter reportFailure_;
  TConfirmer confirm_;

  QToolBar* toolbarProfiles_ = nullptr;
  QToolBar* toolbarMain_ = nullptr;
  QButtonGroup* profileButtons_ = nullptr;
  QToolButton* helpersButton_ = nullptr;
  QMenu* helpersMenu_ = nullptr;
  QSplitter* splitterMain_ = nullptr;
  QLineEdit* edFilter_ = nullptr;
  QTabWidget* pcBrowserInfo_ = nullptr;
  QWidget* tsInfo_ = nullptr;
  QWidget* tabLog_ = nullptr;
  QLabel* labelIntroInfo_ = nullptr;
  QLabel* labelProfile_ = nullptr;
  QTreeWidget* lvCompatibility_ = nullptr;
  QPlainTextEdit* mLog_ = nullptr;
  std::array<QWidget*, kCacheTypeCount> dataTabs_{};
  std::array<TEntryListModel*, kCacheTypeCount> models_{};
  std::array<TEntryListView*, kCacheTypeCount> lists_{};
  std::array<QAction*, kCacheTypeCount> removeActions_{};
  QAction* aConfirmActions_ = nullptr;
  std::array<QAction*, kMainActionCount> actions_{};
  QAction* aHelpers_ = nullptr;
};

// "&About " + the title with each "&" doubled + "...".
QString AboutMenuText(const QString& title);

} // namespace quillon
