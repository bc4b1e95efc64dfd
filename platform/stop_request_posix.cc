#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "platform/stop_request.h"

extern char** environ;

namespace ledra {

namespace {

// The signals are blocked in every thread and taken by sigwait on the watcher's thread, so
// that the stop runs as ordinary code rather than inside a signal handler.
class PosixStopWatch final : public StopWatch {
 public:
  explicit PosixStopWatch(std::function<void()> stop) : stop_(std::move(stop)) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    watcher_ = std::thread([this] {
      int signal = 0;
      while (sigwait(&signals_, &signal) == 0) {
        if (ending_) return;
        if (!stopped_.exchange(true)) stop_();
      }
    });
  }
  ~PosixStopWatch() override {
    ending_ = true;
    pthread_kill(watcher_.native_handle(), SIGTERM);
    watcher_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  std::function<void()> stop_;
  sigset_t signals_;
  sigset_t previous_;
  std::atomic<bool> ending_{false};
  std::atomic<bool> stopped_{false};
  std::thread watcher_;
};

}  // namespace

std::unique_ptr<StopWatch> WatchForStop(std::function<void()> stop) {
  return std::make_unique<PosixStopWatch>(std::move(stop));
}

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
