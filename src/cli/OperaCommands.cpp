#include "cli/OperaCommands.h"

#include "cli/TextTable.h"
#include "formats/O4CookieView.h"
#include "session/HostFiles.h"
#include "session/TerminalText.h"

#include <algorithm>
#include <memory>
#include <ostream>

namespace quillon::cli {

namespace {

// Deeper tree levels are not indented further, but carry their level: indenting a chain of a
// million domains would print a million spaces per line.
constexpr int kMaxIndentLevel = 32;

void PrintTree(const TO4CookieRoot& root, std::ostream& out) {
  std::string buffer;
  VisitO4CookieTree(root, [&](int level, std::string_view text) {
    buffer.append(static_cast<std::size_t>(2 * std::min(level, kMaxIndentLevel)), ' ');
    if (level > kMaxIndentLevel)
      buffer += "(level " + std::to_string(level) + ") ";
    buffer += TerminalText(text);
    buffer += '\n';
    if (buffer.size() >= 64 * 1024) {
      out << buffer;
      buffer.clear();
    }
  });
  out << buffer;
}

// Reads a file the user named; nullptr after writing why it could not be read on err.
template <class TRoot>
std::unique_ptr<TRoot> ReadRoot(const THostFiles& hostFiles, const std::string& hostPath,
                                std::ostream& err) {
  const std::string path = hostFiles.WindowsPath(hostPath);
  if (path.empty()) {
    err << "quillon-cli: cannot use the path " << TerminalText(hostPath) << '\n';
    return nullptr;
  }
  try {
    return std::make_unique<TRoot>(path);
  } catch (const std::exception& e) {
    err << "quillon-cli: " << TerminalText(hostFiles.HostTerms(e.what(), path, hostPath)) << '\n';
    return nullptr;
  }
}

// The line on err for a file that was not read whole; answers the exit code.
int Finish(bool valid, const TO4LoadStop& stop, std::string_view kind, const std::string& hostPath,
           std::ostream& out, std::ostream& err) {
  const std::string message = O4LoadMessage(valid, stop, kind);
  if (message.empty())
    return 0;
  out.flush();
  err << "quillon-cli: " << TerminalText(hostPath + ": " + message) << '\n';
  return 1;
}

} // namespace

int PrintOperaCookies(const std::string& hostPath, bool aligned, std::ostream& out,
                      std::ostream& err) {
  // The dates are converted with the host's zone and locale, as the file is the host's.
  const THostFiles hostFiles;
  const auto root = ReadRoot<TO4CookieRoot>(hostFiles, hostPath, err);
  if (!root)
    return 1;
  PrintTree(*root, out);
  out << '\n';
  const std::vector<const TO4Cookie*> cookies = O4CookieRows(*root);
  const auto& columns = O4CookieColumns();
  const TFormatSettings& settings = FormatSettings();
  PrintRows(out, aligned, cookies.size() + 1,
            [&](std::size_t row, std::vector<std::string>& cells) {
              for (int c = 0; c < kO4CookieColumnCount; ++c)
                cells.push_back(row == 0 ? std::string(columns[static_cast<std::size_t>(c)].Caption)
                                         : O4CookieCellText(*cookies[row - 1], c, settings));
            });
  return Finish(root->Valid, root->LoadStop, "cookie file", hostPath, out, err);
}

int PrintOperaCache(const std::string& hostPath, bool aligned, std::ostream& out,
                    std::ostream& err) {
  // The dates are converted with the host's zone and locale, as the file is the host's.
  const THostFiles hostFiles;
  const auto root = ReadRoot<TO4CacheRoot>(hostFiles, hostPath, err);
  if (!root)
    return 1;
  const auto entries = root->Entries();
  const auto& columns = O4CookieColumns();
  const TFormatSettings& settings = FormatSettings();
  PrintRows(out, aligned, entries.size() + 1,
            [&](std::size_t row, std::vector<std::string>& cells) {
              for (int c = 0; c < kO4CacheColumnCount; ++c)
                cells.push_back(row == 0 ? std::string(columns[static_cast<std::size_t>(c)].Caption)
                                         : O4CacheCellText(*entries[row - 1], c, settings));
            });
  return Finish(root->Valid, root->LoadStop, "cache index", hostPath, out, err);
}

} // namespace quillon::cli
