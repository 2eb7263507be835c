#include "winapi/SQLiteViewVfs.h"

#include "winapi/SQLiteHost.h"

#include <sqlite3.h>

#include <atomic>

namespace quillon::winapi {

namespace {

constexpr char kVfsName[] = "quillon-view";

// Our file record; the system layer's record follows it in the same allocation.
struct TViewFile {
  sqlite3_file Base;
  sqlite3_file* Real;
};

sqlite3_vfs* RealVfs(sqlite3_vfs* vfs) {
  return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

sqlite3_file* Real(sqlite3_file* file) {
  return reinterpret_cast<TViewFile*>(file)->Real;
}

int ViewClose(sqlite3_file* file) {
  sqlite3_file* real = Real(file);
  return real->pMethods != nullptr ? real->pMethods->xClose(real) : SQLITE_OK;
}

int ViewRead(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  sqlite3_file* real = Real(file);
  return real->pMethods->xRead(real, buffer, amount, offset);
}

int ViewWrite(sqlite3_file*, const void*, int, sqlite3_int64) {
  return SQLITE_READONLY;
}

int ViewTruncate(sqlite3_file*, sqlite3_int64) {
  return SQLITE_READONLY;
}

int ViewSync(sqlite3_file*, int) {
  return SQLITE_OK;
}

int ViewFileSize(sqlite3_file* file, sqlite3_int64* size) {
  sqlite3_file* real = Real(file);
  return real->pMethods->xFileSize(real, size);
}

// SHARED is what a reader needs and what keeps a writing browser from changing pages under us;
// anything above would be the first step of a write, a rollback or a checkpoint.
int ViewLock(sqlite3_file* file, int level) {
  if (level > SQLITE_LOCK_SHARED)
    return SQLITE_BUSY;
  sqlite3_file* real = Real(file);
  return real->pMethods->xLock(real, level);
}

int ViewUnlock(sqlite3_file* file, int level) {
  sqlite3_file* real = Real(file);
  return real->pMethods->xUnlock(real, level);
}

int ViewCheckReservedLock(sqlite3_file* file, int* result) {
  sqlite3_file* real = Real(file);
  return real->pMethods->xCheckReservedLock(real, result);
}

int ViewFileControl(sqlite3_file* file, int op, void* arg) {
  // A size hint grows the file; nothing else a reader sends changes one.
  if (op == SQLITE_FCNTL_SIZE_HINT)
    return SQLITE_OK;
  sqlite3_file* real = Real(file);
  return real->pMethods->xFileControl(real, op, arg);
}

int ViewSectorSize(sqlite3_file* file) {
  sqlite3_file* real = Real(file);
  return real->pMethods->xSectorSize(real);
}

int ViewDeviceCharacteristics(sqlite3_file* file) {
  sqlite3_file* real = Real(file);
  return real->pMethods->xDeviceCharacteristics(real);
}

// "Cannot initialise the shared memory": SQLite then builds the log's index in private memory
// from the "-wal" file itself, and never opens or creates "-shm".
int ViewShmMap(sqlite3_file*, int, int, int, void volatile** page) {
  *page = nullptr;
  return SQLITE_READONLY_CANTINIT;
}

// The index is private, so there is nobody to exclude.
int ViewShmLock(sqlite3_file*, int, int, int) {
  return SQLITE_OK;
}

void ViewShmBarrier(sqlite3_file*) {
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

int ViewShmUnmap(sqlite3_file*, int) {
  return SQLITE_OK;
}

int ViewFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** page) {
  sqlite3_file* real = Real(file);
  if (real->pMethods->iVersion < 3 || real->pMethods->xFetch == nullptr) {
    *page = nullptr;
    return SQLITE_OK;
  }
  return real->pMethods->xFetch(real, offset, amount, page);
}

int ViewUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  sqlite3_file* real = Real(file);
  if (real->pMethods->iVersion < 3 || real->pMethods->xUnfetch == nullptr)
    return SQLITE_OK;
  return real->pMethods->xUnfetch(real, offset, page);
}

const sqlite3_io_methods kViewIoMethods = {
    3,
    ViewClose,
    ViewRead,
    ViewWrite,
    ViewTruncate,
    ViewSync,
    ViewFileSize,
    ViewLock,
    ViewUnlock,
    ViewCheckReservedLock,
    ViewFileControl,
    ViewSectorSize,
    ViewDeviceCharacteristics,
    ViewShmMap,
    ViewShmLock,
    ViewShmBarrier,
    ViewShmUnmap,
    ViewFetch,
    ViewUnfetch,
};

int ViewOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags,
             int* outFlags) {
  sqlite3_vfs* real = RealVfs(vfs);
  // A file without a name is SQLite's own scratch file on the host, not part of the image.
  if (name == nullptr)
    return real->xOpen(real, name, file, flags, outFlags);
  auto* view = reinterpret_cast<TViewFile*>(file);
  view->Base.pMethods = nullptr;
  // A pipe in place of a journal would block the open for ever, and a device or folder is no
  // database file either. (The system layer refuses links itself.)
  if (HostEntryAt(name) == THostEntry::Other)
    return SQLITE_CANTOPEN;
  view->Real = reinterpret_cast<sqlite3_file*>(view + 1);
  view->Real->pMethods = nullptr;
  constexpr int kWriting = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE |
                           SQLITE_OPEN_DELETEONCLOSE;
  const int rc =
      real->xOpen(real, name, view->Real, (flags & ~kWriting) | SQLITE_OPEN_READONLY, outFlags);
  if (rc != SQLITE_OK) {
    if (view->Real->pMethods != nullptr)
      view->Real->pMethods->xClose(view->Real);
    return rc;
  }
  view->Base.pMethods = &kViewIoMethods;
  return SQLITE_OK;
}

int ViewDelete(sqlite3_vfs*, const char*, int) {
  return SQLITE_IOERR_DELETE;
}

int ViewAccess(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
  return RealVfs(vfs)->xAccess(RealVfs(vfs), name, flags, result);
}

int ViewFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return RealVfs(vfs)->xFullPathname(RealVfs(vfs), name, size, out);
}

void* ViewDlOpen(sqlite3_vfs*, const char*) {
  return nullptr;
}

void ViewDlError(sqlite3_vfs*, int size, char* message) {
  if (size > 0)
    message[0] = '\0';
}

void (*ViewDlSym(sqlite3_vfs*, void*, const char*))(void) {
  return nullptr;
}

void ViewDlClose(sqlite3_vfs*, void*) {}

int ViewRandomness(sqlite3_vfs* vfs, int size, char* out) {
  return RealVfs(vfs)->xRandomness(RealVfs(vfs), size, out);
}

int ViewSleep(sqlite3_vfs* vfs, int microseconds) {
  return RealVfs(vfs)->xSleep(RealVfs(vfs), microseconds);
}

int ViewCurrentTime(sqlite3_vfs* vfs, double* now) {
  return RealVfs(vfs)->xCurrentTime(RealVfs(vfs), now);
}

int ViewGetLastError(sqlite3_vfs* vfs, int size, char* message) {
  return RealVfs(vfs)->xGetLastError(RealVfs(vfs), size, message);
}

int ViewCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
  sqlite3_vfs* real = RealVfs(vfs);
  if (real->iVersion >= 2 && real->xCurrentTimeInt64 != nullptr)
    return real->xCurrentTimeInt64(real, now);
  double days = 0;
  const int rc = real->xCurrentTime(real, &days);
  *now = static_cast<sqlite3_int64>(days * 86400000.0);
  return rc;
}

sqlite3_vfs* RegisteredViewVfs() {
  static sqlite3_vfs* const vfs = [] {
    static sqlite3_vfs view{};
    sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
    if (real == nullptr)
      return static_cast<sqlite3_vfs*>(nullptr);
    view.iVersion = 2;
    view.szOsFile = static_cast<int>(sizeof(TViewFile)) + real->szOsFile;
    view.mxPathname = real->mxPathname;
    view.zName = kVfsName;
    view.pAppData = real;
    view.xOpen = ViewOpen;
    view.xDelete = ViewDelete;
    view.xAccess = ViewAccess;
    view.xFullPathname = ViewFullPathname;
    view.xDlOpen = ViewDlOpen;
    view.xDlError = ViewDlError;
    view.xDlSym = ViewDlSym;
    view.xDlClose = ViewDlClose;
    view.xRandomness = ViewRandomness;
    view.xSleep = ViewSleep;
    view.xCurrentTime = ViewCurrentTime;
    view.xGetLastError = ViewGetLastError;
    view.xCurrentTimeInt64 = ViewCurrentTimeInt64;
    if (sqlite3_vfs_register(&view, 0) != SQLITE_OK)
      return static_cast<sqlite3_vfs*>(nullptr);
    return &view;
  }();
  return vfs;
}

} // namespace

const char* SQLiteViewVfsName() {
  // Without it a viewer could create files beside the database; refusing to open is better.
  return RegisteredViewVfs() != nullptr ? kVfsName : "quillon-view-unavailable";
}

} // namespace quillon::winapi
