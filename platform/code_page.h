// Names as a catalogue stores them are bytes in the ANSI code page of the machine that wrote
// it. A NameDecoder turns them into UTF-8; the code pages other than UTF-8 are the
// operating system's (Platform::NewCodePageDecoder), through iconv on POSIX and
// MultiByteToWideChar on Win32.
#ifndef LEDRA_PLATFORM_CODE_PAGE_H_
#define LEDRA_PLATFORM_CODE_PAGE_H_

#include <memory>
#include <string>
#include <string_view>

namespace ledra {

// Converts name bytes to UTF-8. Not shared between threads.
class NameDecoder {
 public:
  virtual ~NameDecoder() = default;
  // Writes the UTF-8 form of `bytes` into *out; false when some bytes were not valid and
  // became U+FFFD.
  virtual bool Decode(std::string_view bytes, std::string* out) = 0;
};

// The real machine's decoder of `codePage` ("cp1252", "cp932", "latin1", ...), for the real
// platforms to answer NewCodePageDecoder with (code_page_posix.cc, code_page_win32.cc).
// Null with *error "unknown encoding 'NAME'" when the machine does not know it.
std::unique_ptr<NameDecoder> NewSystemCodePageDecoder(const std::string& codePage,
                                                      std::string* error);

// The machine's ANSI code page, as NewSystemCodePageDecoder names it ("cp932"), for the
// reader to decode the names of catalogues written on Windows by. Empty where there is none
// to take (POSIX, whose names are bytes, and Windows set to UTF-8).
std::string MachineAnsiCodePage();

}  // namespace ledra

#endif  // LEDRA_PLATFORM_CODE_PAGE_H_
