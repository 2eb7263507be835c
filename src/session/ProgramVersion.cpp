#include "session/ProgramVersion.h"

#include "platform/PEVersions.h"
#include "session/BuildVersion.h"
#include "session/HostFiles.h"
#include "session/HostSystem.h"

#include <algorithm>
#include <cctype>

namespace quillon {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Lines as a text list takes them: \r\n, \n or \r ends one, and a text that ends with a line
// break has no empty last line.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
    lines.emplace_back(text.substr(begin, end - begin));
    begin = end;
    if (begin < text.size() && text[begin] == '\r')
      ++begin;
    if (begin < text.size() && text[begin] == '\n')
      ++begin;
  }
  return lines;
}

} // namespace

std::vector<std::string> BuildVersionStrings() {
  using namespace build;
  std::vector<std::string> lines = {
      std::string("FileVersion=") + kFileVersion, std::string("CompanyName=") + kCompanyName,
      std::string("InternalName=") + kInternalName, std::string("Comments=") + kComments,
      std::string("LegalCopyright=") + kLegalCopyright,
      std::string("LegalTrademarks=") + kLegalTrademarks,
      // One set of data serves both programs, so it names no single file.
      "OriginalFilename=", std::string("ProductName=") + kProductName,
      std::string("ProductVersion=") + kProductVersion,
      std::string("FileDescription=") + kFileDescription, "PrivateBuild=", "SpecialBuild="};
  if (*kTranslators != '\0')
    lines.push_back(std::string("Translators=") + kTranslators);
  return lines;
}

std::vector<std::string> ProgramVersionStrings() {
  const std::string executable = RunningProgramPath();
  if (!executable.empty()) {
    // The executable is a host file whatever image the session reads.
    const THostFiles host;
    const std::string path = host.WindowsPath(executable);
    std::vector<std::string> lines;
    if (!path.empty() && GetTranslationCount(path) > 0 && ReadVersionStrings(path, 0, lines))
      return lines;
  }
  return BuildVersionStrings();
}

std::string VersionValue(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos && SameName(std::string_view(line).substr(0, equals), name))
      return line.substr(equals + 1);
  }
  return {};
}

std::string DottedVersion(std::string version) {
  ReplaceAll(version, ", ", ".");
  ReplaceAll(version, ",", ".");
  return version;
}

std::string VersionLine(const std::vector<std::string>& lines) {
  return VersionValue(lines, "ProductName") + " " +
         DottedVersion(VersionValue(lines, "ProductVersion"));
}

std::optional<TAboutTexts> AboutTexts(const std::string& title,
                                      const std::vector<std::string>& lines) {
  if (lines.empty())
    return std::nullopt;
  TAboutTexts texts;
  texts.product = VersionValue(lines, "ProductName");
  texts.productVersion = DottedVersion(VersionValue(lines, "ProductVersion"));
  texts.caption = "About " + (title.empty() ? texts.product : title);
  texts.version = "Version " + texts.productVersion;
  texts.description = VersionValue(lines, "FileDescription") + " " +
                      DottedVersion(VersionValue(lines, "FileVersion"));
  texts.legal =
      VersionValue(lines, "LegalCopyright") + "\n" + VersionValue(lines, "LegalTrademarks");
  texts.translators = SplitLines(VersionValue(lines, "Translators"));
  return texts;
}

std::string TranslationsText(const std::vector<std::string>& translators) {
  std::string text;
  for (const std::string& entry : translators) {
    // An entry without "=" is all name.
    const std::size_t equals = entry.find('=');
    text += entry.substr(0, equals) + ": " +
            (equals == std::string::npos ? std::string() : entry.substr(equals + 1)) + "\n";
  }
  return text;
}

} // namespace quillon
