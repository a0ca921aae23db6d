// The settings of one section of the product's key, HKEY_CURRENT_USER\Software\<company>\<product>\<section>:
// each operation opens the key, reads or writes one value and closes the key before it returns.
#pragma once

#include <cstdint>
#include <string>

#include "settings/RegistryPreferences.h"

class ProductPreferences : public RegistryPreferences {
public:
    ~ProductPreferences() override;

    win32::HKEY OpenKey() override;
    void CloseKey(win32::HKEY key) override;

    // Stores the names and makes sure the whole key path exists. A null name stands for the empty text.
    void SetNames(const char* company, const char* product, const char* section);

    // On a false result the output is left untouched.
    bool ReadString(const char* name, std::string& out);
    bool ReadDword(const char* name, std::uint32_t& out);
    bool ReadBool(const char* name, bool& out);
    void WriteDword(const char* name, std::uint32_t value);

private:
    std::string company;
    std::string product;
    std::string section;
};
