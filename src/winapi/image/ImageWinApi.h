#pragma once
// The image backend: the Windows services served from a Windows system image on the host. Each
// service is the image class that implements it; the backend only builds them over one image.

#include "winapi/WinApi.h"
#include "winapi/image/ImageConfig.h"

namespace quillon::winapi::image {

class TImageFileSystem;
class TImageRegistry;

class TImageWinApi : public TWinApi {
public:
  explicit TImageWinApi(const TImageConfig& config);

  TImageFileSystem& Files() const;
  TImageRegistry& Registry() const;
};

} // namespace quillon::winapi::image
