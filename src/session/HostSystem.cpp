// What both systems share of the session's description.

#include "session/HostSystem.h"

#include "winapi/WinApi.h"

namespace quillon {

std::string SessionText(const TImageOptions& options) {
  std::string user;
  if (!winapi::GetUserName(user) || user.empty())
    user = "no user";
  return user + " on " + ShownSystemText(options);
}

} // namespace quillon
