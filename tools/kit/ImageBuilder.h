#pragma once
// Image kit: builds a Windows system image in a host folder (drive C:) for tests and the demo:
// the folder skeleton, the machine hives and user profiles with their NTUSER.DAT. Nothing is
// written to the hive files before Commit; folders and files appear at once.

#include "kit/HiveWriter.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quillon::kit {

class TImageBuilder {
public:
  // is64: a 64-bit Windows 7 (Program Files (x86), SOFTWARE\Wow6432Node) or a 32-bit one.
  explicit TImageBuilder(std::string root, bool is64 = true);
  ~TImageBuilder();

  const std::string& Root() const { return root_; }
  bool Is64() const { return is64_; }

  THiveWriter& Software();
  THiveWriter& System();
  THiveWriter& Sam();
  THiveWriter& Default();
  // Adds a user: folder C:\Users\<name>, a ProfileList entry for the SID, a SAM name entry with
  // the SID's last part as RID, and an NTUSER.DAT whose Shell Folders point below the profile
  // (unless withShellFolders is false). Returns the user's hive to add more values.
  THiveWriter& AddUser(const std::string& name, const std::string& sid,
                       bool withShellFolders = true);
  THiveWriter& UserHive(const std::string& name);
  // The user's UsrClass.dat (HKEY_USERS\<SID>_Classes).
  THiveWriter& UserClassesHive(const std::string& name);
  // The computer name in SYSTEM (the domain of local accounts); "QUILLON-PC" unless set.
  void SetComputerName(const std::string& name);
  // Writes a file below the image root; windowsPath is like "C:\Users\alice\x.txt".
  void AddFile(const std::string& windowsPath, const std::string& content);
  void AddFolder(const std::string& windowsPath);
  // Host path of a Windows path on drive C:.
  std::string HostPathOf(const std::string& windowsPath) const;
  // Writes every hive.
  void Commit();

private:
  std::string root_;
  bool is64_;
  std::unique_ptr<THiveWriter> software_, system_, sam_, default_;
  std::map<std::string, std::unique_ptr<THiveWriter>> users_;
  std::map<std::string, std::unique_ptr<THiveWriter>> classes_;
  std::vector<std::unique_ptr<THiveWriter>> systemProfiles_;
};

} // namespace quillon::kit
