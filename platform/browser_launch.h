// Opening a page in the user's default browser, for `ledra serve --open`.
#ifndef LEDRA_PLATFORM_BROWSER_LAUNCH_H_
#define LEDRA_PLATFORM_BROWSER_LAUNCH_H_

#include <string>

namespace ledra {

// Opens `url` in the user's default browser (xdg-open on POSIX, the shell's "open" on
// Windows) without waiting for it. False with *error when no browser could be started.
bool OpenInBrowser(const std::string& url, std::string* error);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_BROWSER_LAUNCH_H_
