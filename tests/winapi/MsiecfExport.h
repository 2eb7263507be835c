#pragma once
// Cross-checks an index.dat with an independent reader: runs msiecfexport (libmsiecf-utils) on a
// host file and turns its listing into one line per URL record, in the same words as
// MsiecfLines(TIndexDat) gives for ours, so that a test compares the two sorted lists.
// Tests skip the check when the tool is missing (MsiecfExportAvailable).

#include "winapi/image/IndexDat.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quillon::test {

inline bool MsiecfExportAvailable() {
  return std::system("command -v msiecfexport >/dev/null 2>&1") == 0;
}

// A FILETIME as msiecfexport prints it ("Aug 25, 2015 11:05:20.262000000"), or to the second for
// the fields the file keeps as FAT date-times.
inline std::string MsiecfTime(winapi::TFileTime time, bool withFraction) {
  const std::uint64_t ticks = time.dwLowDateTime | (std::uint64_t{time.dwHighDateTime} << 32);
  const auto seconds = static_cast<std::time_t>(ticks / 10000000) - 11644473600;
  std::tm tm{};
  ::gmtime_r(&seconds, &tm);
  std::array<char, 64> text{};
  std::strftime(text.data(), text.size(), "%b %d, %Y %H:%M:%S", &tm);
  std::string out = text.data();
  if (withFraction) {
    std::array<char, 16> fraction{};
    std::snprintf(fraction.data(), fraction.size(), ".%07u00",
                  static_cast<unsigned>(ticks % 10000000));
    out += fraction.data();
  }
  return out;
}

// "offset|location|primary|secondary|expiration|last checked|file name|cache folder name", with
// an empty field where msiecfexport prints no line (a zero time, no file, no folder).
inline std::vector<std::string> MsiecfLines(const winapi::image::TIndexDat& dat) {
  std::vector<std::string> lines;
  const auto time = [](winapi::TFileTime t, bool fraction) {
    return t.dwLowDateTime == 0 && t.dwHighDateTime == 0 ? std::string() : MsiecfTime(t, fraction);
  };
  for (const auto& r : dat.Records) {
    const bool fat = dat.Version == "5.2"; // 4.7 keeps the expiry as a FILETIME
    const std::string folder =
        r.CacheFolder < dat.CacheFolders.size() ? dat.CacheFolders[r.CacheFolder] : std::string();
    lines.push_back(std::to_string(r.Offset) + "|" + r.Url + "|" + time(r.LastAccess, true) + "|" +
                    time(r.LastModified, true) + "|" + time(r.Expire, !fat) + "|" +
                    time(r.LastSync, false) + "|" + r.FileName + "|" + folder);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// msiecfexport's URL records of a host file in the words of MsiecfLines, sorted; nullopt when it
// cannot open the file.
inline std::optional<std::vector<std::string>> MsiecfExportLines(const std::string& hostPath) {
  std::string out;
  FILE* pipe = ::popen(("msiecfexport '" + hostPath + "' 2>/dev/null").c_str(), "r");
  if (!pipe)
    return std::nullopt;
  std::array<char, 4096> buf{};
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
    out.append(buf.data(), n);
  if (::pclose(pipe) != 0)
    return std::nullopt;

  enum Field { Offset, Location, Primary, Secondary, Expiration, Checked, FileName, Folder, Count };
  std::vector<std::string> lines;
  std::array<std::string, Count> fields;
  bool inUrl = false;
  const auto flush = [&] {
    if (inUrl) {
      std::string line;
      for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i ? "|" : "") + fields[i];
      lines.push_back(line);
    }
    fields = {};
    inUrl = false;
  };
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const auto colon = line.find("\t: ");
    if (colon == std::string::npos)
      continue;
    std::string key = line.substr(0, colon);
    key.erase(key.find_last_not_of('\t') + 1);
    const std::string value = line.substr(colon + 3);
    if (key == "Record type") {
      flush();
      inUrl = value == "URL";
    } else if (key == "Offset range") {
      fields[Offset] = value.substr(0, value.find(' '));
    } else if (key == "Location") {
      fields[Location] = value;
    } else if (key == "Primary time") {
      fields[Primary] = value;
    } else if (key == "Secondary time") {
      fields[Secondary] = value;
    } else if (key == "Expiration time") {
      fields[Expiration] = value;
    } else if (key == "Last checked time") {
      fields[Checked] = value;
    } else if (key == "Filename") {
      fields[FileName] = value;
    } else if (key == "Cache directory index") {
      // "0 (0x00)(ENG3X4ZR)", or "-2 (0xfe)" for none.
      const auto open = value.find(")(");
      if (open != std::string::npos)
        fields[Folder] = value.substr(open + 2, value.size() - open - 3);
    }
  }
  flush();
  std::sort(lines.begin(), lines.end());
  return lines;
}

} // namespace quillon::test
