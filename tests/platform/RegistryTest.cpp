#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "settings/TempRegistryFolder.h"

namespace {

using namespace win32;

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// Owns an opened key (closing a null key is refused harmlessly).
struct Key {
    ~Key() { RegCloseKey(handle); }
    HKEY* Out() { return &handle; }
    HKEY Get() const { return handle; }

    HKEY handle = nullptr;
};

LONG CreateKey(HKEY parent, const char* path, Key& key, DWORD* disposition = nullptr) {
    return RegCreateKeyEx(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr, key.Out(),
                          disposition);
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The value's data as the ANSI functions return it, with its type; empty type 0 when absent.
struct Read {
    LONG status = 0;
    DWORD type = 0;
    std::string data;

    bool operator==(const Read&) const = default;
    friend void PrintTo(const Read& r, std::ostream* out) {
        *out << r.status << ", type " << r.type << ", " << testing::PrintToString(r.data);
    }
};

Read Query(HKEY key, const char* name) {
    Read result;
    DWORD size = 0;
    result.status = RegQueryValueEx(key, name, nullptr, &result.type, nullptr, &size);
    if (result.status != ERROR_SUCCESS) {
        return result;
    }
    result.data.assign(size, '\0');
    result.status =
        RegQueryValueEx(key, name, nullptr, &result.type, reinterpret_cast<BYTE*>(result.data.data()), &size);
    result.data.resize(size);
    return result;
}

class RegistryTest : public testing::Test {
protected:
    TempRegistryFolder registry;
};

TEST_F(RegistryTest, CreatesKeyPathAndReopensItWithoutRegardToCase) {
    Key software;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, kReadWrite, software.Out()), ERROR_SUCCESS)
        << "a fresh profile has the Software key";
    Key key;
    DWORD disposition = 0;
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Software\\Norvale\\Product\\Section", key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

    Key again;
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "SOFTWARE\\norvale\\product\\section", again, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    Key parent;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software\\NORVALE", 0, kReadWrite, parent.Out()), ERROR_SUCCESS);
    char name[64];
    DWORD nameSize = sizeof name;
    ASSERT_EQ(RegEnumKeyEx(parent.Get(), 0, name, &nameSize), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Product");  // the case it was created with
    EXPECT_EQ(nameSize, 7u);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyEx(parent.Get(), 1, name, &nameSize), ERROR_NO_MORE_ITEMS);

    Key missing;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Nothing", 0, kReadWrite, missing.Out()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing.Get(), nullptr);
}

TEST_F(RegistryTest, ReadsEveryNotationOfAHandWrittenFile) {
    registry.WriteHive(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; written by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences]\r\n"
        "\"MailServerAddress\"=\"pop.example.org\"\r\n"
        "\"MailServerPort\"=dword:0000006E\r\n"
        "@=\"\\\\\\\"\"\r\n"
        "\"Wide\"=hex(1):41,00,\\\r\n"
        "  0a,00,42,00,00,00\r\n"
        "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\r\n");
    Key key;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences", 0,
                           kReadWrite, key.Out()),
              ERROR_SUCCESS);
    const struct {
        const char* name;
        DWORD type;
        std::string data;
    } expected[] = {
        {"MailServerAddress", REG_SZ, std::string("pop.example.org\0", 16)},
        {"MailServerPort", REG_DWORD, std::string("\x6E\0\0\0", 4)},
        {"", REG_SZ, std::string("\\\"\0", 3)},
        {"Wide", REG_SZ, std::string("A\nB\0", 4)},
        {"Quad", 11, std::string("\x01\0\0\0\0\0\0\0", 8)},
    };
    for (const auto& value : expected) {
        SCOPED_TRACE(value.name);
        EXPECT_EQ(Query(key.Get(), value.name), (Read{ERROR_SUCCESS, value.type, value.data}));
    }
    // A rewrite keeps every value.
    ASSERT_EQ(SetDword(key.Get(), "Extra", 1), ERROR_SUCCESS);
    for (const auto& value : expected) {
        SCOPED_TRACE(value.name);
        EXPECT_EQ(Query(key.Get(), value.name).data, value.data);
    }
    EXPECT_NE(registry.ReadHive().find("\"Quad\"=hex(b):01,00,00,00,00,00,00,00\n"), std::string::npos);
}

// Written, stored in the file as regedit writes it, and read back (by a name in other case) as it was; the hive file
// and its folder are private.
TEST_F(RegistryTest, EveryKindOfValueSurvivesTheFile) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) {
        allBytes.push_back(static_cast<char>(i));
    }
    const struct {
        const char* name;
        std::string valueName;  // empty: the default value
        DWORD type;
        std::string data;
        const char* fileText;  // a part of the file, or nothing
    } cases[] = {
        {"dword", "Port", REG_DWORD, std::string("\x6e\0\0\0", 4), "\"Port\"=dword:0000006e\n"},
        {"quotes and backslashes", "Path", REG_SZ, std::string("C:\\dir \"x\"\0", 11),
         "\"Path\"=\"C:\\\\dir \\\"x\\\"\"\n"},
        {"default value", "", REG_SZ, std::string("default\0", 8), "@=\"default\"\n"},
        {"binary", "Bin", REG_BINARY, std::string("\x00\xFF\x10", 3), "\"Bin\"=hex:00,ff,10\n"},
        {"Japanese text with line feeds", "Mailer Rule", REG_SZ, Utf8ToAnsi("Rule\n{\n1\n迷惑 メール\n}\n") + '\0',
         "\"Mailer Rule\"=hex(1):52,00,75,00,6c,00,65,00,0a,00,"},
        {"embedded NUL", "v", REG_SZ, std::string("abc\0def\0", 8), "\"v\"=hex(1):61,00,62,00,63,00,00,00,64,00"},
        {"all bytes", "All", REG_BINARY, allBytes, ",\\\n  "},  // long byte lists are wrapped regedit-style
        {"quotes and backslashes in name", "a \"quoted\" \\name\\", REG_DWORD, std::string("\x01\x02\x03\x04", 4),
         nullptr},
        {"Japanese name", Utf8ToAnsi("設定"), REG_DWORD, std::string("\0\0\0\x80", 4), nullptr},
        {"type without name", "Odd", 0x1234, std::string("xyz", 3), nullptr},
    };
    {
        Key key;
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Software\\Norvale\\Kinds", key, nullptr), ERROR_SUCCESS);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            ASSERT_EQ(RegSetValueEx(key.Get(), c.valueName.empty() ? nullptr : c.valueName.c_str(), 0, c.type,
                                    reinterpret_cast<const BYTE*>(c.data.data()), static_cast<DWORD>(c.data.size())),
                      ERROR_SUCCESS);
        }
    }
    struct stat info {};
    ASSERT_EQ(stat(registry.HivePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the hive file is private";
    ASSERT_EQ(stat(registry.folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "the registry folder is private";
    const std::string text = registry.ReadHive();
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Norvale\\Kinds]\n"), std::string::npos) << text;
    Key key;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software\\norvale\\KINDS", 0, kReadWrite, key.Out()), ERROR_SUCCESS);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fileText != nullptr) {
            EXPECT_NE(text.find(c.fileText), std::string::npos) << text;
        }
        std::string otherCase = c.valueName;
        std::ranges::transform(otherCase, otherCase.begin(), [](unsigned char letter) { return std::toupper(letter); });
        EXPECT_EQ(Query(key.Get(), otherCase.c_str()), (Read{ERROR_SUCCESS, c.type, c.data}));
    }
}

TEST_F(RegistryTest, SeesChangesMadeOutsideAtTheNextCall) {
    const auto hiveWith = [](char digit) {
        return std::string("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=dword:") +
               digit + "\n";
    };
    Key key;
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Software\\T", key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.Get(), "n", 1), ERROR_SUCCESS);
    registry.WriteHive(hiveWith('2'));
    EXPECT_EQ(Query(key.Get(), "n").data, std::string("\x02\0\0\0", 4));
    // A hive unchanged for a while is kept parsed between calls; a change in place, of the same size, must
    // still be seen at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    EXPECT_EQ(Query(key.Get(), "n").data, std::string("\x02\0\0\0", 4));
    EXPECT_EQ(Query(key.Get(), "n").data, std::string("\x02\0\0\0", 4));
    registry.WriteHive(hiveWith('3'));
    EXPECT_EQ(Query(key.Get(), "n").data, std::string("\x03\0\0\0", 4));
}

TEST_F(RegistryTest, BrokenHiveIsNeitherUsedNorOverwrittenAndReportedOnce) {
    const struct {
        const char* name;
        std::string text;
        int line;
    } cases[] = {
        {"unclosed quote", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\"a\"=\"x\n", 4},
        {"bad dword", "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software]\n\"a\"=dword:xyz\n", 3},
        {"no header", "[HKEY_CURRENT_USER\\Software]\n", 1},
        {"value before key", "Windows Registry Editor Version 5.00\n\"a\"=dword:1\n", 2},
        {"cut continuation", "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\S]\n\"a\"=hex:01,\\\n", 3},
        {"not UTF-8", "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\S\xFF]\n", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        registry.WriteHive(c.text);
        testing::internal::CaptureStderr();
        Key key;
        EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, kReadWrite, key.Out()), ERROR_BADDB);
        Key created;
        EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "Software\\New", created, nullptr), ERROR_BADDB);
        EXPECT_EQ(created.Get(), nullptr);
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(registry.ReadHive(), c.text);
        const std::string expected = registry.HivePath() + ": line " + std::to_string(c.line) + ":";
        ASSERT_NE(messages.find(expected), std::string::npos) << messages;
        EXPECT_EQ(messages.find(expected), messages.rfind(expected)) << "reported more than once:\n" << messages;
    }
    // Once repaired by hand, the file is used again.
    registry.WriteHive("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fixed]\n");
    Key fixed;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Fixed", 0, kReadWrite, fixed.Out()), ERROR_SUCCESS);
}

TEST(RegistryFolder, FollowsTheEnvironment) {
    const char* names[] = {"VUVED_REGISTRY_DIR", "XDG_CONFIG_HOME", "HOME"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) {
        saved.push_back(std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
    }
    setenv("HOME", "/home/u", 1);
    unsetenv("VUVED_REGISTRY_DIR");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryFolder(), "/home/u/.config/VUVed3UzeroVadave/registry");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // ignored: not absolute
    EXPECT_EQ(RegistryFolder(), "/home/u/.config/VUVed3UzeroVadave/registry");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(RegistryFolder(), "/cfg/VUVed3UzeroVadave/registry");
    setenv("VUVED_REGISTRY_DIR", "/reg", 1);
    EXPECT_EQ(RegistryFolder(), "/reg");
    for (std::size_t i = 0; i < saved.size(); ++i) {
        saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
    }
}

}  // namespace
