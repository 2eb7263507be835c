#include "formats/O4Stream.h"

namespace quillon {

namespace {

void AppendBigEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

} // namespace

std::string TO4Stream::HeaderBytes(std::uint32_t fileVersion, std::uint32_t appVersion) {
  std::string out;
  AppendBigEndian(out, fileVersion, 4);
  AppendBigEndian(out, appVersion, 4);
  AppendBigEndian(out, 1, 2); // a tag takes one byte
  AppendBigEndian(out, 2, 2); // a length takes two
  return out;
}

bool TO4Stream::ReadField(std::string_view bytes, std::uint64_t& pos, std::uint64_t end,
                          TO4Field& field) {
  if (pos >= end || end > bytes.size())
    return false;
  const auto tag = static_cast<std::uint8_t>(bytes[pos]);
  if (tag >= 0x80) {
    field = TO4Field{tag, pos, {}};
    ++pos;
    return true;
  }
  if (end - pos < 3)
    return false;
  const std::uint64_t length = static_cast<std::uint64_t>(static_cast<std::uint8_t>(bytes[pos + 1]))
                                   << 8 |
                               static_cast<std::uint8_t>(bytes[pos + 2]);
  if (end - pos - 3 < length)
    return false;
  field = TO4Field{tag, pos, bytes.substr(pos + 3, length)};
  pos += 3 + length;
  return true;
}

std::string_view TO4Stream::Text(std::string_view payload) {
  return payload.substr(0, payload.find('\0'));
}

std::uint64_t TO4Stream::Number(std::string_view payload) {
  if (payload.empty() || payload.size() > 8)
    return 0;
  std::uint64_t value = 0;
  for (const char c : payload)
    value = value << 8 | static_cast<std::uint8_t>(c);
  return value;
}

void TO4Stream::AppendRecordHeader(std::string& out, std::uint8_t tag, std::uint16_t length) {
  out.push_back(static_cast<char>(tag));
  AppendBigEndian(out, length, 2);
}

void TO4Stream::AppendText(std::string& out, std::uint8_t tag, std::string_view text) {
  if (text.empty())
    return;
  AppendRecordHeader(out, tag, static_cast<std::uint16_t>(text.size()));
  out.append(text);
}

void TO4Stream::AppendNumber(std::string& out, std::uint8_t tag, std::uint64_t value, int bytes) {
  AppendRecordHeader(out, tag, static_cast<std::uint16_t>(bytes));
  AppendBigEndian(out, value, bytes);
}

void TO4Stream::AppendFlag(std::string& out, std::uint8_t tag, bool set) {
  if (set)
    out.push_back(static_cast<char>(tag));
}

bool TO4Stream::ReadHeader(std::string_view bytes, std::uint32_t fileVersion,
                           std::uint32_t appVersion0, std::uint32_t appVersion1, int& format) {
  const std::string_view header = bytes.substr(0, 12);
  if (header == HeaderBytes(fileVersion, appVersion0))
    format = 0;
  else if (header == HeaderBytes(fileVersion, appVersion1))
    format = 1;
  else
    return false;
  return true;
}

} // namespace quillon
