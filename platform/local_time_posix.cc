#include <time.h>

#include <mutex>

#include "platform/local_time.h"

namespace ledra {

bool ToLocalTime(int64_t epoch, std::tm* local) {
  // tzset() reads TZ or /etc/localtime; localtime_r() then uses what it read and, unlike
  // localtime(), does not look again.
  static std::once_flag zoneRead;
  std::call_once(zoneRead, [] { tzset(); });
  const time_t t = static_cast<time_t>(epoch);
  return localtime_r(&t, local) != nullptr;
}

bool FromLocalTime(std::tm* local, int64_t* epoch) {
  // mktime() may share state with the other local-time calls of the C library.
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  const int year = local->tm_year;
  const int month = local->tm_mon;
  const int day = local->tm_mday;
  const time_t t = mktime(local);
  // -1 is also one second before 1970: a real answer on the last day of 1969.
  if (t == static_cast<time_t>(-1) && !(year == 69 && month == 11 && day == 31)) return false;
  *epoch = static_cast<int64_t>(t);
  return true;
}

}  // namespace ledra
