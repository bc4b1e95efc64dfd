#include "platform/volume_serial.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace ledra {
namespace {

TEST(VolumeSerialTest, SerialFromUuidText) {
  struct Case {
    const char* text;
    bool found;
    uint32_t serial;
  };
  const Case cases[] = {
      // vfat and exfat: what Windows shows as 'ABCD-1234'.
      {"ABCD-1234", true, 0xABCD1234u},
      {"abcd-1234", true, 0xABCD1234u},
      {"0000-00A1", true, 0x000000A1u},
      // NTFS: Windows shows the low half of the 64-bit number.
      {"0123456789ABCDEF", true, 0x89ABCDEFu},
      {"0123456700000000", true, 0x00000000u},  // only a wholly zero UUID is none
      // ext4, btrfs, xfs: the first eight digits.
      {"1234abcd-5678-4def-8123-456789abcdef", true, 0x1234ABCDu},
      {"00000000-0000-0000-0000-000000000001", true, 0x00000000u},
      {"1234ABCD5678", true, 0x1234ABCDu},  // 12 digits: no NTFS form
      {"12345678", true, 0x12345678u},
      {"2023-01-01-12-00-00-00", true, 0x20230101u},  // iso9660 keeps a date
      // No UUID at all.
      {"0000-0000", false, 0},
      {"0000000000000000", false, 0},
      {"00000000-0000-0000-0000-000000000000", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"1234567", false, 0},      // too short for a serial
      {"1234-567", false, 0},     // seven digits in all
      {"-ABCD1234", false, 0},    // empty first group
      {"ABCD1234-", false, 0},    // empty last group
      {"ABCD--1234", false, 0},   // empty middle group
      {"GHIJ-KLMN", false, 0},    // not hex
      {"ABCD 1234", false, 0},    // a space is no separator
      {"ABCD-1234\n", false, 0},  // nor a line end
      {"0123456789ABCDEG", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t serial = 0x5A5A5A5Au;
    EXPECT_EQ(SerialFromUuidText(c.text, &serial), c.found);
    if (c.found) {
      EXPECT_EQ(serial, c.serial);
    } else {
      EXPECT_EQ(serial, 0x5A5A5A5Au) << "a failed conversion leaves the serial alone";
    }
  }
}

TEST(VolumeSerialTest, UuidTextFromBytes) {
  const unsigned char uuid[16] = {0x12, 0x34, 0xab, 0xcd, 0x56, 0x78, 0x4d, 0xef,
                                  0x81, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  EXPECT_EQ(UuidTextFromBytes(uuid, 16), "1234abcd-5678-4def-8123-456789abcdef");
  EXPECT_EQ(UuidTextFromBytes(uuid, 4), "1234abcd");
  EXPECT_EQ(UuidTextFromBytes(uuid, 0), "");

  // The bytes the kernel hands out come out as the serial libblkid's text gives.
  uint32_t serial = 0;
  ASSERT_TRUE(SerialFromUuidText(UuidTextFromBytes(uuid, 16), &serial));
  EXPECT_EQ(serial, 0x1234ABCDu);
  const unsigned char nil[16] = {};
  EXPECT_FALSE(SerialFromUuidText(UuidTextFromBytes(nil, 16), &serial));
}

}  // namespace
}  // namespace ledra
