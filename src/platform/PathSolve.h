#pragma once
// Path placeholders: discovery writes patterns such as "<$LOCALAPPDATA>\Google\Chrome\" and has
// them expanded against tables built once at start-up from the shell's special folders and the
// registry. A placeholder can stand for several folders (the Program Files folders of both
// registry views), so there are two expansions: SolvePath gives one path, SolvePathVariants every
// combination of the known values.
//
// A placeholder name is "<$", upper-case letters and digits, and ">". The tables compare names
// without regard to case; patterns are searched for them case-sensitively.

#include "winapi/WinApi.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// An ordered list of "name=value" lines with the rules of a name/value string list. Several lines
// may share a name; lookups and updates see the first of them.
class TPathPlaceholders {
public:
  struct TLine {
    std::string Name;
    std::string Value;
  };

  // The value of the first line with that name, or "".
  std::string Value(const std::string& name) const;
  // Rewrites the first line with that name or appends one; an empty value deletes the first line.
  void SetValue(const std::string& name, const std::string& value);
  // Always adds a line at the end, also for a present name or an empty value.
  void Append(const std::string& name, const std::string& value);
  const std::vector<TLine>& Lines() const { return lines_; }
  void Clear() { lines_.clear(); }

private:
  std::ptrdiff_t IndexOfName(const std::string& name) const;

  std::vector<TLine> lines_;
};

// Values kept in ascending order without regard to case; a value already held (in any case) is
// ignored.
class TPlaceholderValueSet {
public:
  void Add(const std::string& value);
  const std::vector<std::string>& Values() const { return values_; }

private:
  std::vector<std::string> values_;
};

// Placeholder names in the order they were first added, each with its set of values.
class TPathPlaceholderValues {
public:
  struct TEntry {
    std::string Name;
    TPlaceholderValueSet Values;
  };

  // The set of a name (without regard to case), added at the end when missing.
  TPlaceholderValueSet& SetOf(const std::string& name);
  const std::vector<TEntry>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }

private:
  std::vector<TEntry> entries_;
};

// One row of the special-folder table.
struct TPathSolveConfig {
  std::int32_t CSIDL;
  const char* Name; // without "<$" and ">"
};

// One row of the registry table.
struct TPathRegistryUpdaterRecord {
  const char* Placeholder; // with "<$" and ">"
  winapi::HKEY RootKey;
  const char* Key; // ends in "\"
  const char* ValueName;
  bool OnlyView32;
  bool Absolute;  // the key is used as it stands, without the software base in front
  bool Overwrite; // replaces a value the placeholder has; otherwise only fills an empty one
  const char* Suffix;
  const char* CutMarker; // the value is cut before its first occurrence
};

extern const std::array<TPathSolveConfig, 2> PathSolveConfigs;
extern const std::array<TPathRegistryUpdaterRecord, 2> PathRegistryUpdaters;

// The process-wide tables, built by InitPathPlaceholders and read-only afterwards.
const TPathPlaceholders& PathPlaceholders();
const TPathPlaceholderValues& PathPlaceholderValues();
// Builds both tables from the shell and the registry: view 64, then view 32. Runs once at start.
void InitPathPlaceholders();
// Empties both tables.
void ResetPathPlaceholders();

// Appends the lines one registry view gives to the table.
void BuildPathPlaceholders(TPathPlaceholders& table, int view);
// Adds every line of the table to the value sets. Empty values are left out, so that no expansion
// yields a path with a missing folder; the placeholder's name is known all the same.
void BuildPlaceholderValueSets(const TPathPlaceholders& table, TPathPlaceholderValues& values);
// Sets a placeholder from a registry string value; a failing read leaves it unchanged.
void UpdatePlaceholderFromRegistry(TPathPlaceholders& table, const std::string& name,
                                   winapi::HKEY root, const std::string& cutMarker,
                                   const std::string& suffix, bool overwrite, int view,
                                   const std::string& valueName, const std::string& keyPath);

// One expansion: the value appended last for each name, where an empty value only counts when the
// name has no other. Names not in the table stay; the result is not normalised.
std::string SolvePath(const std::string& pattern);
std::string SolvePath(const std::string& pattern, const TPathPlaceholders& table);
// Appends the pattern to results and expands it into every combination of the known values.
void SolvePathVariants(const std::string& pattern, std::vector<std::string>& results);
void SolvePathVariants(const std::string& pattern, std::vector<std::string>& results,
                       const TPathPlaceholderValues& values);

// The shell's special folder, else a registry fallback (favourites, Program Files); "" if none.
std::string GetSpecialFolderPath(int csidl);
// The shell's special folder alone; "" on any failure.
std::string GetShellFolderPath(int csidl);
// Collapses every run of backslashes to one and removes one trailing backslash.
std::string NormalizePath(const std::string& path);

} // namespace quillon
