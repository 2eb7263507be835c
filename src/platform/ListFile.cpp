#include "platform/ListFile.h"

#include "platform/CipherManager.h"
#include "platform/TextLines.h"
#include "winapi/WinApi.h"

#include <array>
#include <cstdint>

namespace quillon {

namespace {

// Fixed for good: list files written with another table decode to noise.
constexpr std::array<std::uint8_t, 40> kListKeyTable = {
    0x73, 0x22, 0xE4, 0x96, 0x3F, 0x6A, 0x40, 0xA6, 0x9F, 0xA8, 0xFC, 0x9E, 0x7B, 0xAD,
    0xDC, 0xAD, 0x30, 0x60, 0xBB, 0xD3, 0x5A, 0x26, 0x01, 0xE2, 0xBE, 0x00, 0x84, 0x38,
    0x7D, 0xCA, 0x21, 0x69, 0x56, 0x64, 0x67, 0xD0, 0xDF, 0xD6, 0x42, 0xB4};

constexpr const char* kHashAlgorithm = "Sapphire II-320";
constexpr const char* kCipherAlgorithm = "Sapphire II";

} // namespace

std::string BuildListKey() {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string key;
  key.reserve(2 * kListKeyTable.size());
  for (const std::uint8_t b : kListKeyTable) {
    key += kDigits[b >> 4];
    key += kDigits[b & 0x0F];
  }
  return key;
}

std::string EncodeListText(std::string_view plain, std::string_view keyText) {
  THashManager hash(kHashAlgorithm);
  TCipherManager cipher(hash, kCipherAlgorithm);
  cipher.InitKey(keyText);
  return cipher.EncodeBuffer(plain);
}

std::string DecodeListText(std::string_view cipher, std::string_view keyText) {
  THashManager hash(kHashAlgorithm);
  TCipherManager manager(hash, kCipherAlgorithm);
  manager.InitKey(keyText);
  return manager.DecodeBuffer(cipher);
}

bool LoadListFile(const std::string& path, std::vector<std::string>& list) {
  if (!winapi::FileExists(path))
    return false;
  std::string data;
  if (!winapi::ReadWholeFile(path, data)) {
    const winapi::DWORD error = winapi::GetLastError();
    throw EListFileError("Cannot read the list file \"" + path +
                         "\": " + winapi::FormatMessage(error));
  }
  list = SplitLines(DecodeListText(data, BuildListKey()));
  return true;
}

} // namespace quillon
