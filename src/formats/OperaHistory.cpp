#include "formats/OperaHistory.h"

#include "platform/TextLines.h"

#include <charconv>
#include <cstdint>

namespace quillon {

namespace {

// Whether a line read as a 64-bit integer gives a time, that is whether its low 32 bits taken as
// unsigned seconds reach 2001-09-09 (1,000,000,000): the visit times of the three-line form do,
// the counters and addresses that the four-line form has in that place do not.
bool LooksLikeTime(std::string_view line) {
  std::int64_t value = 0;
  const char* const end = line.data() + line.size();
  const auto [ptr, ec] = std::from_chars(line.data(), end, value);
  if (line.empty() || ec != std::errc() || ptr != end)
    return false;
  return static_cast<std::uint32_t>(value) >= 1000000000u;
}

} // namespace

int OperaHistoryRecordLength(std::string_view text) {
  TTextLineReader reader(text);
  std::size_t lines = 0;
  std::string_view sixth;
  for (TTextLine line; reader.Next(line); ++lines)
    if (lines == 5)
      sixth = line.Text;
  if (lines < 7)
    return lines == 4 ? 4 : 3;
  return LooksLikeTime(sixth) ? 3 : 4;
}

std::string TOperaHistoryRecord::Plaintext() const {
  std::string plain;
  plain.reserve(Text.size());
  TTextLineReader reader(Text);
  for (TTextLine line; reader.Next(line);) {
    plain += line.Text;
    plain += '\n';
  }
  return plain;
}

TOperaHistoryReader::TOperaHistoryReader(std::string_view text) : text_(text) {
  length_ = OperaHistoryRecordLength(text);
  TTextLineReader reader(text);
  std::size_t lines = 0;
  for (TTextLine line; reader.Next(line);)
    ++lines;
  count_ = lines / static_cast<std::size_t>(length_);
}

bool TOperaHistoryReader::Next(TOperaHistoryRecord& record) {
  if (read_ >= count_)
    return false;
  TTextLineReader reader(text_.substr(pos_));
  std::string_view lines[4];
  std::size_t size = 0;
  for (int i = 0; i < length_; ++i) {
    TTextLine line;
    reader.Next(line); // the count says the lines are there
    lines[i] = line.Text;
    size += line.Text.size() + line.Break.size();
  }
  record.Title = lines[0];
  record.Url = lines[1];
  record.Time = lines[2];
  record.Text = text_.substr(pos_, size);
  pos_ += size;
  ++read_;
  return true;
}

void AppendAfterRemoval(std::string& out, std::string_view piece) {
  if (!out.empty() && out.back() == '\r' && !piece.empty() && piece.front() == '\n')
    out += '\n';
  out += piece;
}

TOperaHistoryRewrite RewriteOperaHistory(std::string_view text, TLineCounts& toRemove) {
  TOperaHistoryRewrite result;
  result.Content.reserve(text.size());
  TOperaHistoryReader reader(text);
  bool afterRemoval = false;
  for (TOperaHistoryRecord record; reader.Next(record);) {
    if (!toRemove.empty()) {
      const auto found = toRemove.find(record.Plaintext());
      if (found != toRemove.end()) {
        if (--found->second == 0)
          toRemove.erase(found);
        ++result.Removed;
        afterRemoval = true;
        continue;
      }
    }
    if (afterRemoval)
      AppendAfterRemoval(result.Content, record.Text);
    else
      result.Content += record.Text;
    afterRemoval = false;
  }
  const std::string_view rest = text.substr(reader.End());
  if (afterRemoval)
    AppendAfterRemoval(result.Content, rest);
  else
    result.Content += rest;
  return result;
}

} // namespace quillon
