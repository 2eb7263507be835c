#include "cli/Cli.h"

#include <ostream>

namespace quillon::cli {

int RunCli(int, char**, std::ostream&, std::ostream& err) {
  err << "quillon-cli: not built yet\n";
  return 2;
}

} // namespace quillon::cli
