#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "platform/stop_request.h"

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

}  // namespace ledra
