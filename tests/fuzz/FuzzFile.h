#pragma once
// Serves a fuzz input as a file of a Windows system held in memory, for the readers that take a
// path and read it through winapi::ReadWholeFile.

#include "formats/MapFileApi.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quillon::fuzz {

class TFuzzFile {
public:
  TFuzzFile(const std::string& path, const std::uint8_t* data, std::size_t size)
      : api_(std::make_shared<test::TMapFileApi>()), scope_(api_) {
    api_->Add(path, Bytes(data, size));
  }

  static std::string Bytes(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
  }

private:
  std::shared_ptr<test::TMapFileApi> api_;
  winapi::TWinApiScope scope_;
};

} // namespace quillon::fuzz
