#pragma once
// Opera's global history, global.dat (global_history.dat from Opera 9 on): a text file of records
// of three lines (title, address, last visit as decimal Unix seconds) or, in the later form, four
// (a further number). Nothing in the file says which form it has; the reader decides once per
// file from its sixth line, which is a time in the three-line form and an address in the
// four-line one.

#include "formats/CookiesTxt.h"
#include "formats/StoreLimits.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

// A history of several hundred MB is seen in long-used profiles; nothing larger is read.
constexpr std::uint64_t kOperaHistoryLimit = 1024 * kMiB;

// 3 or 4: the number of lines a record of text has (line breaks CR LF, LF or CR).
int OperaHistoryRecordLength(std::string_view text);

struct TOperaHistoryRecord {
  std::string_view Title;
  std::string_view Url;
  std::string_view Time; // decimal Unix seconds, as the file has it
  // The record's bytes in the file, its own line breaks included.
  std::string_view Text;
  // The record's lines, each followed by a line feed: the text an entry keeps of it.
  std::string Plaintext() const;
};

// Walks the complete records of a text in file order; the lines of an incomplete last record
// are not one. Each line is looked at twice in all, so a walk is linear in the text.
class TOperaHistoryReader {
public:
  explicit TOperaHistoryReader(std::string_view text);
  int RecordLength() const { return length_; }
  std::size_t RecordCount() const { return count_; }
  // The next record; false after the last one.
  bool Next(TOperaHistoryRecord& record);
  // Where the records end: what follows is the incomplete last record, if any.
  std::size_t End() const { return pos_; }

private:
  std::string_view text_;
  int length_ = 3;
  std::size_t count_ = 0;
  std::size_t read_ = 0;
  std::size_t pos_ = 0;
};

struct TOperaHistoryRewrite {
  std::string Content;
  std::size_t Removed = 0; // records taken out
};

// The text without the records whose Plaintext toRemove counts (each count taken down as its
// records go, first ones first). Every other byte stays, the incomplete last record included.
TOperaHistoryRewrite RewriteOperaHistory(std::string_view text, TLineCounts& toRemove);

// Appends a kept piece of a text after a removed one. A kept line that ended in a lone CR
// followed by a piece that starts with LF would read as one CR LF break and lose a line, so the
// CR gets its own LF then.
void AppendAfterRemoval(std::string& out, std::string_view piece);

} // namespace quillon
