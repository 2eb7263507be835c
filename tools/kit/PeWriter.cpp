#include "kit/PeWriter.h"

#include "kit/HostFile.h"
#include "winapi/LittleEndian.h"

#include <charconv>
#include <stdexcept>

namespace quillon::kit {

namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kPeOffset = 0x40;
constexpr std::uint32_t kTimeDateStamp = 0x4B1E2C00; // fixed, so that builds are reproducible

void AppendU32(std::string& b, std::uint32_t v) {
  PutU32At(b, b.size(), v);
}

void Pad4(std::string& b) {
  b.resize((b.size() + 3) & ~std::size_t{3}, '\0');
}

constexpr std::uint32_t AlignUp(std::uint32_t v, std::uint32_t a) {
  return (v + a - 1) / a * a;
}

void AppendUtf16Unit(std::string& out, std::uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

// UTF-8 to UTF-16LE without terminator; bytes that are not UTF-8 become U+FFFD.
std::string Utf16(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    std::size_t len = c < 0x80         ? 1
                      : (c >> 5) == 6  ? 2
                      : (c >> 4) == 14 ? 3
                      : (c >> 3) == 30 ? 4
                                       : 0;
    std::uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    bool ok = len != 0 && i + len <= utf8.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto cc = static_cast<unsigned char>(utf8[i + k]);
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      AppendUtf16Unit(out, 0xFFFD);
      ++i;
      continue;
    }
    i += len;
    if (cp >= 0x10000) {
      AppendUtf16Unit(out, 0xD800 + ((cp - 0x10000) >> 10));
      AppendUtf16Unit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      AppendUtf16Unit(out, cp);
    }
  }
  return out;
}

// One version block: header, key, value, children, each part aligned to 32 bits.
std::string Block(const std::string& key, std::uint16_t type, const std::string& value,
                  std::uint16_t valueLength, const std::vector<std::string>& children = {}) {
  std::string b(6, '\0');
  b += Utf16(key);
  b.append(2, '\0');
  Pad4(b);
  b += value;
  for (const std::string& child : children) {
    Pad4(b);
    b += child;
  }
  if (b.size() > 0xFFFF)
    throw std::length_error("version block too large: " + key);
  PutU16At(b, 0, static_cast<std::uint32_t>(b.size()));
  PutU16At(b, 2, valueLength);
  PutU16At(b, 4, type);
  return b;
}

std::uint32_t HighLow(std::uint16_t high, std::uint16_t low) {
  return (static_cast<std::uint32_t>(high) << 16) | low;
}

std::string TableKey(std::uint16_t language, std::uint16_t codePage) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string key;
  for (const std::uint16_t v : {language, codePage})
    for (int shift = 12; shift >= 0; shift -= 4)
      key += kHex[(v >> shift) & 0xF];
  return key;
}

} // namespace

std::array<std::uint16_t, 4> ParseVersion(const std::string& dotted) {
  std::array<std::uint16_t, 4> parts{};
  const char* p = dotted.data();
  const char* end = p + dotted.size();
  for (std::uint16_t& part : parts) {
    const auto result = std::from_chars(p, end, part);
    if (result.ec != std::errc())
      break;
    p = result.ptr;
    if (p == end || *p != '.')
      break;
    ++p;
  }
  return parts;
}

TPeVersionInfo BrowserVersionInfo(const std::string& dottedVersion, const std::string& productName,
                                  const std::string& companyName) {
  TPeVersionInfo info;
  info.FileVersion = ParseVersion(dottedVersion);
  info.ProductVersion = info.FileVersion;
  info.Translations = {{0x0409, 1200}};
  info.StringTables = {{0x0409,
                        1200,
                        {{"CompanyName", companyName},
                         {"FileDescription", productName},
                         {"FileVersion", dottedVersion},
                         {"LegalCopyright", "Copyright " + companyName},
                         {"ProductName", productName},
                         {"ProductVersion", dottedVersion}}}};
  return info;
}

std::string BuildVersionResource(const TPeVersionInfo& info) {
  std::string fixed;
  AppendU32(fixed, 0xFEEF04BD); // signature
  AppendU32(fixed, 0x00010000); // structure version 1.0
  AppendU32(fixed, HighLow(info.FileVersion[0], info.FileVersion[1]));
  AppendU32(fixed, HighLow(info.FileVersion[2], info.FileVersion[3]));
  AppendU32(fixed, HighLow(info.ProductVersion[0], info.ProductVersion[1]));
  AppendU32(fixed, HighLow(info.ProductVersion[2], info.ProductVersion[3]));
  AppendU32(fixed, 0x3F);    // file flags mask
  AppendU32(fixed, 0);       // file flags
  AppendU32(fixed, 0x40004); // VOS_NT_WINDOWS32
  AppendU32(fixed, 1);       // VFT_APP
  AppendU32(fixed, 0);       // subtype
  AppendU32(fixed, 0);       // file date, high
  AppendU32(fixed, 0);       // file date, low

  std::vector<std::string> sections;
  if (!info.StringTables.empty()) {
    std::vector<std::string> tables;
    for (const TPeStringTable& table : info.StringTables) {
      std::vector<std::string> strings;
      for (const auto& [name, value] : table.Strings) {
        std::string text = Utf16(value);
        text.append(2, '\0');
        const auto units = static_cast<std::uint16_t>(text.size() / 2);
        strings.push_back(info.LegacyStringLengths
                              ? Block(name, 0, text, static_cast<std::uint16_t>(text.size()))
                              : Block(name, 1, text, units));
      }
      tables.push_back(Block(TableKey(table.Language, table.CodePage), 1, {}, 0, strings));
    }
    sections.push_back(Block("StringFileInfo", 1, {}, 0, tables));
  }
  if (!info.Translations.empty()) {
    std::string pairs;
    for (const auto& [language, codePage] : info.Translations)
      AppendU32(pairs, HighLow(codePage, language));
    const std::string var =
        Block("Translation", 0, pairs, static_cast<std::uint16_t>(pairs.size()));
    sections.push_back(Block("VarFileInfo", 1, {}, 0, {var}));
  }
  return Block("VS_VERSION_INFO", 0, fixed, static_cast<std::uint16_t>(fixed.size()), sections);
}

std::string BuildPeFile(const TPeOptions& options, TPeLayout* layout) {
  struct TSectionPlan {
    const char* name;
    std::string data;
    std::uint32_t virtualSize;
    std::uint32_t characteristics;
    std::uint32_t rva = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t rawSize = 0;
  };
  std::vector<TSectionPlan> sections;
  if (options.WithCode)
    sections.push_back({".text", std::string(1, '\xC3'), 1, 0x60000020}); // ret
  std::size_t rsrcIndex = 0;
  std::string version;
  if (options.Version) {
    version = BuildVersionResource(*options.Version);
    rsrcIndex = sections.size();
    sections.push_back({".rsrc", {}, 0, 0x40000040});
  }

  const std::size_t optionalSize = options.Is64 ? 240 : 224;
  const std::size_t optional = kPeOffset + 4 + 20;
  const std::size_t sectionTable = optional + optionalSize;
  const std::uint32_t headersSize =
      AlignUp(static_cast<std::uint32_t>(sectionTable + 40 * sections.size()), kFileAlignment);

  std::uint32_t nextRva = kSectionAlignment;
  std::uint32_t nextRaw = headersSize;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    TSectionPlan& s = sections[i];
    s.rva = nextRva;
    if (options.Version && i == rsrcIndex) {
      // Three directory levels (type RT_VERSION, name 1, language), one data entry, the data.
      const std::uint16_t language =
          options.Version->Translations.empty() ? 0x0409 : options.Version->Translations[0].first;
      std::string& d = s.data;
      PutU16At(d, 0x0E, 1);
      PutU32At(d, 0x10, 16);
      PutU32At(d, 0x14, 0x80000000u | 0x18);
      PutU16At(d, 0x18 + 0x0E, 1);
      PutU32At(d, 0x18 + 0x10, 1);
      PutU32At(d, 0x18 + 0x14, 0x80000000u | 0x30);
      PutU16At(d, 0x30 + 0x0E, 1);
      PutU32At(d, 0x30 + 0x10, language);
      PutU32At(d, 0x30 + 0x14, 0x48);
      PutU32At(d, 0x48, s.rva + 0x58);
      PutU32At(d, 0x4C, static_cast<std::uint32_t>(version.size()));
      d.resize(0x58, '\0');
      d += version;
      s.virtualSize = static_cast<std::uint32_t>(d.size());
    }
    s.rawPointer = nextRaw;
    s.rawSize = AlignUp(static_cast<std::uint32_t>(s.data.size()), kFileAlignment);
    nextRaw += s.rawSize;
    nextRva += AlignUp(s.virtualSize, kSectionAlignment);
  }

  std::string b(headersSize, '\0');
  // DOS header: loaders look only at the magic and the offset of the PE header.
  b[0] = 'M';
  b[1] = 'Z';
  PutU16At(b, 0x02, 0x90);
  PutU16At(b, 0x04, 3);
  PutU16At(b, 0x08, 4);
  PutU16At(b, 0x0C, 0xFFFF);
  PutU16At(b, 0x10, 0xB8);
  PutU16At(b, 0x18, 0x40);
  PutU32At(b, 0x3C, kPeOffset);

  b.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  const std::size_t coff = kPeOffset + 4;
  PutU16At(b, coff, options.Is64 ? 0x8664 : 0x014C);
  PutU16At(b, coff + 2, static_cast<std::uint32_t>(sections.size()));
  PutU32At(b, coff + 4, kTimeDateStamp);
  PutU16At(b, coff + 16, static_cast<std::uint32_t>(optionalSize));
  // Executable image; 32-bit machine or large-address aware.
  PutU16At(b, coff + 18, options.Is64 ? 0x0022 : 0x0102);

  std::uint32_t codeSize = 0;
  std::uint32_t dataSize = 0;
  for (const TSectionPlan& s : sections)
    (s.characteristics & 0x20 ? codeSize : dataSize) += s.rawSize;
  const std::size_t o = optional;
  PutU16At(b, o, options.Is64 ? 0x20B : 0x10B);
  b[o + 2] = 9; // linker version 9.0
  PutU32At(b, o + 4, codeSize);
  PutU32At(b, o + 8, dataSize);
  PutU32At(b, o + 16, options.WithCode ? kSectionAlignment : 0); // entry point
  PutU32At(b, o + 20, kSectionAlignment);                        // base of code
  if (options.Is64) {
    PutU64At(b, o + 24, 0x140000000ull);
  } else {
    PutU32At(b, o + 24, options.WithCode ? 2 * kSectionAlignment : kSectionAlignment); // data
    PutU32At(b, o + 28, 0x400000);
  }
  PutU32At(b, o + 32, kSectionAlignment);
  PutU32At(b, o + 36, kFileAlignment);
  PutU16At(b, o + 40, options.Is64 ? 6 : 5); // operating system version
  PutU16At(b, o + 42, options.Is64 ? 0 : 1);
  PutU16At(b, o + 48, options.Is64 ? 6 : 5); // subsystem version
  PutU16At(b, o + 50, options.Is64 ? 0 : 1);
  PutU32At(b, o + 56, nextRva);     // size of image
  PutU32At(b, o + 60, headersSize); // size of headers
  PutU16At(b, o + 68, 2);           // Windows GUI
  PutU16At(b, o + 70, 0x8140);      // terminal-server aware, NX compatible, dynamic base
  const std::size_t sizes = o + 72;
  if (options.Is64) {
    PutU64At(b, sizes, 0x100000);
    PutU64At(b, sizes + 8, 0x1000);
    PutU64At(b, sizes + 16, 0x100000);
    PutU64At(b, sizes + 24, 0x1000);
  } else {
    PutU32At(b, sizes, 0x100000);
    PutU32At(b, sizes + 4, 0x1000);
    PutU32At(b, sizes + 8, 0x100000);
    PutU32At(b, sizes + 12, 0x1000);
  }
  const std::size_t directoryCount = o + (options.Is64 ? 108 : 92);
  PutU32At(b, directoryCount, 16);
  if (options.Version) {
    PutU32At(b, directoryCount + 4 + 2 * 8, sections[rsrcIndex].rva);
    PutU32At(b, directoryCount + 4 + 2 * 8 + 4, sections[rsrcIndex].virtualSize);
  }

  for (std::size_t i = 0; i < sections.size(); ++i) {
    const TSectionPlan& s = sections[i];
    const std::size_t h = sectionTable + 40 * i;
    b.replace(h, std::string_view(s.name).size(), s.name);
    PutU32At(b, h + 8, s.virtualSize);
    PutU32At(b, h + 12, s.rva);
    PutU32At(b, h + 16, s.rawSize);
    PutU32At(b, h + 20, s.rawPointer);
    PutU32At(b, h + 36, s.characteristics);
  }
  for (const TSectionPlan& s : sections) {
    b += s.data;
    b.resize(s.rawPointer + s.rawSize, '\0');
  }

  if (layout) {
    *layout = {};
    layout->OptionalHeader = optional;
    layout->SectionTable = sectionTable;
    if (options.Version) {
      layout->ResourceSection = sections[rsrcIndex].rawPointer;
      layout->VersionData = sections[rsrcIndex].rawPointer + 0x58;
      layout->VersionSize = version.size();
    }
  }
  return b;
}

void WritePeFile(const std::string& hostPath, const TPeOptions& options) {
  WriteHostFile(hostPath, BuildPeFile(options));
}

} // namespace quillon::kit
