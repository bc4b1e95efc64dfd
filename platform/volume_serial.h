// Turns the UUID of a filesystem into the 32-bit volume serial number that catalogues are
// recognised by. The rules give the number Windows reports for the same disk, so that a
// disk catalogued on either system is recognised on the other. Pure text functions, so
// that every host can test them; the POSIX back end uses them at run time.
#ifndef LEDRA_PLATFORM_VOLUME_SERIAL_H_
#define LEDRA_PLATFORM_VOLUME_SERIAL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ledra {

// The serial number of a filesystem UUID as Linux tools print it:
// - exactly 16 hex digits (NTFS): their low 32 bits, '0123456789ABCDEF' -> 0x89ABCDEF;
// - otherwise groups of hex digits joined by single '-' with 8 digits or more (vfat and
//   exfat 'ABCD-1234', the 8-4-4-4-12 form of ext4, btrfs, xfs ...): the first 8 digits.
// Case does not matter. False, with *serial untouched, for any other text and for a UUID
// whose digits are all zero (such a filesystem has no UUID).
bool SerialFromUuidText(std::string_view text, uint32_t* serial);

// Lower-case text of raw UUID bytes: 16 bytes in the 8-4-4-4-12 form, any other count as
// plain hex digits.
std::string UuidTextFromBytes(const unsigned char* bytes, size_t count);

// A serial number as people read it: "1234-ABCD".
std::string SerialText(uint32_t serial);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_VOLUME_SERIAL_H_
