#pragma once
// Resident memory of the benchmark process, for the peak-memory figures the benchmarks report.

#include <malloc.h>

#include <cstddef>
#include <fstream>
#include <functional>
#include <string>

namespace quillon::bench {

// Resident memory of the process in bytes, now ("VmRSS:") or at its peak ("VmHWM:").
inline std::size_t ProcessMemory(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0)
      return std::stoull(line.substr(line.find(':') + 1)) * 1024;
  return 0;
}

// The growth of the resident peak while run runs. Memory the heap freed earlier is given back to
// the system first, so that earlier leftovers cannot hide the growth.
inline std::size_t PeakGrowth(const std::function<void()>& run) {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5"; // restart the peak at the current size
  const std::size_t before = ProcessMemory("VmRSS:");
  run();
  const std::size_t peak = ProcessMemory("VmHWM:");
  return peak > before ? peak - before : 0;
}

} // namespace quillon::bench
