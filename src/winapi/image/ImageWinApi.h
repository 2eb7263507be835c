#pragma once
// The image backend: the Windows services served from a Windows system image on the host. Each
// service is the image class that implements it; the backend only builds them over one image.

#include "winapi/WinApi.h"
#include "winapi/image/ImageConfig.h"

#include <memory>

namespace quillon::winapi::image {

class TImageRegistry;

class TImageWinApi : public TWinApi {
public:
  explicit TImageWinApi(const TImageConfig& config);

  // The registry's view of the image (the session's user, the profiles), also while a test has
  // put a spy in the registry service's place.
  TImageRegistry& Registry() const { return *imageRegistry_; }

private:
  std::shared_ptr<TImageRegistry> imageRegistry_;
};

} // namespace quillon::winapi::image
