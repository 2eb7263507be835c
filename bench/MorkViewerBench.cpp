// The Mork viewer on a generated history.dat of about 100 MB (some 400,000 pages, the size a
// long-used Mozilla profile reaches): reading it alone, opening it in the window until the tab
// shown first is painted (offscreen), painting each of the five tabs, and `quillon-cli mork FILE`
// (the result view) in process with its output thrown away. The window's share is the difference
// to the read; it must not grow with the rows it does not show.

#include "BenchMemory.h"
#include "NullBuffer.h"
#include "cli/MorkCommand.h"
#include "formats/FFMorkSimple.h"
#include "formats/MorkView.h"
#include "kit/MorkWriter.h"
#include "kit/TempDir.h"
#include "session/HostFiles.h"
#include "ui/FormUnitMork.h"

#include <QApplication>
#include <QTabWidget>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

namespace {

using namespace quillon;

constexpr std::size_t kTargetBytes = 100u << 20;

// Written once per run into a temporary folder.
const std::string& HistoryFile() {
  static kit::TTempDir dir;
  static const std::string path = [] {
    const std::string file = dir.Path() + "/history.dat";
    std::ofstream(file, std::ios::binary) << kit::BuildLongUsedHistoryDat(kTargetBytes);
    return file;
  }();
  return path;
}

void BM_MorkReadHistory(benchmark::State& state) {
  const std::string& path = HistoryFile();
  const THostFiles host;
  const std::string windowsPath = host.WindowsPath(path);
  std::size_t rows = 0;
  for (auto _ : state) {
    TMorkFile mork;
    mork.KeepBuffer = false;
    mork.LoadFromFile(windowsPath);
    rows = mork.RowCount();
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_MorkReadHistory)->Unit(benchmark::kMillisecond)->Iterations(3);

// The order of the value dictionary's entries by id, which each read makes once.
void BM_MorkIdOrder(benchmark::State& state) {
  const THostFiles host;
  TMorkFile mork;
  mork.LoadFromFile(host.WindowsPath(HistoryFile()));
  for (auto _ : state)
    benchmark::DoNotOptimize(MorkIdOrder(mork.DataList()).data());
  state.counters["entries"] = static_cast<double>(mork.DataList().size());
}
BENCHMARK(BM_MorkIdOrder)->Unit(benchmark::kMillisecond);

// Read, every model set up, and the "Table" tab painted.
void BM_MorkWindowOpensHistory(benchmark::State& state) {
  const QString path = QString::fromStdString(HistoryFile());
  TformMork form;
  form.SetFileChooser([](QWidget*, const QString&) { return QString(); });
  form.show();
  QApplication::processEvents();
  for (auto _ : state) {
    form.ReadFile(path);
    form.repaint(); // the visible rows are asked for their texts here
    QApplication::processEvents();
  }
}
BENCHMARK(BM_MorkWindowOpensHistory)->Unit(benchmark::kMillisecond)->Iterations(3);

// The peak memory of a second read, as a multiple of the file: the first file's lists stay until
// the second is read, so that a file that cannot be read leaves the tabs as they were. Measured
// apart, as resetting the peak costs time of its own.
void BM_MorkWindowPeakMemory(benchmark::State& state) {
  const QString path = QString::fromStdString(HistoryFile());
  TformMork form;
  form.ReadFile(path);
  std::size_t peak = 0;
  for (auto _ : state)
    peak = bench::PeakGrowth([&] { form.ReadFile(path); });
  state.counters["peak_x_file"] =
      static_cast<double>(peak) / static_cast<double>(std::filesystem::file_size(HistoryFile()));
}
BENCHMARK(BM_MorkWindowPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// Switching to each tab in turn and painting it, the history already read.
void BM_MorkWindowPaintsEachTab(benchmark::State& state) {
  TformMork form;
  form.SetFileChooser([](QWidget*, const QString&) { return QString(); });
  form.show();
  QApplication::processEvents();
  form.ReadFile(QString::fromStdString(HistoryFile()));
  auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  for (auto _ : state) {
    for (int tab = 0; tab < pages->count(); ++tab) {
      pages->setCurrentIndex(tab);
      form.repaint();
      QApplication::processEvents();
    }
  }
}
BENCHMARK(BM_MorkWindowPaintsEachTab)->Unit(benchmark::kMillisecond);

void BM_MorkCliResult(benchmark::State& state) {
  const std::string& path = HistoryFile();
  TNullBuffer sink;
  std::ostream out(&sink);
  std::ostringstream err;
  for (auto _ : state) {
    sink.Bytes = 0;
    if (cli::PrintMork(path, TMorkView::Result, false, out, err) != 0)
      state.SkipWithError(err.str().c_str());
  }
  state.counters["MB_out"] = static_cast<double>(sink.Bytes) / (1 << 20);
}
BENCHMARK(BM_MorkCliResult)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

#include "GuiBenchMain.h"
