#pragma once
// A read-only INI file as the Mozilla family writes "profiles.ini": sections in file order,
// "key=value" lines, names compared without regard to case (the first of two equal names wins),
// lines starting with ";" or "#" ignored. The file is read once, when the object is made.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon {

class TIniFile {
public:
  // A file that is missing or cannot be read gives an empty INI file; one larger than
  // kIniFileLimit raises EFileTooLarge.
  explicit TIniFile(const std::string& fileName);

  // Section names in the order the file lists them.
  std::vector<std::string> ReadSections() const;
  // The value of a key; def when the section or key is missing.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // The value as a decimal (or "0x" hexadecimal) integer; def when missing or not a number.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;

private:
  // Names and values are places in the file's text, which the object keeps: a file of short
  // lines costs a few bytes per line, not a string each.
  struct TSpan {
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
  };
  struct TSection {
    TSpan Name;
    std::vector<std::pair<TSpan, TSpan>> Values;
  };
  const TSection* FindSection(const std::string& name) const;
  std::string_view Text(TSpan span) const {
    return std::string_view(data_).substr(span.Offset, span.Size);
  }

  std::string data_;
  std::vector<TSection> sections_;
  std::unordered_map<std::string, std::size_t> index_; // upper-cased name -> position
};

} // namespace quillon
