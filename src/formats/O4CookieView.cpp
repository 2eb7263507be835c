#include "formats/O4CookieView.h"

#include "model/DateUtils.h"

#include <cstddef>
#include <span>

namespace quillon {

namespace {

constexpr std::array<TO4Column, kO4CookieColumnCount> kColumns = {{
    {"Domain Path", 120},
    {"Name", 80},
    {"Value", 100},
    {"Expires", 120},
    {"Last Used", 120},
    {"Comment", 50},
    {"CommentURL", 50},
    {"Port List", 50},
    {"Receive Domain", 50},
    {"Receive Path", 50},
    {"Secure", 50},
    {"Server Send Back", 50},
    {"Protected", 50},
    {"Prefixed", 50},
    {"3rd Party", 50},
    {"Authenticate", 50},
    {"Password", 50},
    {"Version", 50},
}};

std::string FlagText(bool flag) {
  return flag ? "True" : "False";
}

bool NeedsQuotes(std::string_view item, char delimiter) {
  for (const char c : item)
    if (c == delimiter || c == '"' || static_cast<unsigned char>(c) <= ' ')
      return true;
  return false;
}

// Appends text, cut where the whole would pass the cap; answers whether it was cut.
bool AppendCapped(std::string& out, std::string_view text) {
  if (out.size() + text.size() <= kO4MaxDomainPathBytes) {
    out += text;
    return false;
  }
  out += text.substr(0, kO4MaxDomainPathBytes - out.size());
  return true;
}

} // namespace

std::string O4DomainChildText(const TO4Domain& domain, int row) {
  switch (row) {
  case 0:
    return "Size: " + std::to_string(domain.RecordSize());
  case 1:
    return "Filter Type: " + std::to_string(domain.FilterType);
  case 2:
    return "Match Type: " + std::to_string(domain.MatchType);
  case 3:
    return "Accept Type: " + std::to_string(domain.AcceptType);
  case kO4PathsChild:
    return "Paths";
  case kO4DomainsChild:
    return "Domains";
  default:
    return {};
  }
}

int O4PathRowCount(const TO4Domain& domain) {
  return domain.Paths().empty() ? 1 : static_cast<int>(domain.Paths().size());
}

std::string O4PathRowText(const TO4Domain& domain, int row) {
  const std::vector<std::string>& paths = domain.Paths();
  if (paths.empty())
    return row == 0 ? std::string(kO4NoneText) : std::string();
  return row >= 0 && static_cast<std::size_t>(row) < paths.size()
             ? paths[static_cast<std::size_t>(row)]
             : std::string();
}

int O4SubDomainRowCount(const TO4Domain& domain) {
  return domain.DomainCount() == 0 ? 1 : domain.DomainCount();
}

const TO4Domain* O4SubDomainRow(const TO4Domain& domain, int row) {
  return row >= 0 && row < domain.DomainCount()
             ? domain.Domains()[static_cast<std::size_t>(row)].get()
             : nullptr;
}

void VisitO4CookieTree(const TO4Domains& root, const TO4TreeVisit& visit) {
  struct TFrame {
    std::span<const std::unique_ptr<TO4Domain>> domains;
    std::size_t next;
    int level;
  };
  std::vector<TFrame> stack{{root.Domains(), 0, 0}};
  while (!stack.empty()) {
    TFrame& frame = stack.back();
    if (frame.next == frame.domains.size()) {
      stack.pop_back();
      continue;
    }
    const TO4Domain& domain = *frame.domains[frame.next++];
    const int level = frame.level;
    visit(level, domain.Name);
    for (int row = 0; row < kO4DomainChildCount; ++row) {
      visit(level + 1, O4DomainChildText(domain, row));
      if (row == kO4PathsChild)
        for (int p = 0; p < O4PathRowCount(domain); ++p)
          visit(level + 2, O4PathRowText(domain, p));
    }
    // The sub-domains follow their "Domains" node, before the next domain of this level.
    if (domain.DomainCount() == 0)
      visit(level + 2, kO4NoneText);
    else
      stack.push_back({domain.Domains(), 0, level + 2});
  }
}

const std::array<TO4Column, kO4CookieColumnCount>& O4CookieColumns() {
  return kColumns;
}

std::vector<const TO4Cookie*> O4CookieRows(const TO4Domains& root) {
  std::vector<const TO4Cookie*> rows;
  std::vector<std::span<const std::unique_ptr<TO4Domain>>> stack{root.Domains()};
  while (!stack.empty()) {
    auto& domains = stack.back();
    if (domains.empty()) {
      stack.pop_back();
      continue;
    }
    const TO4Domain& domain = *domains.front();
    domains = domains.subspan(1);
    for (const auto& cookie : domain.Cookies())
      rows.push_back(cookie.get());
    if (domain.DomainCount() > 0)
      stack.push_back(domain.Domains());
  }
  return rows;
}

std::string O4DelimitedText(const std::vector<std::string>& items, char delimiter) {
  if (items.size() == 1 && items[0].empty())
    return "\"\"";
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0)
      text += delimiter;
    const std::string& item = items[i];
    if (!NeedsQuotes(item, delimiter)) {
      text += item;
      continue;
    }
    text += '"';
    for (const char c : item) {
      if (c == '"')
        text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

std::string O4DomainPathText(const TO4Domain& domain) {
  // The full name is built here rather than with FullName so that a chain of domains nested
  // deeper than any real name costs no more than the cap.
  std::string text;
  bool cut = AppendCapped(text, domain.Name);
  for (const TO4Domains* node = domain.Parent(); !cut && node != nullptr;) {
    const auto* enclosing = dynamic_cast<const TO4Domain*>(node);
    if (enclosing == nullptr)
      break;
    cut = AppendCapped(text, ".") || AppendCapped(text, enclosing->Name);
    node = enclosing->Parent();
  }
  if (!cut)
    cut = AppendCapped(text, "/");
  if (!cut) {
    // Joined only up to what can still be shown: a domain may hold very many paths.
    std::vector<std::string> shown;
    std::size_t bytes = text.size();
    for (const std::string& path : domain.Paths()) {
      shown.push_back(path);
      bytes += path.size() + 1;
      if (bytes > kO4MaxDomainPathBytes)
        break;
    }
    cut = AppendCapped(text, O4DelimitedText(shown, '/')) || shown.size() < domain.Paths().size();
  }
  if (cut)
    text += kO4CutMark;
  return text;
}

std::string O4TimeText(std::uint64_t seconds, const TFormatSettings& settings) {
  std::string text;
  if (!TryFormatDateTime("c", O4TimeToDateTime(static_cast<std::uint32_t>(seconds)), text,
                         settings))
    return "?!";
  return text;
}

std::string O4CookieCellText(const TO4Cookie& cookie, int column, const TFormatSettings& settings) {
  switch (column) {
  case 0:
    return cookie.Domain() != nullptr ? O4DomainPathText(*cookie.Domain()) : std::string();
  case 1:
    return cookie.Name;
  case 2:
    return cookie.Value;
  case 3:
    return O4TimeText(cookie.Expires, settings);
  case 4:
    return O4TimeText(cookie.LastUsed, settings);
  case 5:
    return cookie.Comment;
  case 6:
    return cookie.CommentURL;
  case 7:
    return cookie.PortList;
  case 8:
    return cookie.ReceiveDomain;
  case 9:
    return cookie.ReceivePath;
  case 10:
    return FlagText(cookie.Secure);
  case 11:
    return FlagText(cookie.ServerSendBack);
  case 12:
    return FlagText(cookie.Protected);
  case 13:
    return FlagText(cookie.Prefixed);
  case 14:
    return FlagText(cookie.ThirdParty);
  case 15:
    return FlagText(cookie.Authenticate);
  case 16:
    return FlagText(cookie.Password);
  case 17:
    return std::to_string(cookie.Version);
  default:
    return {};
  }
}

std::string O4CacheCellText(const TO4CacheEntry& entry, int column,
                            const TFormatSettings& settings) {
  switch (column) {
  case 0:
    return entry.Url;
  case 1:
    return entry.FileName;
  case 2:
    return entry.HTTPRecord.Tag15;
  case 3:
    return O4TimeText(entry.HTTPRecord.Expires, settings);
  default:
    return {};
  }
}

std::string O4LoadMessage(bool valid, const TO4LoadStop& stop, std::string_view kind) {
  if (!valid)
    return "Not an Opera " + std::string(kind) + ": its header is not one Opera writes.";
  if (!stop.Stopped)
    return {};
  return "The " + std::string(kind) + " could be read only up to byte " +
         std::to_string(stop.Offset) + " (" + stop.Reason + "); the rest is not shown.";
}

} // namespace quillon
