// The Opera cookie window on a file of half a million cookies: reading the file alone, and
// opening it in the window until the first rows and the tree are painted (offscreen). The
// difference is what the window adds; it must not grow with the rows it does not show. (A file
// of a million cookies of this shape is more than the reader accepts.)

#include "formats/O4Cookie.h"
#include "kit/TempDir.h"
#include "session/HostFiles.h"
#include "ui/FormUnitO4.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using namespace quillon;

// cookies cookies, ten to a domain, each domain below one of 100 top-level ones.
const std::string& CookieFile(int cookies) {
  static kit::TTempDir dir;
  static std::string path;
  if (path.empty()) {
    TO4CookieRoot root;
    root.Format = 1;
    for (int t = 0; t < 100; ++t)
      root.AddDomain().Name = "tld" + std::to_string(t);
    for (int d = 0; d * 10 < cookies; ++d) {
      TO4Domain& site = root.Domains()[static_cast<std::size_t>(d % 100)]->AddDomain();
      site.Name = "site" + std::to_string(d);
      site.AddPath("/");
      for (int c = 0; c < 10; ++c) {
        TO4Cookie& cookie = site.AddCookie();
        cookie.Name = "name" + std::to_string(c);
        // Values long enough that a million of them stay within what a file may cost to read.
        cookie.Value = std::string(215, 'v');
        cookie.Expires = 1'700'000'000 + static_cast<std::uint64_t>(d);
      }
    }
    path = dir.Path() + "/cookies4.dat";
    std::ofstream(path, std::ios::binary) << root.SaveToBytes();
  }
  return path;
}

void BM_ReadCookieFile(benchmark::State& state) {
  const std::string& path = CookieFile(static_cast<int>(state.range(0)));
  const THostFiles host;
  for (auto _ : state)
    benchmark::DoNotOptimize(TO4CookieRoot(host.WindowsPath(path)).DomainCount());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadCookieFile)->Arg(500'000)->Unit(benchmark::kMillisecond);

void BM_WindowOpensCookieFile(benchmark::State& state) {
  const QString path = QString::fromStdString(CookieFile(static_cast<int>(state.range(0))));
  TformO4 form;
  form.show();
  QApplication::processEvents();
  for (auto _ : state) {
    form.OpenCookieFile(path);
    form.repaint(); // the visible rows and tree nodes are asked for their texts here
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WindowOpensCookieFile)->Arg(500'000)->Unit(benchmark::kMillisecond);

} // namespace

#include "GuiBenchMain.h"
