#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/browser_launch.h"

extern char** environ;

namespace ledra {

bool OpenInBrowser(const std::string& url, std::string* error) {
  // xdg-open hands the address to the desktop's default browser.
  const char* const argv[] = {"xdg-open", url.c_str(), nullptr};
  pid_t child = 0;
  const int failed =
      posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ);
  if (failed != 0) {
    *error = std::string("cannot start xdg-open: ") + std::strerror(failed);
    return false;
  }
  // Collected when it ends, so that it leaves no zombie behind.
  std::thread([child] {
    int status = 0;
    waitpid(child, &status, 0);
  }).detach();
  return true;
}

}  // namespace ledra
