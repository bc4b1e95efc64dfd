// The text rules by which paths are cut and a Windows device path is split into its volume
// root and the rest. They are pure functions so that every host can test them; the back
// ends and the test fake use them at run time.
//
// In the double-byte code pages of East Asia (932, 936, 949, 950) the second byte of a
// character may be 0x5C, the byte of '\'. Such a byte is no separator: every rule here
// reads a path forward, character by character, with the code page's lead-byte test.
#ifndef LEDRA_PLATFORM_PATH_TEXT_H_
#define LEDRA_PLATFORM_PATH_TEXT_H_

#include <cstddef>
#include <string>

namespace ledra {

// Whether a byte opens a two-byte character in the code page paths are written in.
using LeadByteTest = bool (*)(unsigned char byte);

// The test of code pages without two-byte characters (single-byte ones, UTF-8).
bool NoLeadBytes(unsigned char byte);

// The position of the last character of `path` that is `separator`, or npos.
size_t LastSeparator(const std::string& path, char separator, LeadByteTest isLead);

// The position of the last separator of `path`, npos when there is none: `separator`, or
// '/', which Windows takes for one too.
size_t LastPathSeparator(const std::string& path, char separator, LeadByteTest isLead);

// Whether the last character of `path` is `separator`.
bool EndsWithSeparator(const std::string& path, char separator, LeadByteTest isLead);

// The folder that holds the file at `fullPath`: the path cut before its last separator,
// keeping the separator of a drive root ('C:\', '/').
std::string FolderOfFile(const std::string& fullPath, char separator, LeadByteTest isLead);

// Splits a device path into its root ('C:\', '\\server\share\') and the remainder
// (after the ':' in drive form; from the share name on in share form). An empty path
// leaves both outputs untouched. A share path without share name ('\\server') gives a
// root without share and an empty remainder.
void SplitRoot(const std::string& path, std::string* root, std::string* remainder,
               LeadByteTest isLead);

// The path of a walk's root below its drive or share, applied to the root without its
// trailing backslash: 'C:' gives '', 'D:\Data' gives '\Data', '\\srv\share\dir' gives
// '\dir', and a path of neither form is taken whole.
std::string RootPathRule(const std::string& normalisedRoot, LeadByteTest isLead);

// A path in the form that lifts the 260-character limit as the same path without it:
// '\\?\UNC\srv\share\x' gives '\\srv\share\x', '\\?\D:\x' gives 'D:\x' ('UNC' in any
// case). Any other path, '\\?\Volume{...}\' included, is given as it stands. The volume
// of such a path is found and named as the path without the prefix would be.
std::string WithoutLongPathPrefix(const std::string& path);

// Whether a Windows device path is relative to a current folder: 'x', '.\x', '\x' (the
// current drive) and 'D:x' (drive D:'s current folder). 'D:' alone names the drive's
// root, as it always has; '/' counts as '\'.
bool IsRelativeWindowsPath(const std::string& path);

// `text` cut to at most `limit` bytes without splitting a character: a two-byte character
// of the code page is kept or dropped whole, and where the code page has no two-byte
// characters a UTF-8 sequence is too. (In a single-byte code page other than UTF-8, bytes
// that happen to form a UTF-8 sequence may cost one character more.)
std::string CutAtCharacter(std::string text, size_t limit, LeadByteTest isLead);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_PATH_TEXT_H_
