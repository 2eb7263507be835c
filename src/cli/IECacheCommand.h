#pragma once
// `quillon-cli ie-cache [--sort COLUMN]`: the session user's URL cache with the columns of the
// cache window, in the cache's order or sorted by one column as a click on its header sorts it.

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon::cli {

// The column the arguments sort by, -1 for none. Anything but "--sort COLUMN" (or
// "--sort=COLUMN") with one of the columns' names raises ECliUsage.
int ParseIECacheArgs(const std::vector<std::string>& args);

// Prints the URL cache of the backend in use. A walk that ended early prints what was read, then
// one line on err saying why, and answers 1; otherwise 0.
int PrintIECache(int sortColumn, bool aligned, std::ostream& out, std::ostream& err);

} // namespace quillon::cli
