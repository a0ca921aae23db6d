// The process's own module as an automation server sees it: its full command line, its file name, and the
// per-user runtime folder where its class object and instance mutex are published. Callable from any thread.
#pragma once

#include <string>

#include "platform/Win32Types.h"

namespace win32 {

// The program path and its arguments joined by single blanks, as the process was started.
std::string GetCommandLine();

// The executable's full path (module null) into buffer, truncated to size - 1 characters and NUL-terminated;
// returns the number of characters copied (size when truncated), 0 on failure.
DWORD GetModuleFileName(void* module, char* buffer, DWORD size);

// The short (8.3) form of a path. File systems here keep no short names, so the query reports 0 and callers use
// the long form.
DWORD GetShortPathName(const char* longPath, char* shortPath, DWORD size);

// $XDG_RUNTIME_DIR/VUVed3UzeroVadave, else /tmp/VUVed3UzeroVadave-<uid>; created with mode 0700 when missing.
// Empty when it cannot be created or is not a private folder of the user.
std::string RuntimeFolder();

// Where the class object of the automation server is published: RuntimeFolder()/automation.
std::string AutomationSocketPath();

}  // namespace win32
