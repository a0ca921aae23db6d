// The module's string table: names and texts the user sees (icon tip, mail reports, warning boxes), as UTF-8.
#pragma once

#include <span>

#include "platform/Resources.h"

std::span<const win32::StringResource> ModuleStringTable();
