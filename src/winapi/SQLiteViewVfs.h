#pragma once
// A SQLite file layer for viewing a database that is not ours. It sits on the system's own layer
// and lets nothing through that could change a file: every file opens read-only and is never
// created, only plain files are opened (a pipe would block the reader), nothing is deleted, no lock
// above SHARED is taken (so no checkpoint or journal rollback can start), and there is no shared
// memory. Without shared memory SQLite reads a database's write-ahead log into private memory, so a
// WAL database with its "-wal" file is read in full without the "-shm" file that a normal reader
// would create beside it.

namespace quillon::winapi {

// The name to pass to sqlite3_open_v2; the layer is registered on first use.
const char* SQLiteViewVfsName();

} // namespace quillon::winapi
