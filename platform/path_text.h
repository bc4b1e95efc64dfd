// The text rules by which a Windows device path is split into its volume root and the
// rest. They are pure functions so that every host can test them; the Win32 back end and
// the test fake use them at run time.
#ifndef LEDRA_PLATFORM_PATH_TEXT_H_
#define LEDRA_PLATFORM_PATH_TEXT_H_

#include <string>

namespace ledra {

// Splits a device path into its root ('C:\', '\\server\share\') and the remainder
// (after the ':' in drive form; from the share name on in share form). An empty path
// leaves both outputs untouched. A share path without share name ('\\server') gives a
// root without share and an empty remainder.
void SplitRoot(const std::string& path, std::string* root, std::string* remainder);

// The path of a walk's root below its drive or share, applied to the root without its
// trailing backslash: 'C:' gives '', 'D:\Data' gives '\Data', '\\srv\share\dir' gives
// '\dir', and a path of neither form is taken whole.
std::string RootPathRule(const std::string& normalisedRoot);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_PATH_TEXT_H_
