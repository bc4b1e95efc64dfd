// Names as a catalogue stores them are bytes: the ANSI code page of the machine that wrote
// it, usually UTF-8 on Linux. Everything `ledra` prints and matches is UTF-8, so names pass
// through here: decoded from the chosen code page, or checked as UTF-8, with every byte that
// is not valid there replaced by U+FFFD. Where that happened, the raw bytes stay available.
#ifndef LEDRA_QUERY_NAME_TEXT_H_
#define LEDRA_QUERY_NAME_TEXT_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace ledra {

// Names taken as UTF-8 (the default, whatever the catalogue's platform), invalid bytes
// mended to U+FFFD: for outputs that must be UTF-8 throughout (the exports).
std::unique_ptr<NameDecoder> NewUtf8Decoder();
// Names taken as UTF-8 and kept as stored: Decode copies the bytes and says whether they
// were valid. For queries whose text keeps the bytes, so that paths still name the files;
// their JSON and CSV writers mend the text themselves.
std::unique_ptr<NameDecoder> NewStoredUtf8Decoder();
// Names in another code page come from Platform::NewCodePageDecoder.

// True when `bytes` is well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
// Appends `bytes` with each invalid sequence replaced by U+FFFD; false when any was.
bool AppendMendedUtf8(std::string_view bytes, std::string* out);
// Lowercase hexadecimal of the bytes ("e9").
std::string HexBytes(std::string_view bytes);

}  // namespace ledra

#endif  // LEDRA_QUERY_NAME_TEXT_H_
