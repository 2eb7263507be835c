#include "platform/PathSolve.h"

#include "platform/Registry.h"
#include "winapi/CaseFold.h"

#include <algorithm>

namespace quillon {

using namespace winapi;

namespace {

// Placeholder names and values are paths and path parts: they compare as Windows compares names.
bool SameText(const std::string& a, const std::string& b) {
  return SameName(a, b);
}

bool LessText(const std::string& a, const std::string& b) {
  return CompareNames(a, b) < 0;
}

// Replaces every occurrence of `from`, matched without regard to case, by `to`.
std::string ReplaceAllIgnoreCase(const std::string& text, const std::string& from,
                                 const std::string& to) {
  if (from.empty())
    return text;
  // Folding keeps each character's length, so positions in the folded text are the text's.
  const std::string foldedText = FoldedName(text);
  const std::string foldedFrom = FoldedName(from);
  std::string result;
  std::size_t start = 0;
  for (auto pos = foldedText.find(foldedFrom); pos != std::string::npos;
       pos = foldedText.find(foldedFrom, start)) {
    result.append(text, start, pos - start);
    result += to;
    start = pos + from.size();
  }
  result.append(text, start);
  return result;
}

// Both process-wide tables in one owner; the value sets go before the placeholder table at exit.
struct TPathTables {
  TPathPlaceholders Placeholders;
  TPathPlaceholderValues Values;
};

TPathTables& Tables() {
  static TPathTables tables;
  return tables;
}

// Each expansion step replaces one placeholder occurrence; legitimate patterns need a handful.
// The bound stops a value that contains a placeholder name from expanding without end.
constexpr int kMaxExpansionSteps = 1000;

} // namespace

// --- TPathPlaceholders ---------------------------------------------------------------------------

std::ptrdiff_t TPathPlaceholders::IndexOfName(const std::string& name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (SameText(lines_[i].Name, name))
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

std::string TPathPlaceholders::Value(const std::string& name) const {
  const auto i = IndexOfName(name);
  return i < 0 ? std::string() : lines_[i].Value;
}

void TPathPlaceholders::SetValue(const std::string& name, const std::string& value) {
  const auto i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0)
      lines_.erase(lines_.begin() + i);
  } else if (i >= 0) {
    lines_[i].Value = value;
  } else {
    Append(name, value);
  }
}

void TPathPlaceholders::Append(const std::string& name, const std::string& value) {
  lines_.push_back({name, value});
}

// --- Value sets ----------------------------------------------------------------------------------

void TPlaceholderValueSet::Add(const std::string& value) {
  const auto pos = std::lower_bound(values_.begin(), values_.end(), value, LessText);
  if (pos != values_.end() && SameText(*pos, value))
    return;
  values_.insert(pos, value);
}

TPlaceholderValueSet& TPathPlaceholderValues::SetOf(const std::string& name) {
  for (TEntry& entry : entries_)
    if (SameText(entry.Name, name))
      return entry.Values;
  entries_.push_back({name, {}});
  return entries_.back().Values;
}

// --- Tables --------------------------------------------------------------------------------------

const std::array<TPathSolveConfig, 2> PathSolveConfigs = {{
    {CSIDL_PROGRAM_FILES, "PROGRAMFILES"},
    {CSIDL_LOCAL_APPDATA, "LOCALAPPDATA"},
}};

const std::array<TPathRegistryUpdaterRecord, 2> PathRegistryUpdaters = {{
    {"<$PROGRAMFILES>", HKEY_LOCAL_MACHINE, "Microsoft\\Windows\\CurrentVersion\\",
     "ProgramFilesDir", false, false, true, "", ""},
    {"<$LOCALAPPDATA>", HKEY_CURRENT_USER,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", "Local AppData",
     true, true, false, "", ""},
}};

const TPathPlaceholders& PathPlaceholders() {
  return Tables().Placeholders;
}
const TPathPlaceholderValues& PathPlaceholderValues() {
  return Tables().Values;
}

void ResetPathPlaceholders() {
  Tables().Values.Clear();
  Tables().Placeholders.Clear();
}

void InitPathPlaceholders() {
  ResetPathPlaceholders();
  TPathTables& tables = Tables();
  // Lines of view 64 stay ahead of those of view 32, so lookups see view 64 first while the value
  // sets collect the folders of both views.
  BuildPathPlaceholders(tables.Placeholders, 64);
  BuildPlaceholderValueSets(tables.Placeholders, tables.Values);
  BuildPathPlaceholders(tables.Placeholders, 32);
  BuildPlaceholderValueSets(tables.Placeholders, tables.Values);
}

void BuildPathPlaceholders(TPathPlaceholders& table, int view) {
  for (const TPathSolveConfig& row : PathSolveConfigs) {
    try {
      table.Append(std::string("<$") + row.Name + ">",
                   NormalizePath(GetSpecialFolderPath(row.CSIDL)));
    } catch (const std::exception&) {
      // A folder that cannot be had leaves its row out.
    }
  }
  std::string softwareBase = "Software\\";
  if (view == 32 && RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Wow6432Node\\", 0))
    softwareBase = "Software\\Wow6432Node\\";
  for (const TPathRegistryUpdaterRecord& row : PathRegistryUpdaters) {
    if (row.OnlyView32 && view != 32)
      continue;
    const std::string keyPath =
        std::string("\\") + (row.Absolute ? "" : softwareBase.c_str()) + row.Key;
    UpdatePlaceholderFromRegistry(table, row.Placeholder, row.RootKey, row.CutMarker, row.Suffix,
                                  row.Overwrite, view, row.ValueName, keyPath);
  }
}

void UpdatePlaceholderFromRegistry(TPathPlaceholders& table, const std::string& name, HKEY root,
                                   const std::string& cutMarker, const std::string& suffix,
                                   bool overwrite, int view, const std::string& valueName,
                                   const std::string& keyPath) {
  if (!table.Value(name).empty() && !overwrite)
    return;
  std::string value;
  try {
    if (!RegReadString(root, keyPath, valueName, view, value))
      return;
  } catch (const ERegistryException&) {
    return; // an unreadable value counts as a failed read
  }
  if (!cutMarker.empty()) {
    const auto pos = value.find(cutMarker);
    if (pos != std::string::npos) {
      value.resize(pos);
      if (!value.empty() && value.back() == '\\')
        value.pop_back();
    }
  }
  table.SetValue(name, NormalizePath(value + suffix));
}

void BuildPlaceholderValueSets(const TPathPlaceholders& table, TPathPlaceholderValues& values) {
  for (const TPathPlaceholders::TLine& line : table.Lines()) {
    TPlaceholderValueSet& set = values.SetOf(line.Name);
    if (!line.Value.empty())
      set.Add(line.Value);
  }
}

// --- Expansion -----------------------------------------------------------------------------------

std::string SolvePath(const std::string& pattern) {
  return SolvePath(pattern, PathPlaceholders());
}

std::string SolvePath(const std::string& pattern, const TPathPlaceholders& table) {
  std::string text = pattern;
  const auto& lines = table.Lines();
  // A name also known with a value: an empty line of a view that did not know the folder must not
  // hide it.
  const auto knownElsewhere = [&lines](const TPathPlaceholders::TLine& line) {
    return std::any_of(lines.begin(), lines.end(), [&line](const TPathPlaceholders::TLine& l) {
      return !l.Value.empty() && SameText(l.Name, line.Name);
    });
  };
  // From the end: the line appended last for a name wins, earlier ones no longer match.
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    if (line->Name.empty() || text.find(line->Name) == std::string::npos)
      continue;
    if (line->Value.empty() && knownElsewhere(*line))
      continue;
    text = ReplaceAllIgnoreCase(text, line->Name, line->Value);
  }
  return text;
}

void SolvePathVariants(const std::string& pattern, std::vector<std::string>& results) {
  SolvePathVariants(pattern, results, PathPlaceholderValues());
}

void SolvePathVariants(const std::string& pattern, std::vector<std::string>& results,
                       const TPathPlaceholderValues& values) {
  results.push_back(pattern);
  // The first known name, in the order of the value sets, that occurs in a line.
  const auto firstPlaceholder =
      [&values](const std::string& line,
                std::size_t& pos) -> const TPathPlaceholderValues::TEntry* {
    for (const auto& entry : values.Entries()) {
      if (entry.Name.empty())
        continue;
      pos = line.find(entry.Name);
      if (pos != std::string::npos)
        return &entry;
    }
    return nullptr;
  };
  for (int step = 0; step < kMaxExpansionSteps; ++step) {
    bool expanded = false;
    for (std::size_t i = results.size(); i-- > 0;) {
      std::size_t pos = 0;
      const auto* entry = firstPlaceholder(results[i], pos);
      if (!entry)
        continue;
      const std::string line = results[i];
      const auto close = line.find('>', pos);
      const std::size_t length = close == std::string::npos ? line.size() - pos : close - pos + 1;
      results.erase(results.begin() + static_cast<std::ptrdiff_t>(i));
      for (const std::string& value : entry->Values.Values())
        results.push_back(line.substr(0, pos) + value + line.substr(pos + length));
      expanded = true;
      break;
    }
    if (!expanded)
      return;
  }
}

// --- Special folders -----------------------------------------------------------------------------

std::string GetShellFolderPath(int csidl) {
  try {
    std::string path;
    if (!SHGetSpecialFolderPath(csidl, path))
      return {};
    return path;
  } catch (...) {
    return {};
  }
}

std::string GetSpecialFolderPath(int csidl) {
  std::string path = GetShellFolderPath(csidl);
  if (!path.empty())
    return path;
  HKEY root = 0;
  std::string keyPath, valueName;
  switch (csidl) {
  case CSIDL_FAVORITES:
    root = HKEY_CURRENT_USER;
    keyPath = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
    valueName = "Favorites";
    break;
  case CSIDL_PROGRAM_FILES:
    root = HKEY_LOCAL_MACHINE;
    keyPath = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    valueName = "ProgramFilesDir";
    break;
  default:
    return {};
  }
  try {
    if (RegReadString(root, keyPath, valueName, 32, path))
      return path;
  } catch (const ERegistryException&) {
    // an unreadable fallback is no folder
  }
  return {};
}

std::string NormalizePath(const std::string& path) {
  std::string result;
  result.reserve(path.size());
  for (const char c : path)
    if (c != '\\' || result.empty() || result.back() != '\\')
      result += c;
  if (!result.empty() && result.back() == '\\')
    result.pop_back();
  return result;
}

} // namespace quillon
