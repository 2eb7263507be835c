// The window tests need one QApplication for the whole run; it is made here, before the tests.

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // Also when the tests are listed at build time, where ctest's environment does not apply.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
