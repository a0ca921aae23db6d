// The module's version resource: the strings of its Japanese (0x0411, Unicode) string block.
#pragma once

#include "platform/Resources.h"

const win32::VersionStrings& ModuleVersionInfo();
