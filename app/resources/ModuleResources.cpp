#include "app/resources/ModuleResources.h"

#include "app/resources/StringTable.h"
#include "app/resources/VersionInfo.h"

win32::HINSTANCE ModuleInstance() {
    static const win32::ModuleResources resources{ModuleStringTable(), &ModuleVersionInfo()};
    return &resources;
}
