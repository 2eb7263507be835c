#pragma once
// Serves a fuzz input as a file of a Windows system held in memory, for the readers that take a
// path and read it through winapi::ReadWholeFile.

#include "winapi/MemoryFiles.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quillon::fuzz {

class TFuzzFile {
public:
  TFuzzFile(const std::string& path, const std::uint8_t* data, std::size_t size)
      : TFuzzFile(path, Bytes(data, size)) {}
  TFuzzFile(const std::string& path, std::string content) { files_->Add(path, std::move(content)); }

  static std::string Bytes(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
  }

  // The input at a hostile size: its first byte n repeats the rest 2^(n % 8) times, so that
  // short inputs grow into deep nesting, long lines and many lines.
  static std::string Repeated(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
      return {};
    const std::string unit = Bytes(data + 1, size - 1);
    std::string out;
    const std::size_t times = std::size_t{1} << (data[0] % 8);
    out.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i)
      out += unit;
    return out;
  }

  test::TMemoryFileService& Files() { return *files_; }

private:
  test::TMemoryFiles files_;
};

} // namespace quillon::fuzz
