// The registry: the hives HKEY_CURRENT_USER, HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE, each kept by the Linux
// backend as one text file in the .reg format. Every call sees the file as it is then (a file that has settled
// stays parsed until it changes); every write replaces it atomically under an advisory lock. String values are
// read and written in the ANSI code page (932).
#pragma once

#include <string>

#include "platform/Win32Types.h"

namespace win32 {

struct RegistryKey;
using HKEY = RegistryKey*;
using REGSAM = DWORD;

extern const HKEY HKEY_CLASSES_ROOT;
extern const HKEY HKEY_CURRENT_USER;
extern const HKEY HKEY_LOCAL_MACHINE;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

LONG RegOpenKeyEx(HKEY parent, const char* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyEx(HKEY parent, const char* subKey, DWORD reserved, char* keyClass, DWORD options, REGSAM access,
                    void* security, HKEY* result, DWORD* disposition);
// data may be null to ask for the type and size only; ERROR_MORE_DATA when *dataSize is too small.
LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LONG RegDeleteValue(HKEY key, const char* valueName);
// Deletes a key that has no subkeys.
LONG RegDeleteKey(HKEY parent, const char* subKey);
// Deletes a key with all its subkeys and values (subKey null: the contents of parent itself).
LONG RegDeleteTree(HKEY parent, const char* subKey);
// Enumeration by index; nameSize in characters, including room for the NUL.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize);
LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegCloseKey(HKEY key);

// The folder that holds the hive files ($VUVED_REGISTRY_DIR, else $XDG_CONFIG_HOME/VUVed3UzeroVadave/registry,
// else ~/.config/VUVed3UzeroVadave/registry), read afresh at each call.
std::string RegistryFolder();

}  // namespace win32
