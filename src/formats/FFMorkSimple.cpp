#include "formats/FFMorkSimple.h"

#include "formats/FileErrors.h"
#include "formats/StoreLimits.h"
#include "platform/TextLines.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace quillon {

namespace {

constexpr std::array<std::string_view, 9> kStateNames = {
    "None",         "Fields",     "FieldsSub",      "FieldsLeft",    "Contents",
    "ContentsLeft", "Assignment", "AssignmentData", "AssignmentLeft"};

// Bytes the scanner acts on; any other byte in the middle of a line only extends the text.
constexpr std::array<bool, 256> MakeActionTable() {
  std::array<bool, 256> table{};
  for (const char c : {'\r', '\n', '(', ')', '<', '>', '[', ']'})
    table[static_cast<unsigned char>(c)] = true;
  return table;
}
constexpr std::array<bool, 256> kActsOn = MakeActionTable();

bool ActsOn(char c) {
  return kActsOn[static_cast<unsigned char>(c)];
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

void AppendDecoded(std::string& out, std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t dollar = text.find('$', pos);
    if (dollar == std::string_view::npos) {
      out.append(text.substr(pos));
      return;
    }
    out.append(text.substr(pos, dollar - pos));
    const int high = dollar + 2 < text.size() ? HexDigitValue(text[dollar + 1]) : -1;
    const int low = high >= 0 ? HexDigitValue(text[dollar + 2]) : -1;
    if (low >= 0) {
      out += static_cast<char>(high * 16 + low);
      pos = dollar + 3;
    } else {
      out += '$';
      pos = dollar + 1;
    }
  }
}

// A comma-text item is quoted when it holds a blank, a control byte, a comma or a quote.
bool NeedsQuotes(std::string_view item) {
  for (const char c : item) {
    if (static_cast<unsigned char>(c) <= 32 || c == ',' || c == '"')
      return true;
  }
  return false;
}

void AppendCommaItem(std::string& out, std::string_view item) {
  if (!NeedsQuotes(item)) {
    out.append(item);
    return;
  }
  out += '"';
  for (const char c : item) {
    if (c == '"')
      out += '"';
    out += c;
  }
  out += '"';
}

bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

// Calls onItem for each item of a comma text, in order, until it answers true. Blanks around
// items are skipped, a quoted item keeps its blanks and commas and stands for itself with
// doubled quotes undone, and a comma at the very end adds an empty item.
template <class F> void ForEachCommaItem(std::string_view text, F&& onItem) {
  std::size_t p = 0;
  const std::size_t n = text.size();
  while (p < n && IsBlank(text[p]))
    ++p;
  std::string quoted;
  while (p < n && text[p] != '\0') {
    std::string_view item;
    if (text[p] == '"') {
      quoted.clear();
      ++p;
      while (p < n) {
        const std::size_t quote = text.find('"', p);
        if (quote == std::string_view::npos) {
          quoted.append(text.substr(p));
          p = n;
          break;
        }
        quoted.append(text.substr(p, quote - p));
        if (quote + 1 < n && text[quote + 1] == '"') {
          quoted += '"';
          p = quote + 2;
        } else {
          p = quote + 1;
          break;
        }
      }
      item = quoted;
    } else {
      const std::size_t start = p;
      while (p<n&& static_cast<unsigned char>(text[p])> 32 && text[p] != ',')
        ++p;
      item = text.substr(start, p - start);
    }
    if (onItem(item))
      return;
    while (p < n && IsBlank(text[p]))
      ++p;
    if (p < n && text[p] == ',') {
      if (p + 1 == n || text[p + 1] == '\0') {
        onItem(std::string_view{});
        return;
      }
      do
        ++p;
      while (p < n && IsBlank(text[p]));
    }
  }
}

// The text the scanner has gathered since the last "(" or "[". It is nearly always one run of
// the buffer and then stays a view; only a cell broken by a dropped line break or by a ")" is
// copied.
class TAccumulator {
public:
  explicit TAccumulator(std::string_view buffer) : buffer_(buffer) {}

  void Clear() {
    begin_ = end_ = 0;
    copied_ = false;
    copy_.clear();
  }
  // Adds the buffer's bytes [from, to).
  void Add(std::size_t from, std::size_t to) {
    if (!copied_) {
      if (begin_ == end_) {
        begin_ = from;
        end_ = to;
        return;
      }
      if (end_ == from) {
        end_ = to;
        return;
      }
      copy_.assign(buffer_.substr(begin_, end_ - begin_));
      copied_ = true;
    }
    copy_.append(buffer_.substr(from, to - from));
  }
  std::string_view Text() const {
    return copied_ ? std::string_view{copy_} : buffer_.substr(begin_, end_ - begin_);
  }
  // The bytes held in a copy of their own.
  std::size_t CopySize() const { return copied_ ? copy_.size() : 0; }

private:
  std::string_view buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool copied_ = false;
  std::string copy_;
};

} // namespace

std::string_view MorkStateName(TMorkState state) {
  return kStateNames[static_cast<std::size_t>(state)];
}

namespace {

std::size_t HashId(std::string_view id) {
  std::size_t h = 14695981039346656037ull;
  for (const char c : id)
    h = (h ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
  return h ^ (h >> 29);
}

// The number a Mork id stands for: ids are hex numbers of up to 15 digits. False for any other id.
bool HexIdValue(std::string_view id, std::uint64_t& value) {
  if (id.empty() || id.size() > 15)
    return false;
  value = 0;
  for (const char c : id) {
    const int digit = HexDigitValue(c);
    if (digit < 0)
      return false;
    value = value * 16 + static_cast<std::uint64_t>(digit);
  }
  return true;
}

} // namespace

bool TMorkFile::TIdIndex::BuildDirect(const TTextList& list, std::size_t count) {
  // Ids are handed out in counting order, so a dictionary's ids are nearly always dense hex
  // numbers: a table indexed by the number finds an entry with one look and keeps neighbours
  // together. Sparse, non-hex or ambiguous ids ("80" beside "080") take the hash table. A line
  // without "=" (the rest of a value that a ")" inside it cut short) is no entry in either.
  std::uint64_t highest = 0;
  for (std::size_t entry = 0; entry < count; ++entry) {
    const std::string_view text = list[entry];
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos)
      continue; // not an "id=value" entry: no lookup finds it
    std::uint64_t value = 0;
    if (!HexIdValue(text.substr(0, eq), value))
      return false;
    highest = std::max(highest, value);
  }
  if (highest >= 4 * static_cast<std::uint64_t>(count) + 1024)
    return false;
  direct_.assign(static_cast<std::size_t>(highest) + 1, 0);
  for (std::size_t entry = 0; entry < count; ++entry) {
    const std::string_view text = list[entry];
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos)
      continue;
    std::uint64_t value = 0;
    HexIdValue(text.substr(0, eq), value);
    std::uint32_t& slot = direct_[static_cast<std::size_t>(value)];
    if (slot == 0) {
      slot = static_cast<std::uint32_t>(entry + 1);
    } else if (!SameTextAscii(list[slot - 1].substr(0, list[slot - 1].find('=')),
                              text.substr(0, eq))) {
      direct_.clear();
      return false;
    }
  }
  return true;
}

void TMorkFile::TIdIndex::Build(const TTextList& list) {
  Clear();
  if (BuildDirect(list, std::min<std::size_t>(list.size(), UINT32_MAX - 1)))
    return;
  std::size_t capacity = 16;
  while (capacity < list.size() * 2)
    capacity *= 2;
  slots_.resize(capacity);
  const std::size_t mask = capacity - 1;
  const std::size_t count = std::min<std::size_t>(list.size(), UINT32_MAX - 1);
  for (std::size_t entry = 0; entry < count; ++entry) {
    const std::string_view text = list[entry];
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos)
      continue; // not an "id=value" entry: no lookup finds it
    const std::string_view id = text.substr(0, eq);
    for (std::size_t slot = HashId(id) & mask;; slot = (slot + 1) & mask) {
      TSlot& s = slots_[slot];
      if (s.Entry == 0) {
        s = TSlot{static_cast<std::uint32_t>(entry + 1), static_cast<std::uint32_t>(eq)};
        break;
      }
      if (SameTextAscii(list[s.Entry - 1].substr(0, s.IdLength), id))
        break; // an earlier entry has this id already
    }
  }
}

std::string_view TMorkFile::TIdIndex::Find(const TTextList& list, std::string_view id) const {
  if (!direct_.empty()) {
    std::uint64_t value = 0;
    if (!HexIdValue(id, value) || value >= direct_.size() || direct_[value] == 0)
      return {};
    const std::string_view entry = list[direct_[value] - 1];
    const std::size_t eq = entry.find('=');
    return SameTextAscii(entry.substr(0, eq), id) ? entry.substr(eq + 1) : std::string_view{};
  }
  if (slots_.empty())
    return {};
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = HashId(id) & mask;; slot = (slot + 1) & mask) {
    const TSlot& s = slots_[slot];
    if (s.Entry == 0)
      return {};
    const std::string_view entry = list[s.Entry - 1];
    if (SameTextAscii(entry.substr(0, s.IdLength), id))
      return entry.substr(s.IdLength + 1);
  }
}

void TMorkFile::Clear() {
  fieldIndex_.Clear();
  dataIndex_.Clear();
  rawList_.clear();
  fieldList_.clear();
  dataList_.clear();
  tableList_.clear();
  buffer_.clear();
  fileSize_ = 0;
}

void TMorkFile::LoadFromFile(const std::string& fileName) {
  Clear();
  CheckStoreSize(fileName, kMorkLimit, "a Mork file");
  std::string bytes;
  if (!winapi::ReadWholeFile(fileName, bytes))
    RaiseFileOpenError(fileName);
  buffer_ = std::move(bytes);
  fileSize_ = buffer_.size();
  if (!Parse()) {
    const std::uint64_t size = fileSize_;
    Clear();
    throw EFileTooLarge(std::string(StoreFileName(fileName)) +
                        " repeats its cells so often that listing them would take more than the " +
                        SizeText(StoreMemoryBudget(size)) + " of memory a file of " +
                        SizeText(size) + " may use; not read");
  }
}

std::uint64_t TMorkFile::HeldBytes() const {
  return buffer_.size() + rawList_.Bytes() + fieldList_.Bytes() + dataList_.Bytes() +
         tableList_.Bytes() + fieldIndex_.Bytes() + dataIndex_.Bytes();
}

void TMorkFile::LoadFromBuffer(std::string bytes) {
  Clear();
  buffer_ = std::move(bytes);
  fileSize_ = buffer_.size();
  Parse();
}

bool TMorkFile::Parse() {
  const std::string_view buf = buffer_;
  const std::size_t n = buf.size();

  TMorkState state = TMorkState::None;
  TAccumulator text(buf);
  bool prevIsSlash = false;
  bool atLineStart = false;
  bool inComment = false;
  bool inParens = false;
  std::string rowId;
  std::string rowCells; // the current row's cells as comma text
  bool rowHasCells = false;
  std::string decoded;
  // A ")" does not empty the text, so each ")" of a run like "(a)a)a)..." lists all the text
  // before it again, and each "]" lists the last row again: a small hostile file could ask for
  // memory without end. Real files make the lists about their own size (twice it with the raw
  // list); the scan stops before the lists, with the file, would take more than a file of its
  // size may. A dictionary line counts its index slots too (four at most), and the texts being
  // gathered (a cell, a row, a row id) twice their size, since they grow by copying themselves.
  const std::uint64_t budget = StoreMemoryBudget(n) - n;
  constexpr std::uint64_t kIndexSlots = 4 * sizeof(std::uint64_t);
  constexpr std::size_t kNoLine = std::string_view::npos;
  std::uint64_t dictionaryLines = 0;
  // What the reader would take with a line of the given size added to each list (kNoLine for
  // none) and a cell of rowCell bytes added to the row: its decoded copy, and up to twice its
  // size as comma text.
  const auto takenWith = [&](std::size_t raw, std::size_t field, std::size_t data,
                             std::size_t table, std::size_t rowCell) -> std::uint64_t {
    const std::uint64_t gathered =
        text.CopySize() + rowId.size() + rowCells.size() + 3 * rowCell + 1;
    const auto peak = [](const TTextList& list, std::size_t bytes) {
      return bytes == kNoLine ? list.PeakBytesWith(0, 0) : list.PeakBytesWith(bytes, 1);
    };
    const std::uint64_t dictionary =
        dictionaryLines + (field == kNoLine ? 0 : 1) + (data == kNoLine ? 0 : 1);
    return peak(rawList_, raw) + peak(fieldList_, field) + peak(dataList_, data) +
           peak(tableList_, table) + dictionary * kIndexSlots + 2 * gathered;
  };
  // Room for what a history usually gives, so the lists do not copy themselves while growing
  // (untouched room costs no memory).
  if (KeepRawList)
    rawList_.reserve(n + n / 2, n / 16);
  dataList_.reserve(n, n / 32);
  tableList_.reserve(n, n / 64);
  bool complete = true;

  std::size_t i = 0;
  while (i < n && complete) {
    const char c = buf[i];
    // Most bytes sit inside a cell: take the whole run at once.
    if (!atLineStart && !inComment && i >= 2 && !ActsOn(c)) {
      std::size_t end = i + 1;
      while (end < n && !ActsOn(buf[end]))
        ++end;
      text.Add(i, end);
      prevIsSlash = buf[end - 1] == '/';
      i = end;
      continue;
    }
    if (c == '\r' || c == '\n') {
      atLineStart = true;
      inComment = false;
      ++i;
      continue;
    }
    // "//" opens a comment only at the very start of the file or where a line starts with "/"
    // after a line that ended with "/"; elsewhere it is text (URLs are full of it).
    if (c == '/' && prevIsSlash && (atLineStart || i < 2))
      inComment = true;
    if (inComment) {
      std::size_t end = FindLineBreak(buf, i);
      if (end == std::string_view::npos)
        end = n;
      prevIsSlash = buf[end - 1] == '/';
      i = end;
      continue;
    }
    if (atLineStart && c == ' ') {
      prevIsSlash = false;
      ++i;
      continue;
    }

    switch (c) {
    case '(':
      inParens = true;
      if (state == TMorkState::Assignment) {
        rowId.assign(text.Text());
        state = TMorkState::AssignmentData;
      }
      text.Clear();
      break;
    case ')': {
      inParens = false;
      const std::string_view stateName = MorkStateName(state);
      const std::string_view cell = text.Text();
      const std::uint64_t taken =
          takenWith(KeepRawList ? stateName.size() + 3 + cell.size() : kNoLine,
                    state == TMorkState::Fields ? cell.size() : kNoLine,
                    state == TMorkState::Contents ? cell.size() : kNoLine, kNoLine,
                    state == TMorkState::AssignmentData ? cell.size() : 0);
      if (taken > budget) {
        complete = false;
        break;
      }
      if (KeepRawList) {
        rawList_.OpenLine().append(stateName).append(" | ").append(cell);
        rawList_.CloseLine();
      }
      if (state == TMorkState::Fields) {
        AppendDecoded(fieldList_.OpenLine(), cell);
        fieldList_.CloseLine();
        ++dictionaryLines;
      } else if (state == TMorkState::Contents) {
        AppendDecoded(dataList_.OpenLine(), cell);
        dataList_.CloseLine();
        ++dictionaryLines;
      } else if (state == TMorkState::AssignmentData) {
        decoded.clear();
        AppendDecoded(decoded, cell);
        if (rowHasCells)
          rowCells += ',';
        AppendCommaItem(rowCells, decoded);
        rowHasCells = true;
      }
      break; // the text stays: what follows a ")" before the next "(" adds to it
    }
    case '<':
      if (state == TMorkState::None)
        state = TMorkState::Fields;
      else if (state == TMorkState::Fields)
        state = TMorkState::FieldsSub;
      else if (state == TMorkState::FieldsLeft || state == TMorkState::Assignment ||
               state == TMorkState::AssignmentLeft)
        state = TMorkState::Contents;
      else
        text.Add(i, i + 1);
      break;
    case '>':
      if (state == TMorkState::Fields)
        state = TMorkState::FieldsLeft;
      else if (state == TMorkState::FieldsSub)
        state = TMorkState::Fields;
      else if (state == TMorkState::Contents)
        state = TMorkState::ContentsLeft;
      else
        text.Add(i, i + 1);
      break;
    case '[':
      if (inParens) {
        text.Add(i, i + 1);
      } else {
        inParens = true;
        rowId.clear();
        text.Clear();
        rowCells.clear();
        rowHasCells = false;
        state = TMorkState::Assignment;
      }
      break;
    case ']':
      if (inParens) {
        text.Add(i, i + 1);
      } else {
        if (!rowId.empty()) {
          if (takenWith(kNoLine, kNoLine, kNoLine, rowId.size() + 1 + rowCells.size(), 0) >
              budget) {
            complete = false;
            break;
          }
          tableList_.OpenLine().append(rowId).append("=").append(rowCells);
          tableList_.CloseLine();
        }
        state = TMorkState::AssignmentLeft;
      }
      break;
    default:
      text.Add(i, i + 1);
      break;
    }
    atLineStart = false;
    prevIsSlash = c == '/';
    ++i;
  }

  fieldIndex_.Build(fieldList_);
  dataIndex_.Build(dataList_);
  if (!KeepBuffer)
    std::string().swap(buffer_);
  return complete;
}

namespace {

// Splits a row cell "^<column id>=<value>" or "^<column id>^<value id>" into the column id and
// the raw value ("^<value id>" for a reference). False for a cell that does not begin with "^".
bool SplitCell(std::string_view cell, std::string_view& columnId, std::string_view& rawValue) {
  if (cell.empty() || cell.front() != '^')
    return false;
  const std::string_view rest = cell.substr(1);
  if (const std::size_t eq = rest.find('='); eq != std::string_view::npos) {
    columnId = rest.substr(0, eq);
    rawValue = rest.substr(eq + 1);
  } else if (const std::size_t caret = rest.find('^'); caret != std::string_view::npos) {
    columnId = rest.substr(0, caret);
    rawValue = rest.substr(caret);
  } else {
    columnId = {};
    rawValue = rest;
  }
  return true;
}

} // namespace

std::string_view TMorkFile::ResolveValue(std::string_view rawValue) const {
  return rawValue.starts_with('^') ? dataIndex_.Find(dataList_, rawValue.substr(1)) : rawValue;
}

void TMorkFile::ResolveCell(std::string_view cell, std::string& columnName,
                            std::string& value) const {
  std::string_view columnId, rawValue;
  if (SplitCell(cell, columnId, rawValue)) {
    columnName.assign(fieldIndex_.Find(fieldList_, columnId));
    value.assign(ResolveValue(rawValue));
  }
}

std::string TMorkFile::RowId(std::size_t row) const {
  if (row >= tableList_.size())
    return {};
  const std::string_view entry = tableList_[row];
  return std::string(entry.substr(0, entry.find('=')));
}

std::string TMorkFile::CellValue(std::string_view name, std::size_t row) const {
  std::string value;
  CellValues(row, std::span(&name, 1), std::span(&value, 1));
  return value;
}

template <class F>
void TMorkFile::ForEachNamedCell(std::size_t row, std::span<const std::string_view> names,
                                 F&& onValue) const {
  if (row >= tableList_.size())
    return;
  const std::size_t count = names.size();
  const std::string_view entry = tableList_[row];
  const std::size_t eq = entry.find('=');
  const std::string_view cells =
      eq == std::string_view::npos ? std::string_view{} : entry.substr(eq + 1);
  // A cell that does not resolve keeps the previous cell's column, as the browsers' own lookup
  // does; it can therefore never match a name its predecessor did not. A value is looked up
  // only for a cell that matches. Up to 64 names are looked for per walk.
  for (std::size_t first = 0; first < count; first += 64) {
    const std::size_t last = std::min(count, first + 64);
    std::uint64_t missing = last - first == 64 ? ~0ull : (1ull << (last - first)) - 1;
    std::string_view columnName, columnId, rawValue;
    ForEachCommaItem(cells, [&](std::string_view cell) {
      if (SplitCell(cell, columnId, rawValue))
        columnName = fieldIndex_.Find(fieldList_, columnId);
      for (std::size_t i = first; i < last; ++i) {
        const std::uint64_t bit = 1ull << (i - first);
        if ((missing & bit) != 0 && columnName == names[i]) {
          onValue(i, ResolveValue(rawValue));
          missing &= ~bit;
        }
      }
      return missing == 0;
    });
  }
}

void TMorkFile::CellValues(std::size_t row, std::span<const std::string_view> names,
                           std::span<std::string> values) const {
  const std::size_t count = std::min(names.size(), values.size());
  for (std::size_t i = 0; i < count; ++i)
    values[i].clear();
  ForEachNamedCell(row, names.first(count),
                   [&](std::size_t i, std::string_view value) { values[i].assign(value); });
}

void TMorkFile::CellViews(std::size_t row, std::span<const std::string_view> names,
                          std::span<std::string_view> values, std::string& scratch) const {
  const std::size_t count = std::min(names.size(), values.size());
  for (std::size_t i = 0; i < count; ++i)
    values[i] = {};
  scratch.clear();
  // A quoted cell is unquoted into a buffer that lives only during the walk: its value is copied
  // to scratch, and viewed there once all are in, as scratch moves when it grows.
  struct TCopied {
    std::size_t Index, Offset, Size;
  };
  std::vector<TCopied> copied;
  ForEachNamedCell(row, names.first(count), [&](std::size_t i, std::string_view value) {
    if (value.empty() || tableList_.Holds(value) || dataList_.Holds(value)) {
      values[i] = value;
      return;
    }
    copied.push_back({i, scratch.size(), value.size()});
    scratch.append(value);
  });
  for (const TCopied& c : copied)
    values[c.Index] = std::string_view(scratch).substr(c.Offset, c.Size);
}

std::string TMorkFile::DecodeEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendDecoded(out, text);
  return out;
}

} // namespace quillon
