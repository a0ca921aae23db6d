// Linux backend of the registry functions on the hive files of RegistryFile. A key handle remembers its hive
// and path only; every call looks the key up in the file afresh, so handles may be used from any thread.
#include "platform/Registry.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/CodePage.h"
#include "platform/RegistryFile.h"
#include "platform/UserFolders.h"

namespace win32 {

// Opened keys are heap objects owned by the caller until RegCloseKey; the three hive roots are static.
struct RegistryKey {
    int hive;
    std::string path;  // UTF-8 below the hive root
    REGSAM access;
    bool predefined;
};

namespace {

constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr int kClassesRoot = 0;
constexpr int kCurrentUser = 1;
constexpr int kLocalMachine = 2;

RegistryKey classesRoot{kClassesRoot, "", KEY_ALL_ACCESS, true};
RegistryKey currentUser{kCurrentUser, "", KEY_ALL_ACCESS, true};
RegistryKey localMachine{kLocalMachine, "", KEY_ALL_ACCESS, true};

registry::RegistryFile HiveFileOf(int hive) {
    // The keys that exist in a fresh Windows profile and that the program relies on opening.
    switch (hive) {
        case kClassesRoot:
            return registry::RegistryFile(RegistryFolder(), "HKEY_CLASSES_ROOT", {});
        case kCurrentUser:
            return registry::RegistryFile(RegistryFolder(), "HKEY_CURRENT_USER", {"Software"});
        default:
            return registry::RegistryFile(RegistryFolder(), "HKEY_LOCAL_MACHINE", {"SOFTWARE"});
    }
}

bool ValidKey(HKEY key) {
    return key != nullptr && key->hive >= kClassesRoot && key->hive <= kLocalMachine;
}

std::string JoinPath(const std::string& parent, const char* subKey) {
    const std::string child = registry::Hive::Normalize(AnsiToUtf8(subKey != nullptr ? subKey : ""));
    if (child.empty()) {
        return parent;
    }
    return parent.empty() ? child : parent + "\\" + child;
}

// Names that a .reg line cannot hold are refused rather than stored damaged.
bool StorableName(std::string_view name) {
    return name.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

std::string ValueName(const char* name) {
    return AnsiToUtf8(name != nullptr ? name : "");
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The data as the ANSI functions hand it out: strings converted to code page 932, a REG_SZ or REG_EXPAND_SZ
// always ending in a NUL (which the reported size counts).
std::string AnsiData(const registry::Value& value) {
    if (!IsStringType(value.type)) {
        return value.data;
    }
    std::string ansi = Utf16ToAnsi(registry::Utf16Units(value.data));
    if (value.type != REG_MULTI_SZ && (ansi.empty() || ansi.back() != '\0')) {
        ansi.push_back('\0');
    }
    return ansi;
}

// Copies data out as RegQueryValueEx and RegEnumValue do: data may be null to ask for the size only.
LONG CopyData(const registry::Value& value, DWORD* type, BYTE* data, DWORD* dataSize) {
    if (data != nullptr && dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    if (dataSize == nullptr) {
        return ERROR_SUCCESS;
    }
    const std::string bytes = AnsiData(value);
    const DWORD room = *dataSize;
    *dataSize = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        return ERROR_SUCCESS;
    }
    if (room < bytes.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

// Loads the hive of an open key and finds the key in it: ERROR_BADDB when the file cannot be read,
// ERROR_KEY_DELETED when the key has been deleted since it was opened.
LONG LoadOpenKey(HKEY key, std::optional<registry::Hive>& hive, registry::Key*& found) {
    hive = HiveFileOf(key->hive).Load();
    if (!hive) {
        return ERROR_BADDB;
    }
    found = hive->Find(key->path);
    return found != nullptr ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Copies a name out for the enumeration functions; nameSize counts characters with room for the NUL.
LONG CopyName(const std::string& utf8, char* name, DWORD* nameSize) {
    if (name == nullptr || nameSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string ansi = Utf8ToAnsi(utf8);
    if (ansi.size() + 1 > *nameSize) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, ansi.c_str(), ansi.size() + 1);
    *nameSize = static_cast<DWORD>(ansi.size());
    return ERROR_SUCCESS;
}

}  // namespace

const HKEY HKEY_CLASSES_ROOT = &classesRoot;
const HKEY HKEY_CURRENT_USER = &currentUser;
const HKEY HKEY_LOCAL_MACHINE = &localMachine;

std::string RegistryFolder() {
    if (const char* folder = std::getenv("VUVED_REGISTRY_DIR"); folder != nullptr && *folder != '\0') {
        return folder;
    }
    return UserFolder("XDG_CONFIG_HOME", ".config") + "/registry";
}

LONG RegOpenKeyEx(HKEY parent, const char* subKey, DWORD /*options*/, REGSAM access, HKEY* result) {
    if (!ValidKey(parent) || result == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    *result = nullptr;
    std::optional<registry::Hive> hive;
    registry::Key* opened = nullptr;
    if (const LONG status = LoadOpenKey(parent, hive, opened); status != ERROR_SUCCESS) {
        return status;
    }
    const registry::Key* key = hive->Find(JoinPath(parent->path, subKey));
    if (key == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = new RegistryKey{parent->hive, key->path, access, false};
    return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY parent, const char* subKey, DWORD /*reserved*/, char* /*keyClass*/,
                    DWORD /*options*/, REGSAM access, void* /*security*/, HKEY* result, DWORD* disposition) {
    if (!ValidKey(parent) || result == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    *result = nullptr;
    const std::string path = JoinPath(parent->path, subKey);
    if (!StorableName(path)) {
        return ERROR_INVALID_PARAMETER;
    }
    // Most calls find the key present: answer those from a plain read, without taking the write lock.
    std::optional<registry::Hive> hive;
    registry::Key* opened = nullptr;
    if (const LONG status = LoadOpenKey(parent, hive, opened); status != ERROR_SUCCESS) {
        return status;
    }
    std::string createdPath;
    bool created = false;
    if (const registry::Key* key = hive->Find(path)) {
        createdPath = key->path;
    } else {
        const LONG status = HiveFileOf(parent->hive).Update([&](registry::Hive& current, bool& changed) {
            if (current.Find(parent->path) == nullptr) {
                return ERROR_KEY_DELETED;
            }
            if (const registry::Key* existing = current.Find(path)) {
                createdPath = existing->path;
                return ERROR_SUCCESS;
            }
            createdPath = current.Create(path).path;
            created = changed = true;
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    *result = new RegistryKey{parent->hive, createdPath, access, false};
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                     DWORD* dataSize) {
    if (!ValidKey(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((key->access & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    std::optional<registry::Hive> hive;
    registry::Key* found = nullptr;
    if (const LONG status = LoadOpenKey(key, hive, found); status != ERROR_SUCCESS) {
        return status;
    }
    const registry::Value* value = registry::Hive::FindValue(*found, ValueName(valueName));
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    return CopyData(*value, type, data, dataSize);
}

LONG RegSetValueEx(HKEY key, const char* valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                   DWORD dataSize) {
    if (!ValidKey(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((key->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (data == nullptr && dataSize != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string name = ValueName(valueName);
    if (!StorableName(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data), data != nullptr ? dataSize : 0);
    // Strings are kept in Unicode, as Windows does; the ANSI data is converted character by character.
    std::string stored = IsStringType(type) ? registry::Utf16Bytes(AnsiToUtf16(bytes)) : std::string(bytes);
    return HiveFileOf(key->hive).Update([&](registry::Hive& hive, bool& changed) {
        registry::Key* found = hive.Find(key->path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        registry::Hive::SetValue(*found, name, type, std::move(stored));
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY key, const char* valueName) {
    if (!ValidKey(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((key->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    const std::string name = ValueName(valueName);
    return HiveFileOf(key->hive).Update([&](registry::Hive& hive, bool& changed) {
        registry::Key* found = hive.Find(key->path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        changed = registry::Hive::DeleteValue(*found, name);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegDeleteKey(HKEY parent, const char* subKey) {
    if (!ValidKey(parent)) {
        return ERROR_INVALID_HANDLE;
    }
    const std::string path = JoinPath(parent->path, subKey);
    if (path == parent->path) {
        return ERROR_INVALID_PARAMETER;  // a key cannot delete itself through its own handle
    }
    return HiveFileOf(parent->hive).Update([&](registry::Hive& hive, bool& changed) {
        if (hive.Find(path) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (!hive.Children(path).empty()) {
            return ERROR_ACCESS_DENIED;  // as Windows answers for a key that still has subkeys
        }
        hive.EraseTree(path);
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteTree(HKEY parent, const char* subKey) {
    if (!ValidKey(parent)) {
        return ERROR_INVALID_HANDLE;
    }
    const std::string path = JoinPath(parent->path, subKey);
    const bool contentsOnly = subKey == nullptr;
    return HiveFileOf(parent->hive).Update([&](registry::Hive& hive, bool& changed) {
        registry::Key* key = hive.Find(path);
        if (key == nullptr) {
            return contentsOnly ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
        }
        if (contentsOnly && !path.empty()) {
            const std::string keptPath = key->path;
            hive.EraseTree(path);
            hive.Create(keptPath);
        } else {
            hive.EraseTree(path);
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize) {
    if (!ValidKey(key)) {
        return ERROR_INVALID_HANDLE;
    }
    std::optional<registry::Hive> hive;
    registry::Key* found = nullptr;
    if (const LONG status = LoadOpenKey(key, hive, found); status != ERROR_SUCCESS) {
        return status;
    }
    const auto children = hive->Children(key->path);
    if (index >= children.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const std::string& childPath = children[index]->path;
    const std::size_t separator = childPath.rfind('\\');
    return CopyName(separator == std::string::npos ? childPath : childPath.substr(separator + 1), name,
                    nameSize);
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data,
                  DWORD* dataSize) {
    if (!ValidKey(key)) {
        return ERROR_INVALID_HANDLE;
    }
    std::optional<registry::Hive> hive;
    registry::Key* found = nullptr;
    if (const LONG status = LoadOpenKey(key, hive, found); status != ERROR_SUCCESS) {
        return status;
    }
    if (index >= found->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const registry::Value& value = found->values[index];
    if (const LONG status = CopyName(value.name, name, nameSize); status != ERROR_SUCCESS) {
        return status;
    }
    return CopyData(value, type, data, dataSize);
}

LONG RegCloseKey(HKEY key) {
    if (!ValidKey(key)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!key->predefined) {
        delete key;
    }
    return ERROR_SUCCESS;
}

}  // namespace win32
