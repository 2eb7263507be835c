#pragma once
// Replacing a browser's store file as a whole. The new content is written beside the store and
// renamed over it, so the store is at every moment either wholly old or wholly new: a full disk,
// a read-only folder or a file held open by the browser leaves it exactly as it was.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon {

// The name the new content is written under before it replaces the store: the store's own name
// with a suffix no browser uses for a store.
constexpr std::string_view kStoreTempSuffix = ".vext.tmp";

// Writes content to the temporary file beside path, then renames it over path (which need not
// exist). On any failure the temporary file is removed, the store is untouched, GetLastError
// holds the cause and the result is false.
bool ReplaceStoreFile(const std::string& path, std::string_view content);

// The error a writer raises when its file cannot be created or written.
class EFCreateError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Raises EFCreateError for fileName with the system's text for the last error code.
[[noreturn]] void RaiseFileCreateError(const std::string& fileName);

} // namespace quillon
