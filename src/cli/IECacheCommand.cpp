#include "cli/IECacheCommand.h"

#include "cli/CliOptions.h"
#include "cli/TextTable.h"
#include "formats/BrowserCacheIE.h"
#include "session/TerminalText.h"

#include <ostream>

namespace quillon::cli {

namespace {

std::string ColumnNames() {
  std::string names;
  for (const TIECacheColumn& column : IECacheColumns())
    names += (names.empty() ? "" : ", ") + std::string(column.Name);
  return names;
}

int SortColumn(const std::string& name) {
  const int column = IECacheColumnByName(name);
  if (column < 0)
    throw ECliUsage{"unknown column '" + name + "' for --sort: expected one of " + ColumnNames()};
  return column;
}

} // namespace

int ParseIECacheArgs(const std::vector<std::string>& args) {
  constexpr std::string_view kSortIs = "--sort=";
  int column = -1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--sort") {
      if (i + 1 >= args.size())
        throw ECliUsage{"option --sort needs a column: one of " + ColumnNames()};
      column = SortColumn(args[++i]);
    } else if (arg.starts_with(kSortIs)) {
      column = SortColumn(arg.substr(kSortIs.size()));
    } else {
      throw ECliUsage{"usage: quillon-cli [options] ie-cache [--sort COLUMN]"};
    }
  }
  return column;
}

int PrintIECache(int sortColumn, bool aligned, std::ostream& out, std::ostream& err) {
  TIECacheList list;
  list.LoadFromUrlCache();
  list.SortByColumn(sortColumn);
  const auto& columns = IECacheColumns();
  const TFormatSettings& settings = FormatSettings();
  // Rows are made as they are printed: a cache of a million entries is not held again as text.
  PrintRows(out, aligned, static_cast<std::size_t>(list.Count()) + 1,
            [&](std::size_t row, std::vector<std::string>& cells) {
              for (int c = 0; c < kIECacheColumnCount; ++c)
                cells.push_back(
                    row == 0 ? std::string(columns[static_cast<std::size_t>(c)].Caption)
                             : IECacheCellText(list.Items(static_cast<int>(row - 1)), c, settings));
            });
  const std::string message = IECacheLoadMessage(list);
  if (message.empty())
    return 0;
  out.flush();
  err << "quillon-cli: " << TerminalText(message) << '\n';
  return 1;
}

} // namespace quillon::cli
