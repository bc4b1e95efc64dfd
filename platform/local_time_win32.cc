#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <ctime>
#include <mutex>

#include "platform/local_time.h"

namespace ledra {

namespace {

// localtime() and mktime() share one buffer and one zone between callers.
std::mutex localTimeMutex;

// Seconds from 1601-01-01, where FILETIME counts from, to 1970-01-01.
constexpr int64_t kEpochFrom1601 = 11644473600LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

int DayOfYear(int year, int month, int day) {
  static const int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kBefore[month - 1] + day - 1 + (leap && month > 2 ? 1 : 0);
}

// The C library converts times from 1970 on only; the system converts any time from 1601,
// by the rules of the zone it is set to.
bool SystemToLocalTime(int64_t epoch, std::tm* local) {
  if (epoch < -kEpochFrom1601) return false;
  const uint64_t ticks = static_cast<uint64_t>(epoch + kEpochFrom1601) * kTicksPerSecond;
  FILETIME utcFile;
  utcFile.dwLowDateTime = static_cast<DWORD>(ticks);
  utcFile.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME utc;
  SYSTEMTIME shown;
  if (!FileTimeToSystemTime(&utcFile, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &shown)) {
    return false;
  }
  *local = std::tm{};
  local->tm_year = shown.wYear - 1900;
  local->tm_mon = shown.wMonth - 1;
  local->tm_mday = shown.wDay;
  local->tm_hour = shown.wHour;
  local->tm_min = shown.wMinute;
  local->tm_sec = shown.wSecond;
  local->tm_wday = shown.wDayOfWeek;
  local->tm_yday = DayOfYear(shown.wYear, shown.wMonth, shown.wDay);
  local->tm_isdst = -1;
  return true;
}

bool SystemFromLocalTime(const std::tm& local, int64_t* epoch) {
  if (local.tm_year + 1900 < 1601 || local.tm_year + 1900 > 30827) return false;
  SYSTEMTIME shown{};
  shown.wYear = static_cast<WORD>(local.tm_year + 1900);
  shown.wMonth = static_cast<WORD>(local.tm_mon + 1);
  shown.wDay = static_cast<WORD>(local.tm_mday);
  shown.wHour = static_cast<WORD>(local.tm_hour);
  shown.wMinute = static_cast<WORD>(local.tm_min);
  shown.wSecond = static_cast<WORD>(local.tm_sec);
  SYSTEMTIME utc;
  FILETIME utcFile;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &shown, &utc) ||
      !SystemTimeToFileTime(&utc, &utcFile)) {
    return false;
  }
  const uint64_t ticks =
      (static_cast<uint64_t>(utcFile.dwHighDateTime) << 32) | utcFile.dwLowDateTime;
  *epoch = static_cast<int64_t>(ticks / kTicksPerSecond) - kEpochFrom1601;
  return true;
}

}  // namespace

bool ToLocalTime(int64_t epoch, std::tm* local) {
  if (epoch < 0) return SystemToLocalTime(epoch, local);
  const std::time_t t = static_cast<std::time_t>(epoch);
  std::lock_guard<std::mutex> lock(localTimeMutex);
  const std::tm* converted = std::localtime(&t);
  if (converted == nullptr) return false;
  *local = *converted;
  return true;
}

bool FromLocalTime(std::tm* local, int64_t* epoch) {
  const std::tm asked = *local;
  {
    std::lock_guard<std::mutex> lock(localTimeMutex);
    const std::time_t t = std::mktime(local);
    if (t != static_cast<std::time_t>(-1)) {
      *epoch = static_cast<int64_t>(t);
      return true;
    }
  }
  // Before 1970 (or its last second, which mktime() cannot tell from a failure).
  return SystemFromLocalTime(asked, epoch);
}

}  // namespace ledra
