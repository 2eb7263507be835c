#pragma once
// Little-endian integers at an offset in a byte buffer, as Windows file formats (PE images,
// hives, the Netscape registry) store them. Reads take a file's bytes, an attacker's choice:
// they answer "absent" when the integer does not fit wholly inside the buffer, whatever the
// offset (no overflow for offsets near SIZE_MAX). Writes fill a buffer the program builds
// itself, at offsets it chose: they grow it with zero bytes where the integer would end past its
// end. It lives in the Windows layer because the hive code there is its lowest user.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

namespace detail {

template <class T> std::optional<T> ReadLittleEndianAt(std::string_view buf, std::size_t off) {
  if (off > buf.size() || buf.size() - off < sizeof(T))
    return std::nullopt;
  // One load where the host is little-endian; byte by byte elsewhere.
  if constexpr (std::endian::native == std::endian::little) {
    T value;
    std::memcpy(&value, buf.data() + off, sizeof(T));
    return value;
  } else {
    T value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;)
      value = static_cast<T>((value << 8) | static_cast<unsigned char>(buf[off + i]));
    return value;
  }
}

template <class T> void PutLittleEndianAt(std::string& buf, std::size_t off, T value) {
  if (buf.size() < off + sizeof(T))
    buf.resize(off + sizeof(T), '\0');
  for (std::size_t i = 0; i < sizeof(T); ++i)
    buf[off + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace detail

inline std::optional<std::uint16_t> ReadU16At(std::string_view buf, std::size_t off) {
  return detail::ReadLittleEndianAt<std::uint16_t>(buf, off);
}

inline std::optional<std::uint32_t> ReadU32At(std::string_view buf, std::size_t off) {
  return detail::ReadLittleEndianAt<std::uint32_t>(buf, off);
}

inline void PutU16At(std::string& buf, std::size_t off, std::uint16_t value) {
  detail::PutLittleEndianAt(buf, off, value);
}

inline void PutU32At(std::string& buf, std::size_t off, std::uint32_t value) {
  detail::PutLittleEndianAt(buf, off, value);
}

inline void PutU64At(std::string& buf, std::size_t off, std::uint64_t value) {
  detail::PutLittleEndianAt(buf, off, value);
}

} // namespace quillon
