// One registry hive in memory (keys with their values) and its text form in the .reg format (UTF-8). Used by
// the Linux registry backend only; each call works on its own copy, so no object is shared between threads.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Win32Types.h"

namespace win32::registry {

struct Value {
    std::string name;  // UTF-8; empty for the key's default value
    DWORD type = 0;
    std::string data;  // as Windows stores it: string types as UTF-16LE code units
};

struct Key {
    std::string
        path;  // UTF-8 below the hive root, components joined by '\', in the case they were created with
    std::vector<Value> values;  // in the order they were first set
};

struct ParseError {
    int line = 0;
    std::string reason;
};

// Strings are kept as Windows keeps them: UTF-16LE code units, here as bytes.
std::string Utf16Bytes(std::u16string_view text);
std::u16string Utf16Units(std::string_view bytes);

class Hive {
public:
    // rootName: "HKEY_CURRENT_USER" etc.; baseKeys: keys that always exist in this hive (like "Software").
    Hive(std::string rootName, std::vector<std::string> baseKeys);

    // Replaces the contents by the parsed text; on error the hive is left empty apart from its base keys.
    std::optional<ParseError> Parse(std::string_view text);
    std::string Serialize() const;

    // Paths are compared without regard to ASCII case; empty components are ignored.
    Key* Find(std::string_view path);
    // Creates the key and every missing ancestor; returns it.
    Key& Create(std::string_view path);
    std::vector<const Key*> Children(std::string_view path) const;
    // Removes a key with everything below it (never the hive root itself, whose contents are emptied
    // instead).
    void EraseTree(std::string_view path);

    static Value* FindValue(Key& key, std::string_view name);
    static void SetValue(Key& key, std::string_view name, DWORD type, std::string data);
    static bool DeleteValue(Key& key, std::string_view name);

    // Path in the form used as map key: ASCII lower case, no empty components.
    static std::string Fold(std::string_view path);
    static std::string Normalize(std::string_view path);

private:
    void Reset();

    std::string rootName;
    std::vector<std::string> baseKeys;
    std::map<std::string, Key> keys;  // by folded path; "" is the hive root
};

}  // namespace win32::registry
