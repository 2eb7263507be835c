#include "cli/MorkCommand.h"

#include "cli/CliOptions.h"
#include "cli/TextTable.h"
#include "formats/MorkView.h"
#include "session/HostFiles.h"
#include "session/TerminalText.h"

#include <ostream>

namespace quillon::cli {

namespace {

constexpr const char* kUsage =
    "usage: quillon-cli [options] mork FILE [raw|fields|data|table|result]";

void PrintLines(const TTextList& list, std::ostream& out) {
  PrintRows(out, false, list.size(), [&](std::size_t row, std::vector<std::string>& cells) {
    cells.emplace_back(list[row]);
  });
}

// The header, then one row per entry in the order of their ids.
void PrintDictionary(const TTextList& list, std::string_view textCaption, bool aligned,
                     std::ostream& out) {
  const std::vector<std::uint32_t> order = MorkIdOrder(list);
  PrintRows(out, aligned, order.size() + 1, [&](std::size_t row, std::vector<std::string>& cells) {
    if (row == 0) {
      cells.emplace_back(kMorkIdCaption);
      cells.emplace_back(textCaption);
      return;
    }
    const TMorkEntry entry = MorkEntry(list[order[row - 1]]);
    cells.emplace_back(entry.Id);
    cells.emplace_back(entry.Text);
  });
}

void PrintResult(const TMorkResult& result, bool aligned, std::ostream& out) {
  std::vector<std::string_view> views;
  std::string scratch;
  PrintRows(out, aligned, result.RowCount() + 1,
            [&](std::size_t row, std::vector<std::string>& cells) {
              if (row == 0) {
                for (std::size_t c = 0; c < result.ColumnCount(); ++c)
                  cells.emplace_back(result.Caption(c));
                return;
              }
              result.RowCells(row - 1, views, scratch);
              for (const std::string_view cell : views)
                cells.emplace_back(cell);
            });
}

} // namespace

TMorkView ParseMorkArgs(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2)
    throw ECliUsage{kUsage};
  if (args.size() == 1)
    return TMorkView::Result;
  const std::optional<TMorkView> view = MorkViewNamed(args[1]);
  if (!view)
    throw ECliUsage{"unknown view '" + args[1] +
                    "' for mork: expected raw, fields, data, table or result"};
  return *view;
}

int PrintMork(const std::string& hostPath, TMorkView view, bool aligned, std::ostream& out,
              std::ostream& err) {
  const THostFiles hostFiles;
  const std::string path = hostFiles.WindowsPath(hostPath);
  if (path.empty()) {
    err << "quillon-cli: cannot use the path " << TerminalText(hostPath) << '\n';
    return 1;
  }
  TMorkFile mork;
  // Only the lists are shown; the raw list is a second copy of every cell, kept only to show it.
  mork.KeepBuffer = false;
  mork.KeepRawList = view == TMorkView::Raw;
  try {
    mork.LoadFromFile(path);
  } catch (const std::exception& e) {
    err << "quillon-cli: " << TerminalText(hostFiles.HostTerms(e.what(), path, hostPath)) << '\n';
    return 1;
  }
  switch (view) {
  case TMorkView::Raw:
    PrintLines(mork.RawList(), out);
    return 0;
  case TMorkView::Fields:
    PrintDictionary(mork.FieldList(), kMorkFieldCaption, aligned, out);
    return 0;
  case TMorkView::Data:
    PrintDictionary(mork.DataList(), kMorkDataCaption, aligned, out);
    return 0;
  case TMorkView::Table:
    PrintLines(mork.TableList(), out);
    return 0;
  case TMorkView::Result:
    break;
  }
  const TMorkResult result(mork);
  PrintResult(result, aligned, out);
  const std::string message = MorkLeftOffMessage(result);
  if (message.empty())
    return 0;
  out.flush();
  err << "quillon-cli: " << TerminalText(hostPath + ": " + message) << '\n';
  return 1;
}

} // namespace quillon::cli
