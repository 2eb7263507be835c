#include "formats/IniValueWriter.h"

#include "platform/TextLines.h"
#include "winapi/TextCase.h"

#include <cstddef>

namespace quillon {

namespace {

bool IsIniSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsIniSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsIniSpace(text.back()))
    text.remove_suffix(1);
  return text;
}

} // namespace

TIniValueWrite WriteIniValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
  for (const std::string_view part : {section, key, value})
    if (part.find_first_of("\r\n") != std::string_view::npos)
      throw EIniValueError("a line break cannot be written into an INI file");
  if (section.find(']') != std::string_view::npos)
    throw EIniValueError("\"]\" cannot be part of a section name");

  // Lines end at LF, as TIniFile reads them; a CR before it belongs to the line's break.
  std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  bool inSection = false;
  std::size_t insertAt = std::string_view::npos; // after the first matching section's last line
  bool firstSectionDone = false;
  while (pos < text.size()) {
    const std::size_t lineEnd = text.find('\n', pos);
    const std::size_t next = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
    const std::string_view raw = text.substr(pos, next - pos);
    const std::string_view line = Trim(raw);
    if (!line.empty() && line.front() != ';' && line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name =
          Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      if (inSection)
        firstSectionDone = true;
      inSection = SameTextAscii(name, section);
      if (inSection && !firstSectionDone)
        insertAt = next;
    } else if (inSection && !line.empty() && line.front() != ';' && line.front() != '#') {
      const std::size_t equals = line.find('=');
      if (equals != std::string_view::npos) {
        if (!firstSectionDone)
          insertAt = next;
        if (SameTextAscii(Trim(line.substr(0, equals)), key)) {
          // The value's place in the file: after "=" and its blanks, before the line's end.
          const std::size_t lineStart = static_cast<std::size_t>(line.data() - text.data());
          std::size_t valueStart = lineStart + equals + 1;
          const std::size_t valueEnd = lineStart + line.size();
          while (valueStart < valueEnd && IsIniSpace(text[valueStart]))
            ++valueStart;
          TIniValueWrite result;
          result.Changed = text.substr(valueStart, valueEnd - valueStart) != value;
          result.Content.reserve(text.size() + value.size());
          result.Content.append(text.substr(0, valueStart));
          result.Content.append(value);
          result.Content.append(text.substr(valueEnd));
          return result;
        }
      }
    }
    pos = next;
  }

  const std::size_t firstBreak = FindLineBreak(text);
  std::string lineBreak = "\r\n";
  if (firstBreak != std::string_view::npos)
    lineBreak = text.substr(firstBreak, 2) == "\r\n" ? "\r\n" : std::string(1, text[firstBreak]);
  // A CR alone ends no line for the reader: such a file gets LF.
  if (lineBreak == "\r")
    lineBreak = "\n";

  TIniValueWrite result;
  result.Changed = true;
  const std::string newLine = std::string(key) + "=" + std::string(value) + lineBreak;
  if (insertAt != std::string_view::npos) {
    result.Content.append(text.substr(0, insertAt));
    if (insertAt == text.size() && !text.empty() && text.back() != '\n')
      result.Content += lineBreak;
    result.Content += newLine;
    result.Content.append(text.substr(insertAt));
    return result;
  }
  result.Content.append(text);
  if (!text.empty() && text.back() != '\n')
    result.Content += lineBreak;
  // A blank line parts the new section from what the file holds.
  if (!Trim(text.substr(text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0)).empty())
    result.Content += lineBreak;
  result.Content += "[" + std::string(section) + "]" + lineBreak + newLine;
  return result;
}

} // namespace quillon
