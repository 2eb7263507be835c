#include "platform/PEVersions.h"

#include "winapi/LittleEndian.h"
#include "winapi/Utf16.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>

namespace quillon {

namespace {

// --- PE headers ------------------------------------------------------------------------------

constexpr std::uint32_t kPeSignature = 0x00004550; // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint16_t kVsVersionInfoId = 1;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;

struct TSection {
  std::uint32_t virtualAddress = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawPointer = 0;
};

struct TPeImage {
  std::string_view bytes;
  std::vector<TSection> sections;
  std::uint32_t resourceRva = 0;
};

std::optional<TPeImage> ReadPeHeaders(std::string_view image) {
  if (image.substr(0, 2) != "MZ")
    return std::nullopt;
  const auto peOffset = ReadU32At(image, 0x3C);
  if (!peOffset || ReadU32At(image, *peOffset) != kPeSignature)
    return std::nullopt;
  const std::size_t coff = static_cast<std::size_t>(*peOffset) + 4;
  const auto sectionCount = ReadU16At(image, coff + 2);
  const auto optionalSize = ReadU16At(image, coff + 16);
  if (!sectionCount || !optionalSize)
    return std::nullopt;
  const std::size_t optional = coff + 20;
  const auto magic = ReadU16At(image, optional);
  if (!magic)
    return std::nullopt;
  // The data directories follow the fields whose width depends on 32 or 64 bits.
  std::size_t countField = 0;
  if (*magic == kPe32Magic)
    countField = 92;
  else if (*magic == kPe32PlusMagic)
    countField = 108;
  else
    return std::nullopt;
  const auto directoryCount = ReadU32At(image, optional + countField);
  const std::size_t directoryEntry = countField + 4 + 8 * kResourceDirectoryIndex;
  if (!directoryCount || *directoryCount <= kResourceDirectoryIndex ||
      directoryEntry + 8 > *optionalSize)
    return std::nullopt;
  const auto resourceRva = ReadU32At(image, optional + directoryEntry);
  if (!resourceRva || *resourceRva == 0)
    return std::nullopt;

  TPeImage pe;
  pe.bytes = image;
  pe.resourceRva = *resourceRva;
  const std::size_t table = optional + *optionalSize;
  for (std::size_t i = 0; i < *sectionCount; ++i) {
    const std::size_t header = table + i * kSectionHeaderSize;
    const auto va = ReadU32At(image, header + 12);
    const auto rawSize = ReadU32At(image, header + 16);
    const auto rawPointer = ReadU32At(image, header + 20);
    if (!va || !rawSize || !rawPointer)
      return std::nullopt; // a section table cut short: the file is damaged
    pe.sections.push_back({*va, *rawSize, *rawPointer});
  }
  return pe;
}

// The file bytes from `rva` to the end of the section data holding it (as far as the file
// reaches); nullopt when no section's data in the file holds it.
std::optional<std::string_view> MapRva(const TPeImage& pe, std::uint32_t rva) {
  for (const TSection& s : pe.sections) {
    if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize)
      continue;
    const std::size_t offset = static_cast<std::size_t>(s.rawPointer) + (rva - s.virtualAddress);
    const std::size_t sectionEnd = static_cast<std::size_t>(s.rawPointer) + s.rawSize;
    const std::size_t end = std::min(sectionEnd, pe.bytes.size());
    if (offset >= end)
      return std::nullopt;
    return pe.bytes.substr(offset, end - offset);
  }
  return std::nullopt;
}

// --- Resource tree: type, name, language; each level one directory ------------------------

struct TDirectoryEntry {
  std::uint32_t name = 0;
  std::uint32_t target = 0;
};

std::vector<TDirectoryEntry> ReadDirectory(std::string_view rsrc, std::uint32_t offset) {
  std::vector<TDirectoryEntry> entries;
  const auto named = ReadU16At(rsrc, std::size_t{offset} + 12);
  const auto ids = ReadU16At(rsrc, std::size_t{offset} + 14);
  if (!named || !ids)
    return entries;
  const std::size_t count = std::size_t{*named} + *ids;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = std::size_t{offset} + 16 + 8 * i;
    const auto name = ReadU32At(rsrc, at);
    const auto target = ReadU32At(rsrc, at + 4);
    if (!name || !target)
      break;
    entries.push_back({*name, *target});
  }
  return entries;
}

const TDirectoryEntry* FindId(const std::vector<TDirectoryEntry>& entries, std::uint16_t id) {
  const auto it = std::find_if(entries.begin(), entries.end(), [id](const TDirectoryEntry& e) {
    return (e.name & kSubdirectoryFlag) == 0 && e.name == id;
  });
  return it == entries.end() ? nullptr : &*it;
}

bool IsSubdirectory(const TDirectoryEntry& e) {
  return (e.target & kSubdirectoryFlag) != 0;
}
std::uint32_t TargetOffset(const TDirectoryEntry& e) {
  return e.target & ~kSubdirectoryFlag;
}

// The version resource's data entry: type RT_VERSION, the name VS_VERSION_INFO (1) as Windows
// looks it up, else the first name, and the first language. The tree has three levels; each must
// be of the expected kind, so directory offsets that point back up cannot make the walk endless.
std::optional<std::string_view> FindVersionData(const TPeImage& pe) {
  const auto rsrc = MapRva(pe, pe.resourceRva);
  if (!rsrc)
    return std::nullopt;
  const auto types = ReadDirectory(*rsrc, 0);
  const TDirectoryEntry* type = FindId(types, kRtVersion);
  if (!type || !IsSubdirectory(*type))
    return std::nullopt;
  const auto names = ReadDirectory(*rsrc, TargetOffset(*type));
  const TDirectoryEntry* name = FindId(names, kVsVersionInfoId);
  if (!name && !names.empty())
    name = &names.front();
  if (!name || !IsSubdirectory(*name))
    return std::nullopt;
  const auto languages = ReadDirectory(*rsrc, TargetOffset(*name));
  if (languages.empty() || IsSubdirectory(languages.front()))
    return std::nullopt;
  const std::size_t dataEntry = languages.front().target;
  const auto dataRva = ReadU32At(*rsrc, dataEntry);
  const auto dataSize = ReadU32At(*rsrc, dataEntry + 4);
  if (!dataRva || !dataSize || *dataSize == 0)
    return std::nullopt;
  const auto data = MapRva(pe, *dataRva);
  if (!data || data->size() < *dataSize)
    return std::nullopt;
  return data->substr(0, *dataSize);
}

// --- Version blocks --------------------------------------------------------------------------
// Every block: wLength, wValueLength, wType, a NUL-ended UTF-16LE key, padding to 32 bits, the
// value, padding, then child blocks up to wLength. Offsets align relative to the resource start.

constexpr std::size_t Align4(std::size_t v) {
  return (v + 3) & ~std::size_t{3};
}

struct TBlock {
  std::size_t end = 0;
  std::string_view key; // UTF-16LE bytes without the terminator
  std::size_t valueBegin = 0;
  std::size_t valueEnd = 0;
  std::size_t childrenBegin = 0;
};

std::optional<TBlock> ReadBlock(std::string_view res, std::size_t begin, std::size_t limit) {
  const auto length = ReadU16At(res, begin);
  const auto valueLength = ReadU16At(res, begin + 2);
  const auto type = ReadU16At(res, begin + 4);
  if (!length || !valueLength || !type || *length < 6 || begin + *length > limit)
    return std::nullopt;
  TBlock block;
  block.end = begin + *length;
  std::size_t pos = begin + 6;
  for (;; pos += 2) {
    if (pos + 2 > block.end)
      return std::nullopt; // key without terminator
    if (res[pos] == '\0' && res[pos + 1] == '\0')
      break;
  }
  block.key = res.substr(begin + 6, pos - (begin + 6));
  block.valueBegin = std::min(Align4(pos + 2), block.end);
  // Text values count UTF-16 units, binary values bytes.
  const std::size_t valueBytes = *type == 1 ? std::size_t{*valueLength} * 2 : *valueLength;
  block.valueEnd = std::min(block.valueBegin + valueBytes, block.end);
  block.childrenBegin = std::min(Align4(block.valueEnd), block.end);
  return block;
}

// UTF-16LE up to the first NUL unit (or the end) as UTF-8; lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::string_view utf16) {
  std::size_t end = 0;
  while (end + 1 < utf16.size() && (utf16[end] != 0 || utf16[end + 1] != 0))
    end += 2;
  return winapi::Utf16LeToUtf8(utf16.substr(0, end));
}

// Windows matches version keys without regard to case.
bool KeyEquals(std::string_view keyUtf16, std::string_view name) {
  const std::string key = Utf16ToUtf8(keyUtf16);
  return std::equal(key.begin(), key.end(), name.begin(), name.end(), [](char a, char b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(a) == lower(b);
  });
}

// The block a sub-block path names. The walk descends one level per path component, so its
// depth is the caller's, never the file's; each step moves forward by at least one header.
std::optional<TBlock> FindBlock(std::string_view res, std::string_view subBlock) {
  auto block = ReadBlock(res, 0, res.size());
  std::size_t pos = 0;
  while (block && pos < subBlock.size()) {
    const std::size_t sep = std::min(subBlock.find('\\', pos), subBlock.size());
    const std::string_view component = subBlock.substr(pos, sep - pos);
    pos = sep + 1;
    if (component.empty())
      continue;
    std::optional<TBlock> found;
    for (std::size_t child = block->childrenBegin; child < block->end;) {
      const auto candidate = ReadBlock(res, child, block->end);
      if (!candidate)
        break;
      if (KeyEquals(candidate->key, component)) {
        found = candidate;
        break;
      }
      child = Align4(candidate->end);
    }
    block = found;
  }
  return block;
}

std::optional<std::string> VersionInfoOf(const std::string& fileName) {
  try {
    return GetFileVersionInfo(fileName);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

} // namespace

std::optional<std::string_view> FindVersionResource(std::string_view image) {
  const auto pe = ReadPeHeaders(image);
  if (!pe)
    return std::nullopt;
  const auto data = FindVersionData(*pe);
  if (!data)
    return std::nullopt;
  // The root block must be readable; it is all of the resource that counts.
  const auto root = ReadBlock(*data, 0, data->size());
  if (!root)
    return std::nullopt;
  return data->substr(0, root->end);
}

std::optional<std::string> GetFileVersionInfo(const std::string& fileName) {
  std::string image;
  if (!winapi::ReadWholeFile(fileName, image))
    return std::nullopt;
  const auto resource = FindVersionResource(image);
  if (!resource)
    return std::nullopt;
  return std::string(*resource);
}

bool VerQueryValue(std::string_view resource, std::string_view subBlock, std::string_view& value) {
  const auto block = FindBlock(resource, subBlock);
  if (!block)
    return false;
  value = resource.substr(block->valueBegin, block->valueEnd - block->valueBegin);
  return true;
}

bool VerQueryText(std::string_view resource, std::string_view subBlock, std::string& text) {
  const auto block = FindBlock(resource, subBlock);
  if (!block)
    return false;
  // Compilers disagree on whether a string's length counts units or bytes, on its type field,
  // and some leave the length 0; Windows callers read to the NUL, so the text runs to its NUL
  // within the block whatever the length says.
  text = Utf16ToUtf8(resource.substr(block->valueBegin, block->end - block->valueBegin));
  return true;
}

std::string TranslationKey(std::uint16_t language, std::uint16_t codePage) {
  std::array<char, 9> buf{};
  std::snprintf(buf.data(), buf.size(), "%04X%04X", static_cast<unsigned>(language),
                static_cast<unsigned>(codePage));
  return std::string(buf.data(), 8);
}

int GetTranslationCount(const std::string& fileName) {
  const auto info = VersionInfoOf(fileName);
  std::string_view table;
  if (!info || !VerQueryValue(*info, R"(\\VarFileInfo\\Translation)", table))
    return 0;
  return static_cast<int>(table.size() / 4);
}

bool ReadVersionStrings(const std::string& fileName, int translationIndex,
                        std::vector<std::string>& lines) {
  static constexpr std::array<std::string_view, 12> kNames = {
      "FileVersion",    "CompanyName",     "InternalName",     "Comments",
      "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
      "ProductVersion", "FileDescription", "PrivateBuild",     "SpecialBuild"};
  try {
    const auto info = VersionInfoOf(fileName);
    std::string_view table;
    if (!info || !VerQueryValue(*info, R"(\\VarFileInfo\\Translation)", table))
      return false;
    // An index past the table would read beyond it; it is an error, not a guess.
    if (translationIndex < 0 || static_cast<std::size_t>(translationIndex) >= table.size() / 4)
      return false;
    const std::size_t entry = static_cast<std::size_t>(translationIndex) * 4;
    const std::string prefix =
        std::string(R"(\\StringFileInfo\\)") +
        TranslationKey(*ReadU16At(table, entry), *ReadU16At(table, entry + 2)) + R"(\\)";
    std::vector<std::string> read;
    for (const std::string_view name : kNames) {
      std::string text;
      if (!VerQueryText(*info, prefix + std::string(name), text))
        text.clear();
      read.push_back(std::string(name) + "=" + text);
    }
    std::string translators;
    if (VerQueryText(*info, prefix + "Translators", translators) && !translators.empty())
      read.push_back("Translators=" + translators);
    lines.insert(lines.end(), read.begin(), read.end());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string GetFileVersionText(const std::string& fileName, std::uint32_t& versionMS,
                               std::uint32_t& versionLS) {
  constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
  constexpr std::size_t kFixedInfoSize = 52;
  versionMS = 0;
  versionLS = 0;
  const auto info = VersionInfoOf(fileName);
  std::string_view fixed;
  if (!info || !VerQueryValue(*info, R"(\)", fixed) || fixed.size() < kFixedInfoSize ||
      ReadU32At(fixed, 0) != kFixedInfoSignature)
    return {};
  versionMS = *ReadU32At(fixed, 8);
  versionLS = *ReadU32At(fixed, 12);
  return std::to_string(versionMS >> 16) + "." + std::to_string(versionMS & 0xFFFF) + "." +
         std::to_string(versionLS >> 16) + "." + std::to_string(versionLS & 0xFFFF);
}

std::string GetFileVersionText(const std::string& fileName) {
  std::uint32_t ms = 0;
  std::uint32_t ls = 0;
  return GetFileVersionText(fileName, ms, ls);
}

} // namespace quillon
