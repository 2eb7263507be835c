#include "kit/FileHolder.h"

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::kit {

TFileHolder::TFileHolder(const std::string& hostPath, TKind kind) {
  int ready[2];
  if (pipe(ready) != 0)
    return;
  pid_ = fork();
  if (pid_ == 0) {
    const int fd = open(hostPath.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 1073741824; // SQLite's pending byte: where its locks live
    lock.l_len = 1;
    const bool held =
        fd >= 0 && (kind == RecordLock ? fcntl(fd, F_SETLK, &lock) == 0 : flock(fd, LOCK_SH) == 0);
    const char answer = held ? '1' : '0';
    (void)!write(ready[1], &answer, 1);
    pause();
    _exit(0);
  }
  char answer = 0;
  holds_ = pid_ > 0 && read(ready[0], &answer, 1) == 1 && answer == '1';
  close(ready[0]);
  close(ready[1]);
}

TFileHolder::~TFileHolder() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

} // namespace quillon::kit
