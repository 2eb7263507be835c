// The window tests need one QApplication for the whole run; it is made here, before the tests.

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // Also when the tests are listed at build time, where ctest's environment does not apply.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Quillon"));
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  // Settings the windows remember go to a test folder, never to the user's own.
  QStandardPaths::setTestModeEnabled(true);
  // ... and to a folder of this process: tests run in parallel, and what one test's window
  // remembers must not reach another test's window.
  const QTemporaryDir settingsDir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
