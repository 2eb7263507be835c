#include "formats/StoreLimits.h"

#include "winapi/WinApi.h"

namespace quillon {

std::string SizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kKiB = 1024;
  if (bytes < kKiB)
    return std::to_string(bytes) + " bytes";
  // One decimal below a hundred units, none from there on; a ".0" is left out.
  const auto scaled = [](std::uint64_t value, std::uint64_t unit, const char* name) {
    const std::uint64_t tenths = value / unit * 10 + (value % unit * 10 + unit / 2) / unit;
    if (tenths >= 1000 || tenths % 10 == 0)
      return std::to_string((tenths + 5) / 10) + " " + name;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + name;
  };
  if (bytes < kMiB)
    return scaled(bytes, kKiB, "KB");
  if (bytes < 1024 * kMiB)
    return scaled(bytes, kMiB, "MB");
  return scaled(bytes, 1024 * kMiB, "GB");
}

std::string_view StoreFileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void CheckStoreSize(const std::string& path, std::uint64_t limit, std::string_view what) {
  winapi::WIN32_FIND_DATA data;
  const winapi::TFindHandle find(winapi::FindFirstFile(path, data));
  if (!find.Valid() || data.nFileSize <= limit)
    return;
  std::string size = SizeText(data.nFileSize);
  std::string most = SizeText(limit);
  // Just over the limit, rounding would show both as the same.
  if (size == most) {
    size = std::to_string(data.nFileSize) + " bytes";
    most = std::to_string(limit) + " bytes";
  }
  throw EFileTooLarge(std::string(StoreFileName(path)) + " is " + size + ", more than the " + most +
                      " " + std::string(what) + " can have; not read");
}

void CheckStoreMemory(const std::string& path, std::uint64_t fileSize, std::uint64_t cost,
                      std::uint64_t entries, std::string_view what) {
  const std::uint64_t budget = StoreMemoryBudget(fileSize);
  if (cost <= budget)
    return;
  std::string need = SizeText(cost);
  std::string most = SizeText(budget);
  if (need == most) {
    need = std::to_string(cost) + " bytes";
    most = std::to_string(budget) + " bytes";
  }
  throw EFileTooLarge(std::string(StoreFileName(path)) + " holds " + std::to_string(entries) + " " +
                      std::string(what) + " in " + SizeText(fileSize) +
                      "; listed they would take " + need + " of memory, more than the " + most +
                      " a file of that size may use; not read");
}

} // namespace quillon
