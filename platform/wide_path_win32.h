// How the Win32 back end turns the byte-string paths of the core into the wide paths of
// the W calls, and wide names back into bytes.
//
// A catalogue stores names in the ANSI code page, and a character the code page lacks
// becomes '?' there: converted without best fit, so that no look-alike (a fullwidth '＼'
// turned into a real '\') ever changes what a name says. Such a name cannot open its
// folder again, so paths the platform hands out carry those names in a form of their own:
// '<' + the UTF-16 code units in hex + '>' ('中文' is '<4E2D6587>'). '<' and '>' never occur
// in a Windows name, so the form never takes a real name's place, and it is plain ASCII,
// which passes every code page unchanged. Only this back end reads it.
#ifndef LEDRA_PLATFORM_WIDE_PATH_WIN32_H_
#define LEDRA_PLATFORM_WIDE_PATH_WIN32_H_

#include <string>

namespace ledra {

// The code pages path text is written in: the ANSI code page (CP_ACP), which catalogues
// store names in, or UTF-8 (CP_UTF8), which holds every name and so never needs the
// '<hex>' form. Every conversion below takes the ANSI code page unless told otherwise.
constexpr unsigned kAnsiCodePage = 0;
constexpr unsigned kUtf8CodePage = 65001;

// The lead-byte test of the ANSI code page (IsDBCSLeadByteEx).
bool IsAnsiLeadByte(unsigned char byte);

// A name as a catalogue stores it: the ANSI bytes, '?' for what the code page lacks.
// `lossy` (when given) tells whether anything was replaced.
std::string StoredName(const std::wstring& name, bool* lossy = nullptr,
                       unsigned codePage = kAnsiCodePage);

// A name or path as the platform hands it out: each component the code page holds as it
// is, every other one in the '<hex>' form.
std::string PathText(const std::wstring& path, unsigned codePage = kAnsiCodePage);

// The wide form of a path the core hands in: text in the code page, '<hex>' components
// decoded.
std::wstring WidePath(const std::string& path, unsigned codePage = kAnsiCodePage);

// A path as a catalogue stores it: path text of the ANSI code page whose '<hex>'
// components become their stored names ('?' for each character the code page lacks).
std::string StoredPath(const std::string& path);

// UTF-8 text as UTF-16, and back; a sequence that is no UTF-8 becomes U+FFFD.
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);

// The full path of `path` (GetFullPathNameW): relative forms taken from the current
// folders, '/' made '\', '.' and '..' resolved. A path already in the '\\?\' form is kept.
// False when the system refuses it.
bool FullWidePath(const std::wstring& path, std::wstring* full);

// A full path in the form that lifts the 260-character limit: 'C:\x' -> '\\?\C:\x',
// '\\srv\share\x' -> '\\?\UNC\srv\share\x'. Paths already in '\\?\' or another device
// form ('\\.\') are kept.
std::wstring LongPath(const std::wstring& full);

// LongPath of FullWidePath of WidePath: what the W calls are given for a folder.
bool SystemPath(const std::string& path, std::wstring* system, unsigned codePage = kAnsiCodePage);

// What the W calls are given for a file: the '\\?\' form of its folder's full path and
// then its name taken literally, so that 'CON.kvl' or 'x. ' is a file of that name, never
// a device or another name. A path in the '\\?\' form is kept; one whose folder is a
// device path ('\\.\') is given as it stands. A path that ends in a separator, '.' or '..'
// names a folder and is resolved whole, as SystemPath does.
bool SystemFilePath(const std::string& path, std::wstring* system,
                    unsigned codePage = kAnsiCodePage);

// What the W calls are given for `folder`, a folder below a walk's `root` (`root`, a
// separator and names as listings gave them): the root's SystemPath, made once, and the
// names joined to it as they are. So a folder named 'dir.', 'dir ', 'CON' or 'aux.txt' is
// that folder, which the system's own normalisation would trim or take for a device.
// `folder` not below `root` is taken as SystemPath takes it.
bool SystemPathBelow(const std::string& root, const std::string& folder, std::wstring* system,
                     unsigned codePage = kAnsiCodePage);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_WIDE_PATH_WIN32_H_
