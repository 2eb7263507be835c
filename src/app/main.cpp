// quillon: the window. Takes the same image options as quillon-cli, sets up the process-wide
// pieces, shows discovery's progress and then the main window.

#include "discovery/BrowserManager.h"
#include "discovery/ProcessSetup.h"
#include "session/CommandLine.h"
#include "session/HostSystem.h"
#include "session/ProgramVersion.h"
#include "session/TerminalText.h"
#include "ui/AppIcon.h"
#include "ui/DiscoveryProgress.h"
#include "ui/DisplayText.h"
#include "ui/FormUnitMain.h"
#include "winapi/WinApi.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillon;

// Whether Qt can open a window: a platform other than the headless ones, and on X11 or Wayland a
// display to connect to.
bool HasDisplay() {
#ifdef _WIN32
  return true; // a Windows session always has its desktop
#endif
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const std::string name = platform != nullptr ? platform : "";
  if (name.starts_with("offscreen") || name.starts_with("minimal"))
    return false;
  if (!name.empty() && !name.starts_with("xcb") && !name.starts_with("wayland"))
    return true;
  const auto set = [](const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

// An image that cannot be used ends the program before any window: the line on stderr, and a
// message for a user who started the window from a desktop and sees no terminal.
int ReportUnusableImage(int argc, char** argv, const std::string& message) {
  std::cerr << "quillon: " << TerminalText(message) << '\n';
  if (HasDisplay()) {
    QApplication app(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("Quillon"), DisplayText(message));
  }
  return 2;
}

std::string UsageText() {
  const TSystemUsage& usage = SystemUsage();
  std::string synopsis = usage.synopsis;
  if (!synopsis.empty())
    synopsis.pop_back(); // its trailing space
  return "Usage: quillon " + synopsis + "\n\nShows the web-browser profiles of " + usage.system +
         " in a window.\n\n" + usage.options +
         "\nExit codes: 0 done, 2 bad arguments or an image that cannot be used.\n";
}

} // namespace

int main(int argc, char** argv) {
  std::shared_ptr<winapi::TWinApi> api;
  TImageOptions imageOptions;
  try {
    // Checked before any window exists, so that a bad command line fails the same way with or
    // without a display.
    const TCommandLine options = ParseCommandLine(ProgramArguments(argc, argv));
    if (options.help) {
      std::cout << UsageText();
      return 0;
    }
    if (options.version) {
      std::cout << VersionLine(ProgramVersionStrings()) << '\n';
      return 0;
    }
    if (!options.command.empty())
      throw EUsageError{"unexpected argument '" + options.command + "' (try --help)"};
    imageOptions = options.imageOptions;
    try {
      api = OpenSystem(options.imageOptions);
    } catch (const EUsageError& e) {
      return ReportUnusableImage(argc, argv, e.message);
    }
  } catch (const EUsageError& e) {
    std::cerr << "quillon: " << TerminalText(e.message) << '\n';
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "quillon: " << TerminalText(e.what()) << '\n';
    return 2;
  }

  winapi::TWinApiScope scope(api);
  TProcessSetup setup;
  QApplication app(argc, argv);
  // Where QSettings keeps what the windows remember.
  QApplication::setOrganizationName(QStringLiteral("Quillon"));
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setWindowIcon(ApplicationIcon());

  TformDiscoveryProgress progress;
  progress.show();
  QCoreApplication::processEvents();
  const TManagerFactory createManager = [&progress] {
    return std::make_unique<TBrowserManager>(
        kDefaultFamilyMask, DefaultDiscoverySteps(), Now, TLogObserver{},
        [&progress](TDiscoveryStepId step) { progress.ShowStep(step); });
  };
  std::unique_ptr<TformMain> window;
  try {
    window = std::make_unique<TformMain>(createManager);
  } catch (const std::exception& e) {
    // Discovery guards its own steps; what still escapes leaves no window to show.
    progress.close();
    QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromUtf8(e.what()));
    return 1;
  }
  progress.close();
  window->SetSessionText(DisplayText(SessionText(imageOptions)));
  window->show();
  return QApplication::exec();
}
