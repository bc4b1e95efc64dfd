// Which code page a catalogue's names are read in. A catalogue does not record it; the
// reader decides by one rule, per catalogue, so that catalogues of both systems can be read
// and compared in one run:
//   - a catalogue whose root is a Windows root (a drive letter 'C:', a share or device path
//     '\\...') holds names in an ANSI code page: the one --encoding names, else on Windows
//     the machine's ANSI code page, else (Linux without --encoding) the bytes are kept as
//     they are stored;
//   - every other catalogue (a POSIX root '/', an empty root) holds UTF-8.
#ifndef LEDRA_QUERY_CATALOG_ENCODING_H_
#define LEDRA_QUERY_CATALOG_ENCODING_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace ledra {

class Platform;
struct CatalogContents;

// Whether `root`, a catalogue header's root, is a Windows root: 'C:' or '\\' first.
bool IsWindowsRoot(std::string_view root);

// The code page the names of the catalogue with `root` are in: `ansiEncoding` (the
// --encoding option, else the machine's ANSI code page; empty where neither is known) for a
// Windows root, empty (UTF-8, or the bytes kept) for every other root.
std::string CatalogCodePage(std::string_view root, const std::string& ansiEncoding);

// The decoder of the names of the catalogue with `root`, by the rule above. Where the names
// are taken as UTF-8 the decoder keeps them as stored with `keepBytes` (the queries), else
// mends invalid bytes to U+FFFD (the exports). Null with *error ("unknown encoding 'NAME'")
// when the code page is unknown to the platform.
std::unique_ptr<NameDecoder> CatalogDecoder(Platform& platform, std::string_view root,
                                            const std::string& ansiEncoding, std::string* error,
                                            bool keepBytes = true);

// Replaces the names of *contents (every entry's, and the header's root, folder 0's path,
// volume name, alias and display name) by their forms through `decoder`, for the queries
// that compare names across catalogues of several code pages. The new names live in the
// contents' own bytes, which keep the old ones as well.
void DecodeNames(NameDecoder& decoder, CatalogContents* contents);

}  // namespace ledra

#endif  // LEDRA_QUERY_CATALOG_ENCODING_H_
