#pragma once
// Image kit: writes registry hive files for tests and the demo image. Keys are written as
// "Software\Microsoft\Windows" (no root name); strings are UTF-8 here and UTF-16LE in the hive.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon::kit {

class THiveWriter {
public:
  // Starts a new, empty hive that Commit writes to hostPath (replacing any file there).
  explicit THiveWriter(std::string hostPath);
  ~THiveWriter();
  THiveWriter(const THiveWriter&) = delete;
  THiveWriter& operator=(const THiveWriter&) = delete;

  void CreateKey(const std::string& keyPath);
  // type: REG_SZ (1) or REG_EXPAND_SZ (2). An empty name is the key's default value.
  void SetString(const std::string& keyPath, const std::string& name, const std::string& value,
                 std::uint32_t type = 1);
  void SetMultiString(const std::string& keyPath, const std::string& name,
                      const std::vector<std::string>& values);
  void SetDword(const std::string& keyPath, const std::string& name, std::uint32_t value);
  void SetQword(const std::string& keyPath, const std::string& name, std::uint64_t value);
  // Any type with raw data bytes as stored in the hive.
  void SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
              const std::string& bytes);
  void Commit();
  const std::string& HostPath() const { return hostPath_; }

private:
  struct TImpl;
  std::string hostPath_;
  std::unique_ptr<TImpl> impl_;
};

} // namespace quillon::kit
