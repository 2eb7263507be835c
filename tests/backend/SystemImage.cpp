// The system under test on Linux: a fresh image with one user, alice, whose session the program
// runs in. Her URL cache is her index.dat containers, written as WinINet lays them out.

#include "backend/SystemBackend.h"
#include "discovery/ProcessSetup.h"
#include "kit/HostFile.h"
#include "kit/ImageBuilder.h"
#include "kit/IndexDatWriter.h"
#include "kit/TempDir.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"
#include "winapi/image/ImageWinApi.h"

#include <stdexcept>

namespace quillon::test {

namespace {

using winapi::image::TIndexDatRecord;

constexpr const char* kUser = "alice";
constexpr const char* kUserSid = "S-1-5-21-1111111111-2222222222-3333333333-1001";
// The content container's one cache folder (WinINet names them with 8 characters).
constexpr const char* kCacheFolder = "QUILLON0";

class TImageSystem final : public TSystemBackend {
public:
  TImageSystem() : image_(dir_.Path()) {
    image_.AddUser(kUser, kUserSid);
    image_.Commit();
    Open();
  }

  void AddUrlCacheEntries(const std::vector<TUrlCacheSeed>& seeds) override {
    for (const TUrlCacheSeed& seed : seeds) {
      TIndexDatRecord r;
      r.Url = seed.Url;
      r.EntryType = seed.EntryType;
      r.HitRate = 1;
      r.LastAccess = r.LastModified = r.LastSync = winapi::U64ToFileTime(kSomeTime);
      r.Expire = winapi::U64ToFileTime(kSomeTime + kYear);
      r.FileSize = seed.FileContent.size();
      std::string file;
      if (StartsWithTextAscii(seed.Url, "Cookie:")) {
        r.FileName = kUser + std::string("@quillon[") + std::to_string(++files_) + "].txt";
        file = Folder(winapi::CSIDL_COOKIES) + "\\" + r.FileName;
        cookies_.push_back(std::move(r));
      } else if (StartsWithTextAscii(seed.Url, "Visited:")) {
        history_.push_back(std::move(r));
      } else {
        r.CacheFolder = 0;
        r.FileName = "entry" + std::to_string(++files_) + ".htm";
        file = Content() + "\\" + kCacheFolder + "\\" + r.FileName;
        content_.push_back(std::move(r));
      }
      if (!seed.FileContent.empty())
        WriteImageFile(file, seed.FileContent);
    }
    WriteImageFile(Content() + "\\index.dat", kit::BuildIndexDat({kCacheFolder}, content_));
    WriteImageFile(Folder(winapi::CSIDL_COOKIES) + "\\index.dat", kit::BuildIndexDat({}, cookies_));
    WriteImageFile(Folder(winapi::CSIDL_HISTORY) + "\\History.IE5\\index.dat",
                   kit::BuildIndexDat({}, history_));
    // The URL cache reads its containers once; a new session sees the new ones.
    Open();
  }

  bool IsWine() const override { return false; }

private:
  static constexpr std::uint64_t kSomeTime = 129434688000000000; // 2011-03-01 UTC
  static constexpr std::uint64_t kYear = 365ull * 24 * 3600 * 10000000;

  void Open() {
    setup_.reset();
    scope_.reset();
    winapi::image::TImageConfig config;
    config.imageRoot = dir_.Path();
    config.user = kUser;
    scope_ = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
    setup_ = std::make_unique<TProcessSetup>();
  }

  static std::string Folder(int csidl) {
    std::string path;
    if (!winapi::SHGetSpecialFolderPath(csidl, path))
      throw std::runtime_error("the image has no folder " + std::to_string(csidl));
    return path;
  }
  static std::string Content() { return Folder(winapi::CSIDL_INTERNET_CACHE) + "\\Content.IE5"; }

  // Writes below the image on the host, making the folders on the way.
  void WriteImageFile(const std::string& path, const std::string& bytes) {
    image_.AddFolder(path.substr(0, path.find_last_of('\\')));
    kit::WriteHostFile(winapi::HostPath(path), bytes);
  }

  kit::TTempDir dir_;
  kit::TImageBuilder image_;
  std::vector<TIndexDatRecord> content_, cookies_, history_;
  int files_ = 0;
  std::unique_ptr<winapi::TWinApiScope> scope_;
  std::unique_ptr<TProcessSetup> setup_; // dies before the backend it was built from
};

} // namespace

std::unique_ptr<TSystemBackend> MakeSystemBackend() {
  return std::make_unique<TImageSystem>();
}

} // namespace quillon::test
