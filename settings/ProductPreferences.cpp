#include "settings/ProductPreferences.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr win32::REGSAM kReadWrite = win32::KEY_READ | win32::KEY_WRITE;

// Creates or opens name below parent; null on failure.
win32::HKEY CreateSubKey(win32::HKEY parent, const std::string& name) {
    win32::HKEY key = nullptr;
    win32::DWORD disposition = 0;
    if (win32::RegCreateKeyEx(parent, name.c_str(), 0, nullptr, win32::REG_OPTION_NON_VOLATILE, kReadWrite,
                              nullptr, &key, &disposition) != win32::ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

}  // namespace

ProductPreferences::~ProductPreferences() = default;

win32::HKEY ProductPreferences::OpenKey() {
    win32::HKEY software = nullptr;
    if (win32::RegOpenKeyEx(win32::HKEY_CURRENT_USER, "Software", 0, kReadWrite, &software) !=
        win32::ERROR_SUCCESS) {
        return nullptr;
    }
    win32::HKEY companyKey = CreateSubKey(software, company);
    win32::HKEY productKey = companyKey != nullptr ? CreateSubKey(companyKey, product) : nullptr;
    CloseKey(software);
    CloseKey(companyKey);
    if (productKey == nullptr) {
        return nullptr;
    }
    win32::HKEY sectionKey = CreateSubKey(productKey, section);
    CloseKey(productKey);
    return sectionKey;
}

void ProductPreferences::CloseKey(win32::HKEY key) {
    win32::RegCloseKey(key);  // a null key only earns an ignored error
}

void ProductPreferences::SetNames(const char* newCompany, const char* newProduct, const char* newSection) {
    company = newCompany != nullptr ? newCompany : "";
    product = newProduct != nullptr ? newProduct : "";
    section = newSection != nullptr ? newSection : "";
    CloseKey(OpenKey());
}

bool ProductPreferences::ReadString(const char* name, std::string& out) {
    win32::HKEY key = OpenKey();
    if (key == nullptr) {
        return false;
    }
    win32::DWORD type = 0;
    win32::DWORD size = 0;
    if (win32::RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != win32::ERROR_SUCCESS ||
        type != win32::REG_SZ) {
        CloseKey(key);
        return false;
    }
    std::vector<win32::BYTE> buffer(size, 0);
    const bool read =
        win32::RegQueryValueEx(key, name, nullptr, &type, buffer.data(), &size) == win32::ERROR_SUCCESS;
    CloseKey(key);
    if (!read || type != win32::REG_SZ) {
        return false;
    }
    // The text ends at its first NUL, even when the stored data goes on after it.
    const auto* text = reinterpret_cast<const char*>(buffer.data());
    out.assign(text, strnlen(text, buffer.size()));
    return true;
}

bool ProductPreferences::ReadDword(const char* name, std::uint32_t& out) {
    win32::HKEY key = OpenKey();
    if (key == nullptr) {
        return false;
    }
    std::array<win32::BYTE, 4> data{};
    win32::DWORD type = 0;
    win32::DWORD size = data.size();
    const bool read =
        win32::RegQueryValueEx(key, name, nullptr, &type, data.data(), &size) == win32::ERROR_SUCCESS;
    CloseKey(key);
    if (!read || type != win32::REG_DWORD || size != data.size()) {
        return false;
    }
    out = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
          static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    return true;
}

bool ProductPreferences::ReadBool(const char* name, bool& out) {
    std::uint32_t value = 0;
    if (!ReadDword(name, value)) {
        return false;
    }
    out = value != 0;
    return true;
}

void ProductPreferences::WriteDword(const char* name, std::uint32_t value) {
    win32::HKEY key = OpenKey();
    if (key == nullptr) {
        return;
    }
    const std::array<win32::BYTE, 4> data = {
        static_cast<win32::BYTE>(value), static_cast<win32::BYTE>(value >> 8),
        static_cast<win32::BYTE>(value >> 16), static_cast<win32::BYTE>(value >> 24)};
    win32::RegSetValueEx(key, name, 0, win32::REG_DWORD, data.data(), data.size());
    CloseKey(key);
}
