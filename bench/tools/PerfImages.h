#pragma once
// The demo image with one of its stores replaced by a large one, for measuring quillon-cli end to
// end (scripts/perf.sh) and in process (bench/CliShowBench.cpp):
//
//   cookies  alice's Firefox cookies.sqlite: 200,000 cookies (about 17 MB)
//   visits   alice's Chrome History: 600,000 visits of 100,000 pages (about 55 MB)
//   mork     bob's Firefox history.dat: a long-used Mork history of about 97 MB

#include "kit/SQLiteStoreWriter.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillon::bench {

// The 200,000 cookies of the cookies image (SQLiteBench reads them too).
std::vector<kit::TFirefoxCookieRow> LargeCookieRows();

// Writes the image into root (a host folder, replaced) and answers the large store's host path.
// Raises std::invalid_argument for another kind.
std::string WritePerfImage(std::string_view kind, const std::string& root);

} // namespace quillon::bench
