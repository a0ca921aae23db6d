// A registry script: the keys and values a component writes into the registry when it is registered and removes
// when it is unregistered, in the registrar's text syntax (root keys, nested key blocks, "val" for named values,
// NoRemove / ForceRemove / Delete marks, %NAME% replacements). Parsed once, then applied on the calling thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

class RegistryScript {
public:
    struct Value {
        std::string name;  // empty: the key's default value
        win32::DWORD type = win32::REG_SZ;
        std::string data;  // text for REG_SZ / REG_EXPAND_SZ, the bytes for REG_BINARY
        win32::DWORD number = 0;
    };

    enum class KeyMark { None, NoRemove, ForceRemove, Delete };

    struct Key {
        std::string name;
        KeyMark mark = KeyMark::None;
        std::vector<Value> values;
        std::vector<Key> subkeys;
    };

    struct Root {
        win32::HKEY hive;
        std::vector<Key> keys;
    };

    // Replacements map a name (without the percent signs) to its text; "%%" stands for one percent sign.
    // On a syntax error returns nothing and fills error with the line and what was expected.
    static std::optional<RegistryScript> Parse(std::string_view text,
                                               const std::map<std::string, std::string>& replacements,
                                               std::string& error);

    // Writes every key and value; ForceRemove keys are deleted with their contents first, Delete keys only
    // deleted. Returns S_OK or the failing registry call's error as an HRESULT.
    win32::HRESULT Register() const;
    // Deletes what Register wrote: NoRemove keys stay (their subkeys are processed), ForceRemove and Delete keys
    // go with all their contents, other keys lose their script values and go when no subkey is left in them.
    win32::HRESULT Unregister() const;

    const std::vector<Root>& Roots() const { return roots; }

private:
    std::vector<Root> roots;
};

// HRESULT_FROM_WIN32 for registry results.
win32::HRESULT HResultFromWin32(win32::LONG error);
