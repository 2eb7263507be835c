#pragma once
// Image kit: a stand-in for a running browser that holds one of its stores. A child process opens
// the file and locks it, as SQLite and the browsers do, until the object dies.

#include <string>
#include <sys/types.h>

namespace quillon::kit {

class TFileHolder {
public:
  // RecordLock: a shared byte-range lock where SQLite takes its locks, far beyond the data.
  // WholeFileLock: a shared flock of the whole file.
  enum TKind { RecordLock, WholeFileLock };

  TFileHolder(const std::string& hostPath, TKind kind = RecordLock);
  ~TFileHolder();
  TFileHolder(const TFileHolder&) = delete;
  TFileHolder& operator=(const TFileHolder&) = delete;

  // Whether the child holds the lock.
  bool Holds() const { return holds_; }

private:
  pid_t pid_ = -1;
  bool holds_ = false;
};

} // namespace quillon::kit
