// Opens an address of the settings page in the user's browser the way xdg-open does: each command of $BROWSER
// (colon-separated, "%s" standing for the address) in turn, then xdg-open. Callable from any thread.
#pragma once

#include <string>

// Starts the opener detached (a browser may stay in the foreground for as long as it runs) and returns at once;
// false when it cannot be started or the address holds characters a page address of ours never has.
bool OpenInBrowser(const std::string& url);
