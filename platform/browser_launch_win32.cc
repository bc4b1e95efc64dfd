#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>

#include "platform/browser_launch.h"

namespace ledra {

bool OpenInBrowser(const std::string& url, std::string* error) {
  const HINSTANCE result =
      ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(result) > 32) return true;
  *error = "cannot open the browser (error " +
           std::to_string(static_cast<long long>(reinterpret_cast<INT_PTR>(result))) + ")";
  return false;
}

}  // namespace ledra
