// The settings a relay test needs, in a registry of its own (a temporary folder for the hive files, the process's
// registry folder while the object lives) and the proxy-server values written into it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Win32Types.h"
#include "settings/TempRegistryFolder.h"

// Relay tests name the registry folder of their own after what it is for.
using ScopedRegistry = TempRegistryFolder;

// Writes the values of the "Proxy Server Preferences" key; listenPort 0 lets the system choose the port.
void WriteProxyServerSettings(const std::string& mailServerAddress, win32::DWORD mailServerPort,
                              win32::DWORD listenPort);
void WriteProxyServerString(const char* name, const std::string& value);
void WriteProxyServerDword(const char* name, win32::DWORD value);
