// The component classes installed with the program: the translation engine and its preferences object.
// Entered into the process's class table on first use (platform/Components.cpp).
#pragma once

#include <vector>

#include "platform/Com.h"

namespace win32 {

std::vector<ComponentClass> InstalledComponentClasses();

}  // namespace win32
