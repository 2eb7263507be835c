#include "kit/MorkWriter.h"

#include "kit/HostFile.h"
#include <cstdio>
#include <stdexcept>

namespace quillon::kit {

namespace {

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", v);
  return text;
}

std::string Escape(std::string_view value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size() + 8);
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ')' || c == '\\' || c == '$') {
      out += '\\';
      out += c;
    } else if (u < 32 || u > 126) {
      out += '$';
      out += kDigits[u >> 4];
      out += kDigits[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// c followed by text. (Written out: g++ 12 warns falsely on "x" + std::string at -O2.)
std::string Prefixed(char c, std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  out += c;
  out += text;
  return out;
}

// Length of the escape unit at pos: a backslash pair, a "$XX" or a plain byte. A line is never
// broken inside one.
std::size_t UnitLength(std::string_view escaped, std::size_t pos) {
  if (escaped[pos] == '\\')
    return 2;
  if (escaped[pos] == '$')
    return 3;
  return 1;
}

} // namespace

TMorkWriter::TMorkWriter(TMorkWriterOptions options)
    : options_(options), newline_(options.CrLf ? "\r\n" : "\n") {
  parts_.emplace_back();
}

std::string TMorkWriter::ColumnId(std::string_view name) {
  const auto [it, added] = columnIds_.try_emplace(
      std::string(name), Hex(0x80 + static_cast<std::uint32_t>(columns_.size())));
  if (added)
    columns_.emplace_back(name);
  return it->second;
}

std::string TMorkWriter::AtomId(std::string_view value) {
  const auto [it, added] = atomIds_.try_emplace(std::string(value));
  if (!added)
    return it->second;
  it->second = Hex(nextAtom_++);
  Current().Atoms.emplace_back(it->second, Escape(value));
  return it->second;
}

void TMorkWriter::PutToken(std::string& out, std::size_t& column, std::string_view token,
                           std::size_t indent) const {
  if (options_.LineWidth != 0 && column > indent && column + token.size() > options_.LineWidth) {
    out += newline_;
    out.append(indent, ' ');
    column = indent;
  }
  out += token;
  column += token.size();
}

void TMorkWriter::PutCell(std::string& out, std::size_t& column, std::string_view id,
                          char separator, std::string_view escapedValue, std::size_t indent) const {
  const std::size_t size = id.size() + escapedValue.size() + 3;
  const std::size_t width = options_.LineWidth;
  if (width == 0 || size + indent <= width) {
    std::string token;
    token.reserve(size);
    token.append("(").append(id).append(1, separator).append(escapedValue).append(")");
    PutToken(out, column, token, indent);
    return;
  }
  // Too long for any line: the id ends this line, the value starts on the next one and goes on
  // over as many lines as it needs, each ended by a backslash.
  PutToken(out, column, Prefixed('(', id), indent);
  out += newline_;
  out.append(indent + 2, ' ');
  out += separator;
  column = indent + 3;
  std::size_t pos = 0;
  while (pos < escapedValue.size()) {
    const std::size_t unit = UnitLength(escapedValue, pos);
    // Break before a unit that would pass the line's end, unless the next line would then
    // start with a blank, which a reader drops as indentation.
    if (column + unit + 1 > width && column > 0 && escapedValue[pos] != ' ') {
      out += '\\';
      out += newline_;
      column = 0;
    }
    out.append(escapedValue.substr(pos, unit));
    column += unit;
    pos += unit;
  }
  out += ')';
  ++column;
}

void TMorkWriter::CloseTable() {
  TPart& part = Current();
  if (part.TableOpen) {
    part.Tables += '}';
    part.Tables += newline_;
    part.TableOpen = false;
  }
}

void TMorkWriter::BeginTable(std::string_view tableId, std::string_view rowScope,
                             std::string_view kind) {
  CloseTable();
  const std::string scopeId = ColumnId(rowScope);
  const std::string kindId = ColumnId(kind);
  TPart& part = Current();
  part.Tables += '{';
  part.Tables.append(tableId).append(":^").append(scopeId);
  part.Tables.append(" {(k^").append(kindId).append(":c)(s=9)} ");
  part.TableOpen = true;
}

void TMorkWriter::AddRow(std::string_view rowId, const std::vector<TMorkCell>& cells) {
  if (!Current().TableOpen)
    throw std::logic_error("AddRow outside a table");
  std::vector<std::pair<std::string, std::string>> written; // column id, "^atom" or "=value"
  written.reserve(cells.size());
  for (const TMorkCell& cell : cells) {
    const std::string column = ColumnId(cell.Column);
    if (cell.Inline)
      written.emplace_back(column, Prefixed('=', Escape(cell.Value)));
    else
      written.emplace_back(column, Prefixed('^', AtomId(cell.Value)));
  }
  std::string& out = Current().Tables;
  out += newline_;
  out += "  ";
  tableColumn_ = 2;
  out += '[';
  out += rowId;
  tableColumn_ += 1 + rowId.size();
  for (const auto& [column, rest] : written)
    PutCell(out, tableColumn_, Prefixed('^', column), rest[0], std::string_view(rest).substr(1), 4);
  out += ']';
  ++tableColumn_;
}

void TMorkWriter::BeginGroup() {
  CloseTable();
  TPart group;
  group.IsGroup = true;
  group.GroupId = Hex(nextGroup_++);
  parts_.push_back(std::move(group));
}

void TMorkWriter::EndGroup() {
  if (!Current().IsGroup)
    throw std::logic_error("EndGroup without BeginGroup");
  CloseTable();
  parts_.emplace_back(); // what follows is outside the group again
}

std::string TMorkWriter::Build() const {
  std::string out = "// <!-- <mdb:mork:z v=\"1.4\"/> -->" + newline_;
  // Column dictionary: "<(a=c)>" switches its atoms to the column scope.
  out += "< <(a=c)> // (f=iso-8859-1)";
  std::size_t column = options_.LineWidth;
  for (std::size_t i = 0; i < columns_.size(); ++i)
    PutCell(out, column, Hex(0x80 + static_cast<std::uint32_t>(i)), '=', Escape(columns_[i]), 2);
  out += '>';
  out += newline_;

  for (const TPart& part : parts_) {
    if (part.IsGroup)
      out.append("@$${").append(part.GroupId).append("{@");
    if (!part.Atoms.empty()) {
      out += '<';
      std::size_t atomColumn = 1;
      for (const auto& [id, escaped] : part.Atoms)
        PutCell(out, atomColumn, id, '=', escaped, 2);
      out += '>';
    }
    out += newline_;
    out += part.Tables;
    if (part.TableOpen) {
      out += '}';
      out += newline_;
    }
    if (part.IsGroup)
      out.append("@$$}").append(part.GroupId).append("}@").append(newline_);
  }
  return out;
}

void TMorkWriter::WriteFile(const std::string& hostPath) const {
  WriteHostFile(hostPath, Build());
}

std::string BuildHistoryDat(const std::vector<TMorkHistoryEntry>& entries,
                            TMorkWriterOptions options) {
  TMorkWriter writer(options);
  const char* const scope = "ns:history:db:row:scope:history:all";
  const char* const kind = "ns:history:db:table:kind:history";
  for (const char* name :
       {scope, kind, "URL", "Referrer", "LastVisitDate", "FirstVisitDate", "VisitCount", "Name",
        "Hostname", "Hidden", "Typed", "LastPageVisited", "ByteOrder"})
    writer.ColumnId(name);
  // Atoms first, as the browser writes its dictionary ahead of the table.
  for (const TMorkHistoryEntry& entry : entries) {
    writer.AtomId(entry.Url);
    writer.AtomId(entry.Hostname);
    if (!entry.Title.empty())
      writer.AtomId(entry.Title);
  }
  writer.BeginTable("1", scope, kind);
  std::uint32_t rowId = 1;
  for (const TMorkHistoryEntry& entry : entries) {
    std::vector<TMorkCell> cells = {
        {"URL", entry.Url, false},
        {"LastVisitDate", std::to_string(entry.LastVisitDate), true},
        {"FirstVisitDate", std::to_string(entry.FirstVisitDate), true},
        {"VisitCount", std::to_string(entry.VisitCount), true},
        {"Hostname", entry.Hostname, false},
    };
    if (!entry.Title.empty())
      cells.push_back({"Name", entry.Title, false});
    if (entry.Typed)
      cells.push_back({"Typed", "1", true});
    writer.AddRow(Hex(rowId++), cells);
  }
  return writer.Build();
}

std::string BuildLongUsedHistoryDat(std::size_t targetBytes) {
  std::vector<TMorkHistoryEntry> entries;
  std::size_t estimate = 0;
  for (std::uint64_t i = 0; estimate < targetBytes; ++i) {
    const std::string host = "www.site" + std::to_string(i % 7919) + ".example";
    TMorkHistoryEntry entry;
    entry.Url = "http://" + host + "/articles/" + std::to_string(i * 2654435761u % 1000003) +
                "/page.html?ref=start&lang=de_DE$id=" + std::to_string(i);
    entry.Title = "Article number " + std::to_string(i) + " \xE2\x80\x93 Some (long) title";
    entry.Hostname = host;
    entry.FirstVisitDate = 1100000000000000 + static_cast<std::int64_t>(i) * 1000000;
    entry.LastVisitDate = entry.FirstVisitDate + 86400000000;
    entry.VisitCount = static_cast<int>(i % 17) + 1;
    entry.Typed = i % 5 == 0;
    estimate += entry.Url.size() + entry.Title.size() + 150;
    entries.push_back(std::move(entry));
  }
  return BuildHistoryDat(entries);
}

} // namespace quillon::kit
