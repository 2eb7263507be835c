#include "formats/CookiesTxt.h"

#include "formats/StoreLimits.h"
#include "model/DateUtils.h"
#include "platform/TextLines.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace quillon {

namespace {

bool IsFieldSeparator(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// Calls onField for each field of a cookies.txt line. An unquoted field is a view into the
// line; a quoted one is built in scratch, which the next field may overwrite.
template <class F>
void ForEachCookieField(std::string_view line, std::string& scratch, F&& onField) {
  std::size_t pos = 0;
  while (true) {
    while (pos < line.size() && IsFieldSeparator(line[pos]))
      ++pos;
    if (pos >= line.size())
      return;
    if (line[pos] == '"') {
      scratch.clear();
      ++pos;
      while (pos < line.size()) {
        const std::size_t quote = line.find('"', pos);
        if (quote == std::string_view::npos) {
          scratch.append(line.substr(pos));
          pos = line.size();
          break;
        }
        scratch.append(line.substr(pos, quote - pos));
        pos = quote + 1;
        if (pos < line.size() && line[pos] == '"') {
          scratch += '"';
          ++pos;
          continue;
        }
        break;
      }
      onField(std::string_view(scratch));
    } else {
      const std::size_t start = pos;
      while (pos < line.size() && !IsFieldSeparator(line[pos]))
        ++pos;
      onField(line.substr(start, pos - start));
    }
  }
}

// A cookie line has seven fields; the smallest is seven one-byte fields and six separators.
constexpr std::size_t kCookieFields = 7;
constexpr std::size_t kShortestCookieLine = 13;

// The fields of a cookies.txt line that makes a cookie, reused from line to line so that short
// fields cost no allocation.
using TCookieFields = std::array<std::string, kCookieFields>;

// Splits a line into fields; true when it has exactly the seven of a cookie.
bool SplitCookieLine(std::string_view line, std::string& scratch, TCookieFields& fields) {
  std::size_t count = 0;
  ForEachCookieField(line, scratch, [&](std::string_view field) {
    if (count < kCookieFields)
      fields[count].assign(field);
    ++count;
  });
  return count == kCookieFields;
}

// Calls onLine for each line of a cookies.txt that can be a cookie: comments and lines too short
// for seven fields are passed over.
template <class F> void ForEachCookieLine(std::string_view text, F&& onLine) {
  TTextLineReader reader(text);
  TTextLine line;
  while (reader.Next(line)) {
    if (line.Text.size() >= kShortestCookieLine && line.Text.front() != '#')
      onLine(line.Text);
  }
}

// The browsers open cookies.txt with a block of "# " comment lines and an empty line; a rewrite
// puts its own block there instead. (#HttpOnly_ cookies start with "#" but are no comment.)
bool IsCookiesTxtHeaderLine(std::string_view line) {
  return line.empty() || line.starts_with("# ");
}

} // namespace

std::vector<std::string> SplitCookieFields(std::string_view line) {
  std::vector<std::string> fields;
  std::string scratch;
  ForEachCookieField(line, scratch, [&](std::string_view field) { fields.emplace_back(field); });
  return fields;
}

void ParseCookiesTxt(std::string_view text, const std::string& location, TCacheList& list) {
  // What the entries will take is counted before any is made.
  TCookieFields fields;
  std::string scratch;
  std::uint64_t entries = 0;
  std::uint64_t entryCost = 0;
  ForEachCookieLine(text, [&](std::string_view l) {
    if (!SplitCookieLine(l, scratch, fields))
      return;
    ++entries;
    entryCost += kListedEntryCost + ItemTextCost(location.size()) + ItemTextCost(l.size());
    for (const std::size_t field : {0, 2, 5, 6})
      entryCost += ItemTextCost(fields[field].size());
  });
  // Lines are sorted as the system orders text ignoring case. One sort key per line, all kept
  // in one buffer and compared with memcmp, gives that order without a call per comparison.
  // The keys, as long as their lines, go before the entries come, which take more.
  struct TKeyedLine {
    std::size_t keyStart;
    std::uint32_t keyLength, textStart, textLength; // the file is far below 4 GB
  };
  CheckStoreMemory(location, text.size(), text.size() + entries * sizeof(TKeyedLine) + entryCost,
                   entries, "cookies");

  std::vector<TKeyedLine> lines;
  lines.reserve(entries);
  std::string keys, key;
  keys.reserve(text.size());
  ForEachCookieLine(text, [&](std::string_view l) {
    if (!SplitCookieLine(l, scratch, fields))
      return;
    winapi::LCMapString(winapi::LOCALE_USER_DEFAULT,
                        winapi::LCMAP_SORTKEY | winapi::NORM_IGNORECASE, l, key);
    lines.push_back({keys.size(), static_cast<std::uint32_t>(key.size()),
                     static_cast<std::uint32_t>(l.data() - text.data()),
                     static_cast<std::uint32_t>(l.size())});
    keys += key;
  });
  const auto keyOf = [&keys](const TKeyedLine& l) {
    return std::string_view(keys.data() + l.keyStart, l.keyLength);
  };
  std::stable_sort(lines.begin(), lines.end(), [&keyOf](const TKeyedLine& a, const TKeyedLine& b) {
    return keyOf(a) < keyOf(b);
  });
  std::string().swap(keys);

  for (const TKeyedLine& keyed : lines) {
    const std::string_view l = text.substr(keyed.textStart, keyed.textLength);
    SplitCookieLine(l, scratch, fields);
    TCacheItem& item = list.Add();
    item.CacheFile = location;
    item.Host = fields[0];
    item.Path = fields[2];
    TryUnixTimeTextToDateTime(fields[4], item.Expires);
    item.Name = fields[5];
    item.Content = fields[6];
    item.Plaintext = l;
  }
}

TCookiesTxtRewrite RewriteCookiesTxt(std::string_view original, TLineCounts& toRemove) {
  // Everything that is not a line to remove stays, in file order: comments, #HttpOnly_ lines,
  // lines the list never showed. The file's own header block gives way to the header.
  TCookiesTxtRewrite rewrite;
  std::string& content = rewrite.Content;
  content.reserve(kCookiesTxtHeader.size() + original.size() + original.size() / 32);
  content += kCookiesTxtHeader;
  TTextLineReader reader(original);
  TTextLine line;
  bool inHeader = true;
  while (reader.Next(line)) {
    if (inHeader && IsCookiesTxtHeaderLine(line.Text))
      continue;
    inHeader = false;
    if (const auto it = toRemove.find(line.Text); it != toRemove.end() && it->second > 0) {
      --it->second;
      ++rewrite.Removed;
      continue;
    }
    content += line.Text;
    content += '\n';
  }
  return rewrite;
}

} // namespace quillon
