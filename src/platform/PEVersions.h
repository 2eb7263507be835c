#pragma once
// The version resource of a Windows executable, read by parsing the PE file itself, so that it
// works on any host: the About dialog shows the program's own version data with it, and the
// discovery steps read a browser executable's file version.
//
// A file without a readable version resource (no resource section, no RT_VERSION entry, a
// truncated or damaged file) answers as a file without one: count 0, read false, empty version.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The bytes of the version resource (VS_VERSIONINFO) in a PE image held in memory; nullopt when
// the image has none or its headers or resource tree cannot be read.
std::optional<std::string_view> FindVersionResource(std::string_view image);

// The version resource of a file (a Windows path), copied out of the file; nullopt when the file
// cannot be read or has none.
std::optional<std::string> GetFileVersionInfo(const std::string& fileName);

// Finds a sub-block of a version resource as VerQueryValue does: "\" is the fixed file
// information, "\VarFileInfo\Translation" the translation table, "\StringFileInfo\040904B0\Name"
// one string. Empty components (doubled backslashes) are skipped and keys match without regard
// to case. `value` receives the value's bytes as the resource declares them, clamped to the block.
bool VerQueryValue(std::string_view resource, std::string_view subBlock, std::string_view& value);

// The value of a string sub-block as UTF-8 text, up to its terminating NUL; false when the
// sub-block is absent.
bool VerQueryText(std::string_view resource, std::string_view subBlock, std::string& text);

// Number of entries (language, code page) in the file's translation table; 0 without a version
// resource.
int GetTranslationCount(const std::string& fileName);

// Appends "Name=Value" lines for the standard string values of translation `translationIndex`:
// FileVersion, CompanyName, InternalName, Comments, LegalCopyright, LegalTrademarks,
// OriginalFilename, ProductName, ProductVersion, FileDescription, PrivateBuild, SpecialBuild, and
// Translators only when that value is not empty. A value that cannot be read gives "Name=".
// False (and nothing appended) without a version resource or when the index lies outside the
// translation table.
bool ReadVersionStrings(const std::string& fileName, int translationIndex,
                        std::vector<std::string>& lines);

// The fixed file version as "major.minor.release.build" with the two 32-bit words it comes from;
// an empty text and zero words without a version resource or fixed file information.
std::string GetFileVersionText(const std::string& fileName, std::uint32_t& versionMS,
                               std::uint32_t& versionLS);
std::string GetFileVersionText(const std::string& fileName);

// "040904B0": language and code page as upper-case hexadecimal, as string tables are keyed.
std::string TranslationKey(std::uint16_t language, std::uint16_t codePage);

} // namespace quillon
