// The application's own resources besides the string table: registry scripts, icons and the icon's menu, built
// into the executable from the files in app/resources/. Read-only; any thread may use them.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "platform/NotifyIcon.h"

inline constexpr win32::UINT kAppIdScript = 100;       // REGISTRY 100: application identity
inline constexpr win32::UINT kClassScript = 102;       // REGISTRY 102: the class ComVUVed3UzeroVadave
inline constexpr win32::UINT kTypeLibraryScript = 1;   // the keys that register TYPELIB 1

inline constexpr win32::UINT kApplicationIcon = 100;
inline constexpr win32::UINT kTranslatingIcon = 209;
inline constexpr win32::UINT kMailWaitingIcon = 210;
inline constexpr win32::UINT kBusyIcon = 211;
inline constexpr win32::UINT kIdleIcon = 212;

inline constexpr win32::UINT kTipsMenu = 201;  // IDR_TIPSMENU
inline constexpr win32::UINT kShowSettingsCommand = 32771;

// The text of a registry script; empty for an unknown id.
std::string_view RegistryScriptResource(win32::UINT id);
std::span<const win32::IconResource> ModuleIcons();
// The first submenu of a menu resource; empty for an unknown id.
std::vector<win32::PopupMenuItem> LoadPopupMenu(win32::UINT id);
