// Which code page a catalogue's names are read in. A catalogue does not record it; the
// reader decides by one rule, per catalogue, so that catalogues of both systems can be read
// and compared in one run:
//   - a catalogue whose root is a Windows root (a drive letter 'C:', a share or device path
//     '\\...') holds names in an ANSI code page: the one --encoding names, else on Windows
//     the machine's ANSI code page, else (Linux without --encoding) the bytes are kept as
//     they are stored;
//   - every other catalogue (a POSIX root '/', an empty root) holds UTF-8; only a name that
//     is not valid UTF-8 (a Linux disk of Latin-1 names) is read in the code page --encoding
//     names, when it names one.
#ifndef LEDRA_QUERY_CATALOG_ENCODING_H_
#define LEDRA_QUERY_CATALOG_ENCODING_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace ledra {

class Platform;
struct CatalogContents;

// What the rule goes by besides the root.
struct NameEncoding {
  std::string option;   // --encoding; empty when not given
  std::string machine;  // the machine's ANSI code page (MachineAnsiCodePage); empty on POSIX
};

// Whether `root`, a catalogue header's root, is a Windows root: 'C:' or '\\' first.
bool IsWindowsRoot(std::string_view root);

// The code page of a catalogue of a Windows root: --encoding, else the machine's; empty when
// neither is known (the bytes are kept). Empty for every other root.
std::string CatalogCodePage(std::string_view root, const NameEncoding& encoding);

// Whether the names of the catalogue with `root` pass through a code page at all; when not,
// they are UTF-8 and kept as stored.
bool DecodesNames(std::string_view root, const NameEncoding& encoding);

// The decoder of the names of the catalogue with `root`, by the rule above. Where the names
// are taken as UTF-8 the decoder keeps them as stored with `keepBytes` (the queries), else
// mends invalid bytes to U+FFFD (the exports). Null with *error ("unknown encoding 'NAME'")
// when a code page is unknown to the platform.
std::unique_ptr<NameDecoder> CatalogDecoder(Platform& platform, std::string_view root,
                                            const NameEncoding& encoding, std::string* error,
                                            bool keepBytes = true);

// False with *error when the platform does not know a code page `encoding` names.
bool CheckEncoding(Platform& platform, const NameEncoding& encoding, std::string* error);

// Replaces the names of *contents (every entry's, and the header's root, folder 0's path,
// volume name, alias and display name) by their forms through `decoder`, for the queries
// that compare names across catalogues of several code pages. The new names live in the
// contents' own bytes, which keep the old ones as well.
void DecodeNames(NameDecoder& decoder, CatalogContents* contents);

}  // namespace ledra

#endif  // LEDRA_QUERY_CATALOG_ENCODING_H_
