#include "formats/IniFile.h"

#include "formats/StoreLimits.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string_view>

namespace quillon {

namespace {

std::string_view Trim(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back()))
    text.remove_suffix(1);
  return text;
}

// Section names as the index holds them: compared without regard to case.
std::string Folded(std::string_view name) {
  return UpperCaseAscii(name);
}

} // namespace

TIniFile::TIniFile(const std::string& fileName) {
  CheckStoreSize(fileName, kIniFileLimit, "an INI file");
  if (!winapi::ReadWholeFile(fileName, data_))
    return;
  const std::string_view all(data_);
  const auto span = [&](std::string_view part) {
    return TSpan{static_cast<std::uint32_t>(part.data() - all.data()),
                 static_cast<std::uint32_t>(part.size())};
  };
  std::string_view rest(all);
  // Editors on Windows like to put a byte order mark in front.
  if (rest.substr(0, 3) == "\xEF\xBB\xBF")
    rest.remove_prefix(3);
  // Sections are found through an index: a file with many sections must not cost a search of
  // all earlier ones per header.
  TSection* current = nullptr;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = Trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#')
      continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name =
          Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      const auto [it, added] = index_.try_emplace(Folded(name), sections_.size());
      if (added)
        sections_.push_back(TSection{span(name), {}});
      current = &sections_[it->second];
      continue;
    }
    const std::size_t equals = line.find('=');
    if (current == nullptr || equals == std::string_view::npos)
      continue;
    current->Values.emplace_back(span(Trim(line.substr(0, equals))),
                                 span(Trim(line.substr(equals + 1))));
  }
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const TSection& section : sections_)
    names.emplace_back(Text(section.Name));
  return names;
}

const TIniFile::TSection* TIniFile::FindSection(const std::string& name) const {
  const auto it = index_.find(Folded(name));
  return it == index_.end() ? nullptr : &sections_[it->second];
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  const TSection* found = FindSection(section);
  if (found == nullptr)
    return def;
  for (const auto& [name, value] : found->Values)
    if (SameTextAscii(Text(name), key))
      return std::string(Text(value));
  return def;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  const std::string text = ReadString(section, key, "");
  std::string_view digits(text);
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  // The magnitude is read unsigned, so that a second sign ("--1") is no number and negating it
  // cannot overflow ("--2147483648" once did); -2147483648 itself is a number.
  std::uint32_t magnitude = 0;
  const auto [ptr, ec] =
      std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
  if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size())
    return def;
  const std::int64_t value = negative ? -std::int64_t{magnitude} : std::int64_t{magnitude};
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    return def;
  return static_cast<int>(value);
}

} // namespace quillon
