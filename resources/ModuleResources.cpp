#include "resources/ModuleResources.h"

#include "resources/StringTable.h"
#include "resources/VersionInfo.h"

win32::HINSTANCE ModuleInstance() {
    static const win32::ModuleResources resources{ModuleStringTable(), &ModuleVersionInfo()};
    return &resources;
}
