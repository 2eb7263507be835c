#pragma once
// The running program's version data as "Name=Value" lines, the form the version resource reader
// gives: the About dialog and both programs' --version show it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The lines of translation 0 of the executable's own version resource when it carries one (the
// Windows build); otherwise the build's version data under the same names, so that a program
// built for a host without version resources still says what it is.
std::vector<std::string> ProgramVersionStrings();

// The build's version data in the reader's order: the twelve standard names, then
// "Translators" only when there are any.
std::vector<std::string> BuildVersionStrings();

// The value of the first line named `name` (matched without regard to case, as a name/value
// list looks names up); empty when there is none.
std::string VersionValue(const std::vector<std::string>& lines, std::string_view name);

// A version as resource compilers write it ("1, 2, 3, 4" or "1,2,3,4") with dots between its
// parts: every ", " and then every "," becomes ".".
std::string DottedVersion(std::string version);

// "ProductName ProductVersion", the line --version prints.
std::string VersionLine(const std::vector<std::string>& lines);

// What the About dialog shows, from version lines and the title its caller passes.
struct TAboutTexts {
  std::string caption;        // "About " + the title, or the product name for an empty title
  std::string product;        // ProductName
  std::string productVersion; // ProductVersion with dots
  std::string version;        // "Version " + productVersion
  std::string description;    // FileDescription + " " + FileVersion with dots
  std::string legal;          // LegalCopyright, a line break, LegalTrademarks
  std::vector<std::string> translators; // the Translators value's lines ("Language=Name")
};

// Nothing without version lines: the dialog then keeps the captions it was designed with.
std::optional<TAboutTexts> AboutTexts(const std::string& title,
                                      const std::vector<std::string>& lines);

// The Translations button's text: "name: value" and a line break for each "name=value" entry.
std::string TranslationsText(const std::vector<std::string>& translators);

} // namespace quillon
