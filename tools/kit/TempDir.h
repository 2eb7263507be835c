#pragma once
// A fresh folder on the host that is removed with everything in it when the object dies.

#include <string>

namespace quillon::kit {

class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

} // namespace quillon::kit
