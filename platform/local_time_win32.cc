#include <ctime>
#include <mutex>

#include "platform/local_time.h"

namespace ledra {

namespace {

// localtime() shares one buffer between callers.
std::mutex localTimeMutex;

}  // namespace

bool ToLocalTime(int64_t epoch, std::tm* local) {
  const std::time_t t = static_cast<std::time_t>(epoch);
  std::lock_guard<std::mutex> lock(localTimeMutex);
  const std::tm* converted = std::localtime(&t);
  if (converted == nullptr) return false;
  *local = *converted;
  return true;
}

}  // namespace ledra
