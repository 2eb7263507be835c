#pragma once
// `quillon-cli mork FILE [raw|fields|data|table|result]`: one view of a Mork file with the texts
// of the Mork viewer's tab of that name. FILE is a host file: the user named it.

#include "formats/MorkView.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon::cli {

// The view named by the command's arguments FILE [VIEW]: result when none is named; ECliUsage
// for another name or another number of arguments.
TMorkView ParseMorkArgs(const std::vector<std::string>& args);

// Prints the view: raw and table one list line per line; fields, data and result as rows under
// the viewer's column captions. A file that cannot be read gives a line on err and answers 1; a
// result that leaves columns off prints the rest, then says so on err and answers 1.
int PrintMork(const std::string& hostPath, TMorkView view, bool aligned, std::ostream& out,
              std::ostream& err);

} // namespace quillon::cli
