// The shared string loader: one string-table entry of a module, in the ANSI code page. Any thread.
#pragma once

#include <string>

#include "platform/Resources.h"

// Replaces text with entry id and returns true; returns false, leaving text alone, when the entry is missing or
// empty.
bool LoadResourceString(win32::HINSTANCE instance, win32::UINT id, std::string& text);
// The same from the server's own module.
bool LoadResourceString(win32::UINT id, std::string& text);
