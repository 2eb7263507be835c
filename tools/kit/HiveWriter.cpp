#include "kit/HiveWriter.h"

#include "winapi/image/Hive.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace quillon::kit {

namespace img = quillon::winapi::image;

struct THiveWriter::TImpl {
  img::THiveHandle hive;

  hive_node_h Node(const std::string& keyPath) {
    hive_node_h node = hivex_root(hive.get());
    for (const std::string& name : img::SplitKeyPath(keyPath)) {
      node = img::AddChild(hive.get(), node, name);
      if (!node)
        throw std::runtime_error("cannot add key " + keyPath);
    }
    return node;
  }

  void Set(const std::string& keyPath, const std::string& name, std::uint32_t type,
           const std::string& bytes) {
    if (!img::WriteValue(hive.get(), Node(keyPath), name, type, bytes))
      throw std::runtime_error("cannot set value " + keyPath + "\\" + name);
  }
};

THiveWriter::THiveWriter(std::string hostPath)
    : hostPath_(std::move(hostPath)), impl_(std::make_unique<TImpl>()) {
  // hivex opens hives only from files: start from an empty one in a scratch file, which a
  // writable open reads into memory at once.
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/quillon-hive-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0)
    throw std::runtime_error("cannot create a scratch hive");
  ::close(fd);
  const bool created = img::CreateEmptyHive(pattern);
  impl_->hive = created ? img::OpenHive(pattern, true) : nullptr;
  ::unlink(pattern.c_str());
  if (!impl_->hive)
    throw std::runtime_error("cannot open an empty hive");
}

THiveWriter::~THiveWriter() = default;

void THiveWriter::CreateKey(const std::string& keyPath) {
  impl_->Node(keyPath);
}

void THiveWriter::SetString(const std::string& keyPath, const std::string& name,
                            const std::string& value, std::uint32_t type) {
  impl_->Set(keyPath, name, type, img::EncodeValueData(type, value));
}

void THiveWriter::SetMultiString(const std::string& keyPath, const std::string& name,
                                 const std::vector<std::string>& values) {
  std::string bytes;
  for (const std::string& v : values)
    bytes += img::Utf8ToUtf16Le(v) + std::string(2, '\0');
  bytes += std::string(2, '\0');
  impl_->Set(keyPath, name, winapi::REG_MULTI_SZ, bytes);
}

void THiveWriter::SetDword(const std::string& keyPath, const std::string& name,
                           std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  impl_->Set(keyPath, name, winapi::REG_DWORD, bytes);
}

void THiveWriter::SetQword(const std::string& keyPath, const std::string& name,
                           std::uint64_t value) {
  std::string bytes(8, '\0');
  for (int i = 0; i < 8; ++i)
    bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  impl_->Set(keyPath, name, winapi::REG_QWORD, bytes);
}

void THiveWriter::SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                         const std::string& bytes) {
  impl_->Set(keyPath, name, type, bytes);
}

void THiveWriter::Commit() {
  const std::filesystem::path parent = std::filesystem::path(hostPath_).parent_path();
  if (!parent.empty())
    std::filesystem::create_directories(parent);
  if (!img::CommitHive(impl_->hive.get(), hostPath_))
    throw std::runtime_error("cannot write hive " + hostPath_);
}

} // namespace quillon::kit
