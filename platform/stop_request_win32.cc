#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/stop_request.h"

namespace ledra {

namespace {

// The console's handler runs on a thread the system starts for it; it reaches the watcher
// through this one pointer.
std::mutex watcherMutex;
std::function<void()>* watcherStop = nullptr;
std::atomic<bool> stopped{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  std::function<void()> stop;
  {
    std::lock_guard<std::mutex> lock(watcherMutex);
    if (watcherStop == nullptr) return FALSE;
    stop = *watcherStop;
  }
  if (!stopped.exchange(true)) stop();
  // After a close, logoff or shutdown event the system ends the process once the handler
  // returns: give the program a moment to close its server first.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    Sleep(2000);
  }
  return TRUE;
}

class Win32StopWatch final : public StopWatch {
 public:
  explicit Win32StopWatch(std::function<void()> stop) : stop_(std::move(stop)) {
    std::lock_guard<std::mutex> lock(watcherMutex);
    watcherStop = &stop_;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  }
  ~Win32StopWatch() override {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    std::lock_guard<std::mutex> lock(watcherMutex);
    watcherStop = nullptr;
  }

 private:
  std::function<void()> stop_;
};

}  // namespace

std::unique_ptr<StopWatch> WatchForStop(std::function<void()> stop) {
  return std::make_unique<Win32StopWatch>(std::move(stop));
}

}  // namespace ledra
