// The resources of the server's module: the string table (entries 100-107) and the version strings, handed to
// the string loader and the automation object as the module instance. Read-only; any thread may use it.
#pragma once

#include "platform/Resources.h"

win32::HINSTANCE ModuleInstance();
