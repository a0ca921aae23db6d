// Module resources: the string table (kept as UTF-8 in the source, loaded in the ANSI code page) and the
// version information of the executable.
#pragma once

#include <span>

#include "platform/Win32Types.h"

namespace win32 {

struct StringResource {
    UINT id;
    const char* utf8;
};

struct VersionStrings {
    const char* block;  // "041104b0": language and code page of the string block, as hexadecimal text
    const char* fileDescription;
    const char* fileVersion;
    const char* productVersion;
};

struct ModuleResources {
    std::span<const StringResource> strings;
    const VersionStrings* version;  // null: the module has no version resource
};

using HINSTANCE = const ModuleResources*;

// Copies string id, converted to the ANSI code page, into buffer (at most bufferSize - 1 bytes, truncated at a
// character boundary, then a NUL) and returns the number of bytes copied; 0 when the entry does not exist.
int LoadString(HINSTANCE instance, UINT id, char* buffer, int bufferSize);

}  // namespace win32
