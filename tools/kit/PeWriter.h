#pragma once
// Image kit: writes small but valid Windows executables (PE32 or PE32+) that carry a chosen
// version resource, for browser executables in test images and the demo image.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon::kit {

struct TPeStringTable {
  std::uint16_t Language = 0x0409;
  std::uint16_t CodePage = 1200;
  // Name/value pairs in the order they are written; any names (also "Translators").
  std::vector<std::pair<std::string, std::string>> Strings;
};

struct TPeVersionInfo {
  std::array<std::uint16_t, 4> FileVersion{};    // major, minor, release, build
  std::array<std::uint16_t, 4> ProductVersion{}; // as FileVersion
  // (language, code page) pairs of the translation table; empty: no VarFileInfo block.
  std::vector<std::pair<std::uint16_t, std::uint16_t>> Translations;
  std::vector<TPeStringTable> StringTables; // empty: no StringFileInfo block
  // Writes strings as some older resource compilers do: type 0 and the length in bytes.
  bool LegacyStringLengths = false;
};

struct TPeOptions {
  bool Is64 = false;                     // PE32+ for x64, else PE32 for i386
  bool WithCode = true;                  // a .text section before .rsrc
  std::optional<TPeVersionInfo> Version; // nullopt: the file has no resources at all
};

// Where the writer put things, for tests that damage a file on purpose (file offsets).
struct TPeLayout {
  std::size_t OptionalHeader = 0;
  std::size_t SectionTable = 0;
  std::size_t ResourceSection = 0; // the resource directory's root
  std::size_t VersionData = 0;     // VS_VERSIONINFO
  std::size_t VersionSize = 0;
};

// "1.0.154.48" as four parts; missing or unreadable parts are 0.
std::array<std::uint16_t, 4> ParseVersion(const std::string& dotted);

// A version resource as browser installers ship it: one translation (US English, Unicode) and
// the usual string values, with FileVersion and ProductVersion the dotted version text.
TPeVersionInfo BrowserVersionInfo(const std::string& dottedVersion, const std::string& productName,
                                  const std::string& companyName);

// The VS_VERSIONINFO block alone.
std::string BuildVersionResource(const TPeVersionInfo& info);

// The executable's bytes.
std::string BuildPeFile(const TPeOptions& options, TPeLayout* layout = nullptr);

// Writes the executable to a host path (folders must exist); throws std::runtime_error on failure.
void WritePeFile(const std::string& hostPath, const TPeOptions& options);

} // namespace quillon::kit
