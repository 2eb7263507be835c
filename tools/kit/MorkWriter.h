#pragma once
// Image kit: writes Mork text databases as the Mozilla-family browsers write them ("history.dat";
// Thunderbird's address books and mail summaries share the format):
//
//   // <!-- <mdb:mork:z v="1.4"/> -->
//   < <(a=c)> // (f=iso-8859-1)
//     (80=ns:history:db:row:scope:history:all)(81=ns:history:db:table:kind:history)
//     (82=URL)...>                                  column dictionary, ids from 80 hex
//   <(80=http://example.com/)...>                   value dictionary (atoms), ids from 80 hex
//   {1:^80 {(k^81:c)(s=9)}
//     [1(^82^80)(^84=1171234567000000)]}            table with rows; cells refer to an atom
//                                                   (^col^atom) or hold the value (^col=value)
//   @$${1{@ <(...)> {1:^80 ... } @$$}1}@            a transaction group appended later
//
// Values are escaped as the browsers do: ")" "\" "$" get a backslash, other bytes below 32 or
// above 126 become "$XX". Lines are wrapped; a value too long for a line continues on the next
// after a trailing "\".

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillon::kit {

struct TMorkCell {
  std::string Column; // column name; gets a column id on first use
  std::string Value;
  bool Inline = false; // written inside the row ("^84=value") instead of as an atom ("^82^80")
};

struct TMorkWriterOptions {
  std::size_t LineWidth = 72; // 0: no wrapping at all
  bool CrLf = false;          // Windows line breaks
};

class TMorkWriter {
public:
  explicit TMorkWriter(TMorkWriterOptions options = {});

  // The hex id of a column, assigned in order of first use ("80", "81", ...).
  std::string ColumnId(std::string_view name);
  // The hex id of a value atom; equal values share one atom. A new atom goes into the value
  // dictionary of the part being written (the file's start or the open group).
  std::string AtomId(std::string_view value);

  // Starts a table; rows added next belong to it. tableId is hex ("1"); rowScope and kind are
  // column names ("ns:history:db:row:scope:history:all", "ns:history:db:table:kind:history").
  void BeginTable(std::string_view tableId, std::string_view rowScope, std::string_view kind);
  // rowId as written between "[" and the first "(": "1", "-1" (a replaced row), "1:m" (meta).
  void AddRow(std::string_view rowId, const std::vector<TMorkCell>& cells);
  // What follows, up to EndGroup, goes into a transaction group with its own value dictionary,
  // as a browser appends changes to an open file.
  void BeginGroup();
  void EndGroup();

  std::string Build() const;
  // Writes the file to a host path (the folder must exist); throws std::runtime_error.
  void WriteFile(const std::string& hostPath) const;

private:
  struct TPart {
    bool IsGroup = false;
    std::string GroupId;
    std::vector<std::pair<std::string, std::string>> Atoms; // value dictionary: id, escaped
    std::string Tables;                                     // tables as written so far
    bool TableOpen = false;
  };

  void CloseTable();
  TPart& Current() { return parts_.back(); }
  void PutToken(std::string& out, std::size_t& column, std::string_view token,
                std::size_t indent) const;
  void PutCell(std::string& out, std::size_t& column, std::string_view id, char separator,
               std::string_view escapedValue, std::size_t indent) const;

  TMorkWriterOptions options_;
  std::string newline_;
  std::vector<std::string> columns_; // names in id order
  std::unordered_map<std::string, std::string> columnIds_;
  std::unordered_map<std::string, std::string> atomIds_;
  std::uint32_t nextAtom_ = 0x80;
  std::uint32_t nextGroup_ = 1;
  std::vector<TPart> parts_;
  std::size_t tableColumn_ = 0; // where the open table's current line has got to
};

// One page of a history.dat. Times are microseconds since 1970-01-01 UTC.
struct TMorkHistoryEntry {
  std::string Url;
  std::string Title;
  std::string Hostname;
  std::int64_t FirstVisitDate = 0;
  std::int64_t LastVisitDate = 0;
  int VisitCount = 1;
  bool Typed = false;
};

// A history.dat as Firefox 1-2 and the Mozilla suite write it: one history table, addresses,
// titles and host names as atoms, dates and counts inside the rows.
std::string BuildHistoryDat(const std::vector<TMorkHistoryEntry>& entries,
                            TMorkWriterOptions options = {});

// A history.dat of about targetBytes as a long-used profile has it: pages of some 8,000 sites
// with long addresses and titles, about 250 bytes of file per page (100 MB hold some 400,000).
std::string BuildLongUsedHistoryDat(std::size_t targetBytes);

} // namespace quillon::kit
