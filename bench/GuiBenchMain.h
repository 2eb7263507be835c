#pragma once
// The main of a benchmark program that opens windows: include it in one file of the program.
// The application lives in main, not in a static: destroyed at exit after Qt's own statics, it
// crashes.

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
