#include "helpers/StoreOperations.h"

#include "platform/FileFinder.h"
#include "winapi/WinApi.h"

#include <vector>

namespace quillon {

namespace {

// Shorter locations are a drive root or little more ("C:\", "C:\Temp"); sweeping them would
// take files that no browser owns.
constexpr std::size_t kShortestPurgeableFolder = 8;

} // namespace

std::string FileErrorReason(const std::string& store, TFileStep step, winapi::DWORD error) {
  const std::string message = " (" + winapi::FormatMessage(error) + ")";
  if (error == winapi::ERROR_SHARING_VIOLATION)
    return store + " is in use by another program" + message;
  if (error == winapi::ERROR_ACCESS_DENIED && step != TFileStep::Read)
    return store + " is read-only or may not be changed" + message;
  switch (step) {
  case TFileStep::Read:
    return store + " cannot be read" + message;
  case TFileStep::Write:
    return store + " could not be changed" + message;
  case TFileStep::Delete:
    break;
  }
  return store + " could not be deleted" + message;
}

std::string ExceptionReason(const std::string& store, TFileStep step, const std::string& message) {
  if (message.find(store) != std::string::npos)
    return message;
  switch (step) {
  case TFileStep::Read:
    return store + " cannot be read (" + message + ")";
  case TFileStep::Write:
    return store + " could not be changed (" + message + ")";
  case TFileStep::Delete:
    break;
  }
  return store + " could not be deleted (" + message + ")";
}

TActionOutcome PurgeFolder(TProfileStores& profile, TCacheType kind) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, kind);
  const std::string& location = profile.GetLocation(kind);
  if (location.size() < kShortestPurgeableFolder || !winapi::DirectoryExists(location))
    return outcome;
  std::string folder = location;
  if (folder.back() != '\\')
    folder += '\\';
  std::vector<std::string> names;
  FindFiles(folder + "*.*", names, true, false, false);
  std::size_t files = 0;
  std::size_t failed = 0;
  std::string firstFailure;
  for (const std::string& name : names) {
    // A listing gives bare names; anything else would reach outside the folder.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("\\/") != std::string::npos)
      continue;
    ++files;
    if (!winapi::DeleteFile(folder + name) && failed++ == 0)
      firstFailure = FileErrorReason(name, TFileStep::Delete, winapi::GetLastError());
  }
  profile.GetList(kind).Clear();
  if (failed > 0)
    outcome.Fail(TStoreAccess::Change, kind, folder,
                 "deleted " + std::to_string(files - failed) + " of " + std::to_string(files) +
                     " files in " + folder + "; " + std::to_string(failed) +
                     " could not be deleted" + (failed > 1 ? ", the first: " : ": ") +
                     firstFailure);
  return outcome;
}

TActionOutcome PurgeFile(TProfileStores& profile, TCacheType kind) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, kind);
  const std::string& location = profile.GetLocation(kind);
  if (location.empty() || !winapi::FileExists(location))
    return outcome;
  if (winapi::DeleteFile(location))
    profile.GetList(kind).Clear();
  else
    outcome.Fail(TStoreAccess::Change, kind, location,
                 FileErrorReason(location, TFileStep::Delete, winapi::GetLastError()));
  return outcome;
}

} // namespace quillon
