// The enciphered list file: deciphers the input as the loader does and splits it into lines.
// Enciphering is the exact inverse of deciphering, for any bytes and any length.

#include "FuzzFile.h"
#include "platform/ListFile.h"

#include <cstdlib>
#include <string>
#include <vector>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string key = BuildListKey();
  const std::string bytes = fuzz::TFuzzFile::Bytes(data, size);

  const std::string plain = DecodeListText(bytes, key);
  if (plain.size() != size || EncodeListText(plain, key) != bytes)
    std::abort();
  if (DecodeListText(EncodeListText(bytes, key), key) != bytes)
    std::abort();

  const fuzz::TFuzzFile file("C:\\Quillon\\Quillon.ieldat", data, size);
  std::vector<std::string> lines;
  if (!LoadListFile("C:\\Quillon\\Quillon.ieldat", lines))
    std::abort();
  return 0;
}
