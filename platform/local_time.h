// Local time for the times `ledra` prints. The C library's localtime() looks the zone up
// afresh on every call (on Linux a stat of /etc/localtime each time, under a lock), which
// costs more than the rest of a line of text output; here the zone is read once per run.
// Windows' C library refuses times before 1970, which the system's own calls convert.
#ifndef LEDRA_PLATFORM_LOCAL_TIME_H_
#define LEDRA_PLATFORM_LOCAL_TIME_H_

#include <cstdint>
#include <ctime>

namespace ledra {

// Fills *local with `epoch` (seconds since 1970 UTC) in the local time zone as it was when
// the first call read it; false when the C library cannot convert it. Safe to call from
// several threads.
bool ToLocalTime(int64_t epoch, std::tm* local);

// The seconds since 1970 UTC of the local time *local (its tm_isdst as mktime() reads it;
// the fields may be normalised). False when the time cannot be represented. Times before
// 1970 convert as later ones do, on both systems.
bool FromLocalTime(std::tm* local, int64_t* epoch);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_LOCAL_TIME_H_
