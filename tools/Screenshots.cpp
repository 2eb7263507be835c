// Takes the README's screenshots: each window on a freshly written demo image, saved as a PNG
// of what the window draws (without the desktop's frame). Run it under a display, as
// `make screenshots` does under Xvfb:
//
//   quillon-screenshots DIR
//
// The settings the windows remember go to a test folder, so the user's own play no part in them.

#include "discovery/BrowserManager.h"
#include "discovery/ProcessSetup.h"
#include "kit/DemoImage.h"
#include "kit/TempDir.h"
#include "session/HostSystem.h"
#include "session/ImageSession.h"
#include "session/ProgramVersion.h"
#include "ui/AppIcon.h"
#include "ui/DisplayText.h"
#include "ui/FormUnitMain.h"
#include "ui/FormUnitMork.h"
#include "ui/UIDlgAbout.h"
#include "ui/UIDlgConfirm.h"
#include "winapi/WinApi.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <vector>

namespace {

using namespace quillon;

// Lets the windows lay out and paint before they are grabbed.
void Settle() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QTest::qWait(20);
  }
}

bool Save(QWidget& widget, const QString& file) {
  Settle();
  if (widget.grab().save(file, "PNG"))
    return true;
  std::cerr << "quillon-screenshots: cannot write " << file.toStdString() << '\n';
  return false;
}

template <typename T> T* Child(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr)
    throw std::runtime_error(std::string("no ") + name);
  return child;
}

// The first Mork history of a Firefox profile in the image.
std::string FirefoxHistory(const std::string& image) {
  namespace fs = std::filesystem;
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(image + "/Users"))
    if (entry.path().filename() == "history.dat" &&
        entry.path().string().find("/Firefox/") != std::string::npos)
      found.push_back(entry.path().string());
  if (found.empty())
    throw std::runtime_error("no Firefox history.dat in the demo image");
  std::sort(found.begin(), found.end());
  return found.front();
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quillon-screenshots DIR\n";
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  try {
    const kit::TTempDir temp;
    const std::string demo = temp.Path() + "/demo-image";
    kit::WriteDemoImage(demo);
    winapi::TWinApiScope scope(OpenImage({}, demo));
    TProcessSetup setup;

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setWindowIcon(ApplicationIcon());
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();

    TformMain window([] { return std::make_unique<TBrowserManager>(); });
    window.SetSessionText(DisplayText(SessionText({})));
    window.resize(1040, 690);
    window.show();
    Settle();
    // alice's Firefox profile, cleaned as a whole: the question with its preview, then the
    // window with what the clean did in the status bar and the counts on the tabs.
    window.ProfileButtonClick(Child<QObject>(window, "profile5"));
    bool asked = false;
    window.SetConfirmer(
        [&](QWidget* parent, const TBrowserProfile& profile, const TActionPreview& preview) {
          TdlgConfirm dialog(profile, preview, parent);
          dialog.show();
          asked = Save(dialog, out + "/confirm-clean.png");
          return asked;
        });
    window.Execute(aCleanAll);
    if (!asked)
      return 1;
    Child<QTabWidget>(window, "pcBrowserInfo")
        ->setCurrentWidget(Child<QWidget>(window, "tsCookies"));
    if (!Save(window, out + "/main-window.png"))
      return 1;

    // The Mork viewer on bob's Firefox history, its grid of resolved rows in front.
    TformMork mork(&window);
    mork.SetFileChooser([](QWidget*, const QString&) { return QString(); });
    mork.ReadFile(QString::fromStdString(FirefoxHistory(demo)));
    mork.resize(1100, 420);
    mork.show();
    auto* pages = Child<QTabWidget>(mork, "PageControl1");
    pages->setCurrentIndex(pages->count() - 1);
    if (!Save(mork, out + "/mork-viewer.png"))
      return 1;
    mork.hide();

    TdlgAbout about(&window);
    about.Fill(QApplication::applicationDisplayName(), ProgramVersionStrings());
    about.show();
    if (!Save(about, out + "/about.png"))
      return 1;
  } catch (const std::exception& e) {
    std::cerr << "quillon-screenshots: " << e.what() << '\n';
    return 1;
  } catch (const EUsageError& e) {
    std::cerr << "quillon-screenshots: " << e.message << '\n';
    return 1;
  }
  return 0;
}
