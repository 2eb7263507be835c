#pragma once
// How a Windows system image is laid over the host: which host folder each drive letter is,
// and whose session the program runs in.

#include <map>
#include <string>

namespace quillon::winapi::image {

struct TImageConfig {
  std::string imageRoot;              // host folder of drive C:
  std::map<char, std::string> drives; // further drives: 'D' -> host folder (upper-case letters)
  std::string user;                   // --user: profile folder name or SID; empty = image's choice
  std::string executablePath;         // host path of the running executable (for Z: mapping)
};

} // namespace quillon::winapi::image
