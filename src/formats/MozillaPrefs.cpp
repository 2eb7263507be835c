#include "formats/MozillaPrefs.h"

#include "formats/FileErrors.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "platform/TextLines.h"
#include "winapi/WinApi.h"

#include <array>
#include <charconv>
#include <optional>
#include <stdexcept>

namespace quillon {

namespace {

constexpr std::string_view kStatementStart = "user_pref(";
constexpr std::string_view kStatementEnd = ");";
constexpr std::string_view kTitleLine = "# Mozilla User Preferences";
constexpr std::string_view kMarkerLine = "# Modified by Brindleaf";

bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

bool IsTrimmed(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string FoldCase(std::string_view s) {
  std::string folded(s);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool TryParseInt32(std::string_view text, std::int32_t& value) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-')
      return false;
  }
  if (text.empty())
    return false;
  std::int32_t parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size())
    return false;
  value = parsed;
  return true;
}

// One item of a statement's argument list, unquoted, and the text it came from (between the
// quotes for a quoted item).
struct TArgument {
  std::string Value;
  std::string_view Source;
  bool Quoted = false;
};

// Splits comma text as the statement's arguments are split: blanks (codes 1 to 32) separate, a
// quoted item runs to its closing quote with "" standing for one quote, one comma between items,
// and a comma that ends the text adds an empty item. Answers the number of items, 3 standing for
// "more than two"; only the first two are kept.
int SplitArguments(std::string_view s, std::array<TArgument, 2>& items) {
  // The text ends at a NUL byte as it did for the browsers' own string handling.
  s = s.substr(0, s.find('\0'));
  const std::size_t n = s.size();
  std::size_t p = 0;
  int count = 0;
  while (p < n && IsBlank(s[p]))
    ++p;
  const auto add = [&](TArgument item) {
    if (count < 2)
      items[count] = std::move(item);
    ++count;
  };
  while (p < n && count <= 2) {
    TArgument item;
    if (s[p] == '"') {
      item.Quoted = true;
      std::size_t q = p + 1;
      while (q < n) {
        if (s[q] == '"') {
          if (q + 1 < n && s[q + 1] == '"') {
            item.Value += '"';
            q += 2;
            continue;
          }
          break;
        }
        item.Value += s[q++];
      }
      item.Source = s.substr(p + 1, q - (p + 1));
      p = q < n ? q + 1 : n;
    } else {
      std::size_t q = p;
      while (q < n && !IsBlank(s[q]) && s[q] != ',')
        ++q;
      item.Source = s.substr(p, q - p);
      item.Value = std::string(item.Source);
      p = q;
    }
    add(std::move(item));
    while (p < n && IsBlank(s[p]))
      ++p;
    if (p < n && s[p] == ',') {
      ++p;
      if (p == n)
        add({});
      while (p < n && IsBlank(s[p]))
        ++p;
    }
  }
  return count > 2 ? 3 : count;
}

// A user_pref statement as read from one line.
struct TStatement {
  std::size_t Begin = 0; // where "user_pref(" starts in the line
  std::size_t End = 0;   // just behind the final ");"
  std::array<TArgument, 2> Args;
  TPrefDataType Type = pdString;
  bool Boolean = false;
  std::int32_t Integer = 0;
};

std::optional<TStatement> ParseStatement(std::string_view line) {
  std::size_t first = 0;
  std::size_t last = line.size();
  while (first < last && IsTrimmed(line[first]))
    ++first;
  while (last > first && IsTrimmed(line[last - 1]))
    --last;
  const std::string_view trimmed = line.substr(first, last - first);
  const std::size_t start = trimmed.find(kStatementStart);
  if (start == std::string_view::npos || !trimmed.ends_with(kStatementEnd))
    return std::nullopt;
  const std::size_t innerBegin = start + kStatementStart.size();
  const std::size_t innerEnd = trimmed.size() - kStatementEnd.size();
  if (innerBegin > innerEnd)
    return std::nullopt;
  const std::string_view inner = trimmed.substr(innerBegin, innerEnd - innerBegin);

  TStatement st;
  if (SplitArguments(inner, st.Args) != 2)
    return std::nullopt;
  st.Begin = first + start;
  st.End = last;
  // Only a value written without quotes is typed; the test is on the statement's own text, so
  // a quoted "1" stays a string.
  if (inner.empty() || inner.back() != '"') {
    const std::string& value = st.Args[1].Value;
    if (value == "true" || value == "false") {
      st.Type = pdBoolean;
      st.Boolean = value == "true";
    } else if (TryParseInt32(value, st.Integer)) {
      st.Type = pdInteger;
    }
  }
  return st;
}

// A string as the browsers write it between quotes, so that they read back exactly this value.
std::string EscapeString(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (const char c : s) {
    switch (c) {
    case '\\':
      out += "\\\\";
      break;
    case '"':
      out += "\\\"";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    default:
      out += c;
    }
  }
  return out;
}

// An unquoted item of the file in quotes, read back as the same text: quotes inside doubled.
std::string QuoteDoubling(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    out += c;
    if (c == '"')
      out += '"';
  }
  return out + '"';
}

std::string ValueText(const TMozillaPrefsItem& item) {
  switch (item.DataType) {
  case pdBoolean:
    return item.DataBoolean ? "true" : "false";
  case pdInteger:
    return std::to_string(item.DataInteger);
  case pdString:
    break;
  }
  return '"' + EscapeString(item.DataString) + '"';
}

void AppendStatement(std::string& out, std::string_view quotedName, std::string_view value) {
  out += kStatementStart;
  out += quotedName;
  out += ", ";
  out += value;
  out += kStatementEnd;
}

// Whether the entry still holds what its statement says, as far as the file shows it.
bool Unchanged(const TMozillaPrefsItem& item, const TStatement& st) {
  if (item.Name != st.Args[0].Value || item.DataType != st.Type)
    return false;
  switch (item.DataType) {
  case pdBoolean:
    return item.DataBoolean == st.Boolean;
  case pdInteger:
    return item.DataInteger == st.Integer;
  case pdString:
    break;
  }
  return item.DataString == st.Args[1].Value;
}

// What the entry of one statement takes besides its texts: the entry and its slot in the list,
// and in the name index its node, its bucket and the vector of its positions.
constexpr std::uint64_t kPrefEntryCost =
    AllocationCost(sizeof(TMozillaPrefsItem)) + 2 * sizeof(void*) +
    AllocationCost(sizeof(std::pair<const std::string, std::vector<std::size_t>>) +
                   2 * sizeof(void*)) +
    2 * sizeof(void*) + AllocationCost(sizeof(std::size_t));

// What the entries of the statements in text take once read and looked up; count gets their
// number.
std::uint64_t EntriesCost(std::string_view text, std::uint64_t& count) {
  std::uint64_t cost = 0;
  count = 0;
  TTextLineReader reader(text);
  TTextLine line;
  while (reader.Next(line)) {
    if (const auto st = ParseStatement(line.Text)) {
      ++count;
      // The name twice: in the entry and, folded, in the index.
      cost += kPrefEntryCost + 2 * StringHeapCost(st->Args[0].Value.size()) +
              StringHeapCost(st->Args[1].Value.size());
    }
  }
  return cost;
}

} // namespace

std::string TMozillaPrefsItem::DisplayName() const {
  return Name.empty() ? "TMozillaPrefsItem" : Name;
}

void TMozillaPrefsList::LoadFromFile(const std::string& fileName) {
  LoadFromText({});
  CheckStoreSize(fileName, kPrefsJsLimit, "a preferences file");
  std::string text;
  if (!winapi::ReadWholeFile(fileName, text))
    RaiseFileOpenError(fileName);
  std::uint64_t statements = 0;
  const std::uint64_t cost = EntriesCost(text, statements);
  CheckStoreMemory(fileName, text.size(), text.size() + cost, statements, "preferences");
  LoadFromText(std::move(text));
}

void TMozillaPrefsList::LoadFromText(std::string text) {
  text_ = std::move(text);
  items_.clear();
  headerLines_ = 0;
  headerEnd_ = 0;
  lineBreak_ = "\r\n";
  indexValid_ = false;

  // The header written back replaces the file's own title (and our marker and the empty line
  // after them), so that saving again and again does not pile up headers. Steps: 0 the title may
  // come, 1 the marker or an empty line may, 2 an empty line may, 3 the header is over.
  int headerStep = 0;
  TTextLineReader reader(text_);
  TTextLine line;
  bool breakSeen = false;
  while (reader.Next(line)) {
    if (!breakSeen && !line.Break.empty()) {
      lineBreak_ = std::string(line.Break);
      breakSeen = true;
    }
    if (headerStep < 3) {
      const std::string_view t = line.Text;
      const bool header = (headerStep == 0 && t == kTitleLine) ||
                          (headerStep == 1 && (t == kMarkerLine || t.empty())) ||
                          (headerStep == 2 && t.empty());
      if (header) {
        ++headerLines_;
        headerEnd_ =
            static_cast<std::size_t>(t.data() - text_.data()) + t.size() + line.Break.size();
        headerStep = headerStep == 1 && t.empty() ? 3 : headerStep + 1;
        continue;
      }
      headerStep = 3;
    }
    if (const auto st = ParseStatement(line.Text)) {
      auto& item = *items_.emplace_back(std::make_unique<TMozillaPrefsItem>());
      item.Name = st->Args[0].Value;
      item.DataString = st->Args[1].Value;
      item.DataType = st->Type;
      item.DataBoolean = st->Boolean;
      item.DataInteger = st->Integer;
      item.lineOffset_ = static_cast<std::size_t>(line.Text.data() - text_.data());
      item.lineLength_ = line.Text.size();
    }
  }
}

void TMozillaPrefsList::SaveToFile(const std::string& fileName) const {
  if (!ReplaceStoreFile(fileName, SaveToText()))
    RaiseFileCreateError(fileName);
}

void TMozillaPrefsList::AppendLine(std::string& out, const TMozillaPrefsItem& item) const {
  const std::string_view text = std::string_view(text_).substr(item.lineOffset_, item.lineLength_);
  const auto st = ParseStatement(text);
  if (!st || Unchanged(item, *st)) {
    out += text;
    return;
  }
  // Only the statement is written anew; what stands around it on the line (indentation, a
  // comment marker in front, blanks behind) stays. A name or value that is unchanged keeps the
  // spelling it was read from, so that escapes the browser wrote are not escaped a second time.
  const auto quotedAsRead = [](const TArgument& arg) {
    return arg.Quoted ? '"' + std::string(arg.Source) + '"' : QuoteDoubling(arg.Value);
  };
  const TArgument& name = st->Args[0];
  const TArgument& value = st->Args[1];
  const std::string quotedName =
      item.Name == name.Value ? quotedAsRead(name) : '"' + EscapeString(item.Name) + '"';
  const std::string valueText = item.DataType == pdString && item.DataString == value.Value
                                    ? quotedAsRead(value)
                                    : ValueText(item);
  out += text.substr(0, st->Begin);
  AppendStatement(out, quotedName, valueText);
  out += text.substr(st->End);
}

std::string TMozillaPrefsList::SaveToText() const {
  std::string out;
  out.reserve(text_.size() + 128);
  if (headerLines_ == 3) {
    // The file already starts with this header: it goes back as it stands, breaks included.
    // Written with the first break instead, a lone CR there would pair up with an empty line
    // ending in LF behind it into one CR LF, and that line would be lost on the next read.
    out.append(text_, 0, headerEnd_);
  } else {
    out += kTitleLine;
    out += lineBreak_;
    out += kMarkerLine;
    out += lineBreak_;
    out += lineBreak_;
  }
  // The text between the entries' lines, their breaks included, goes back as it stands.
  std::size_t pos = headerEnd_;
  for (const auto& item : items_) {
    if (item->lineOffset_ == TMozillaPrefsItem::kNoLine)
      continue;
    out.append(text_, pos, item->lineOffset_ - pos);
    AppendLine(out, *item);
    pos = item->lineOffset_ + item->lineLength_;
  }
  out.append(text_, pos);
  bool needBreak = headerEnd_ < text_.size() && text_.back() != '\n' && text_.back() != '\r';
  for (const auto& item : items_) {
    if (item->lineOffset_ != TMozillaPrefsItem::kNoLine)
      continue;
    if (needBreak)
      out += lineBreak_;
    AppendStatement(out, '"' + EscapeString(item->Name) + '"', ValueText(*item));
    out += lineBreak_;
    needBreak = false;
  }
  return out;
}

TMozillaPrefsItem& TMozillaPrefsList::Add() {
  indexValid_ = false;
  return *items_.emplace_back(std::make_unique<TMozillaPrefsItem>());
}

TMozillaPrefsItem& TMozillaPrefsList::Items(int index) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("TMozillaPrefsList index out of range");
  indexValid_ = false;
  return *items_[static_cast<std::size_t>(index)];
}

const TMozillaPrefsItem& TMozillaPrefsList::Items(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("TMozillaPrefsList index out of range");
  return *items_[static_cast<std::size_t>(index)];
}

void TMozillaPrefsList::RebuildIndex() const {
  index_.clear();
  index_.reserve(items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i)
    index_[FoldCase(items_[i]->Name)].push_back(i);
  indexValid_ = true;
}

std::ptrdiff_t TMozillaPrefsList::FindFirst(std::string_view name) const {
  if (!indexValid_)
    RebuildIndex();
  const auto it = index_.find(FoldCase(name));
  return it == index_.end() ? -1 : static_cast<std::ptrdiff_t>(it->second.front());
}

bool TMozillaPrefsList::Exists(std::string_view name) const {
  if (!indexValid_)
    RebuildIndex();
  const auto it = index_.find(FoldCase(name));
  if (it == index_.end())
    return false;
  for (const std::size_t i : it->second) {
    if (items_[i]->Name == name)
      return true;
  }
  return false;
}

std::string TMozillaPrefsList::ReadString(std::string_view name) const {
  const std::ptrdiff_t i = FindFirst(name);
  return i < 0 ? std::string() : items_[static_cast<std::size_t>(i)]->DataString;
}

std::int32_t TMozillaPrefsList::ReadInteger(std::string_view name) const {
  const std::ptrdiff_t i = FindFirst(name);
  if (i < 0)
    return 0;
  const TMozillaPrefsItem& item = *items_[static_cast<std::size_t>(i)];
  return item.DataType == pdInteger ? item.DataInteger : 0;
}

void TMozillaPrefsList::WriteString(std::string_view name, std::string_view value) {
  const std::ptrdiff_t found = FindFirst(name);
  TMozillaPrefsItem* item = found < 0 ? nullptr : items_[static_cast<std::size_t>(found)].get();
  if (item == nullptr) {
    item = items_.emplace_back(std::make_unique<TMozillaPrefsItem>()).get();
    item->Name = std::string(name);
    item->DataType = pdString;
    // The index stays valid: the new entry is the last one of its name.
    index_[FoldCase(name)].push_back(items_.size() - 1);
  }
  item->DataString = std::string(value);
  switch (item->DataType) {
  case pdBoolean:
    if (value == "true" || value == "false")
      item->DataBoolean = value == "true";
    else
      item->DataType = pdString;
    break;
  case pdInteger:
    if (!TryParseInt32(value, item->DataInteger))
      item->DataType = pdString;
    break;
  case pdString:
    break;
  }
}

} // namespace quillon
