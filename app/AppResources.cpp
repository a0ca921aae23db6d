#include "app/AppResources.h"

#include "app/AppResourceData.h"

std::string_view RegistryScriptResource(win32::UINT id) {
    switch (id) {
    case kAppIdScript:
        return kAppIdScriptText;
    case kClassScript:
        return kClassScriptText;
    case kTypeLibraryScript:
        return kTypeLibraryScriptText;
    default:
        return {};
    }
}

std::span<const win32::IconResource> ModuleIcons() {
    static const win32::IconResource icons[] = {
        {kApplicationIcon, kApplicationIconPng, sizeof(kApplicationIconPng)},
        {kTranslatingIcon, kTranslatingIconPng, sizeof(kTranslatingIconPng)},
        {kMailWaitingIcon, kMailWaitingIconPng, sizeof(kMailWaitingIconPng)},
        {kBusyIcon, kBusyIconPng, sizeof(kBusyIconPng)},
        {kIdleIcon, kIdleIconPng, sizeof(kIdleIconPng)},
    };
    return icons;
}

std::vector<win32::PopupMenuItem> LoadPopupMenu(win32::UINT id) {
    if (id != kTipsMenu) {
        return {};
    }
    return {{kShowSettingsCommand, "「設定」の表示..."}};
}
