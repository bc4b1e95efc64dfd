// The user's request that a long-running program stop: Ctrl-C or SIGTERM (and SIGHUP, a
// closed terminal) on POSIX; Ctrl-C, Ctrl-Break or the closing of the console window, a
// logoff or a shutdown on Windows. `ledra serve` runs until then and ends cleanly.
#ifndef LEDRA_PLATFORM_STOP_REQUEST_H_
#define LEDRA_PLATFORM_STOP_REQUEST_H_

#include <functional>
#include <memory>

namespace ledra {

// Watches for the request while it exists; destroying it puts the default handling back.
class StopWatch {
 public:
  StopWatch() = default;
  StopWatch(const StopWatch&) = delete;
  StopWatch& operator=(const StopWatch&) = delete;
  virtual ~StopWatch() = default;
};

// Calls `stop` once, on a thread of its own, when the user asks the program to stop. Call it
// before the program starts any other thread: on POSIX the signals are blocked for every
// thread started afterwards and taken by the watcher alone.
std::unique_ptr<StopWatch> WatchForStop(std::function<void()> stop);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_STOP_REQUEST_H_
