#include "kit/HiveWriter.h"

#include "kit/HostFile.h"
#include "winapi/LittleEndian.h"
#include "winapi/image/Hive.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
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
  std::string bytes;
  PutU32At(bytes, 0, value);
  impl_->Set(keyPath, name, winapi::REG_DWORD, bytes);
}

void THiveWriter::SetQword(const std::string& keyPath, const std::string& name,
                           std::uint64_t value) {
  std::string bytes;
  PutU64At(bytes, 0, value);
  impl_->Set(keyPath, name, winapi::REG_QWORD, bytes);
}

void THiveWriter::SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                         const std::string& bytes) {
  impl_->Set(keyPath, name, type, bytes);
}

namespace {

// 2011-03-01 12:00 UTC as a FILETIME.
constexpr std::uint64_t kFixedHiveTime = 129433968000000000ull;

// hivex stamps the base block and every key with the time of writing; the kit writes one fixed
// time instead, so that the same content gives the same bytes on every run.
void StampFixedTime(const std::string& hostPath) {
  std::string b = ReadHostFile(hostPath);
  if (b.size() < 4096 || b.compare(0, 4, "regf") != 0)
    throw std::runtime_error("not a hive: " + hostPath);
  PutU64At(b, 12, kFixedHiveTime);
  for (std::size_t bin = 4096; bin + 32 <= b.size();) {
    if (b.compare(bin, 4, "hbin") != 0)
      break;
    const std::uint32_t binSize = ReadU32At(b, bin + 8).value_or(0);
    if (binSize < 32 || bin + binSize > b.size())
      break;
    PutU64At(b, bin + 20, kFixedHiveTime);
    for (std::size_t cell = bin + 32; cell + 4 <= bin + binSize;) {
      const auto size = static_cast<std::int32_t>(ReadU32At(b, cell).value_or(0));
      const std::uint32_t length = size < 0 ? static_cast<std::uint32_t>(-size) : size;
      if (length < 8 || cell + length > bin + binSize)
        break;
      if (size < 0 && length >= 16 && b.compare(cell + 4, 2, "nk") == 0)
        PutU64At(b, cell + 8, kFixedHiveTime);
      cell += length;
    }
    bin += binSize;
  }
  img::StampBaseBlockChecksum(b);
  WriteHostFile(hostPath, b);
}

} // namespace

void THiveWriter::Commit() {
  const std::filesystem::path parent = std::filesystem::path(hostPath_).parent_path();
  if (!parent.empty())
    std::filesystem::create_directories(parent);
  if (!img::CommitHive(impl_->hive.get(), hostPath_))
    throw std::runtime_error("cannot write hive " + hostPath_);
  StampFixedTime(hostPath_);
}

} // namespace quillon::kit
