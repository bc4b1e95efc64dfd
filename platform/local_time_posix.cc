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

}  // namespace ledra
