#pragma once
// Host files as the SQLite layer (formats/SQLiteDatabase.h) needs them: SQLite opens its files
// itself, by host path, so these checks and names are the file system's business and live here
// with it. Paths are host paths, as winapi::HostPath gives them.

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::winapi {

// What a host path holds, seen without following a symbolic link.
enum class THostEntry : std::uint8_t { Missing, PlainFile, Other };

// size gets a plain file's size.
THostEntry HostEntryAt(const std::string& hostPath, std::uint64_t* size = nullptr);

// A database in WAL mode whose write-ahead log does not exist is complete in its main file.
// Opening it would make SQLite look for (and want to create) the log; opened as immutable it
// reads the main file alone. The header is read without following a link and without waiting on
// a pipe, so that the check itself cannot be steered.
bool IsQuietWalDatabase(const std::string& hostPath);

// The "file:" URI of a host path; '%', '?' and '#' are escaped, as they would otherwise be read
// as URI syntax.
std::string SQLiteFileUri(const std::string& hostPath);

// Appends a host path to a "file:" URI: the characters SQLite's URI parser gives a meaning ("%",
// "?", "#") escaped, and "\" turned into "/" where the host separates folders with it.
inline void AppendUriPath(std::string& uri, std::string_view path, bool backslashSeparates) {
  for (const char c : path) {
    if (c == '%')
      uri += "%25";
    else if (c == '?')
      uri += "%3f";
    else if (c == '#')
      uri += "%23";
    else if (c == '\\' && backslashSeparates)
      uri += '/';
    else
      uri += c;
  }
}

} // namespace quillon::winapi
