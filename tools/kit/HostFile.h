#pragma once
// Whole files on the host, for the kit's writers and the tests that check what a program left in
// an image.

#include <string>
#include <string_view>

namespace quillon::kit {

// The file's bytes; empty when it cannot be read.
std::string ReadHostFile(const std::string& hostPath);

// Replaces the file with bytes (creating it); raises std::runtime_error when it cannot be
// written.
void WriteHostFile(const std::string& hostPath, std::string_view bytes);

} // namespace quillon::kit
