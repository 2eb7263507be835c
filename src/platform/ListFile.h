#pragma once
// The list file "Quillon.ieldat" beside the executable: registry locations of start and search
// pages, one per line, kept enciphered with Sapphire II under a key text built at run time. The
// file is the cipher text of the lines, byte for byte, with no header.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Raised when the list file exists but cannot be read.
class EListFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The key text the list file is enciphered with: 80 upper-case hex digits.
std::string BuildListKey();

// Replaces `list` with the deciphered lines of the file (a Windows path) and answers true; false,
// with `list` untouched, when there is no such file. A file that cannot be read raises
// EListFileError. Lines end at CR LF, LF or CR.
bool LoadListFile(const std::string& path, std::vector<std::string>& list);

// Enciphers and deciphers list-file content with a key text (usually BuildListKey()); for the
// loader and for the tool that writes list files.
std::string EncodeListText(std::string_view plain, std::string_view keyText);
std::string DecodeListText(std::string_view cipher, std::string_view keyText);

} // namespace quillon
