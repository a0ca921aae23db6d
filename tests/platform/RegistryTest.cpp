// The registry on its hive files: keys found without regard to case, every value notation of the file,
// changes made outside, broken files, and where the folder is.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <optional>
#include <string>
#include <utility>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

// The registry keeps a parsed hive once its file has been left alone for two seconds (it cannot know of a
// second change within one timestamp tick otherwise). Tests move this process's wall clock ahead instead of
// waiting.
std::atomic<time_t> clockAheadSeconds{0};
extern "C" int clock_gettime(clockid_t clock, timespec* time) {
    const int result = static_cast<int>(::syscall(SYS_clock_gettime, clock, time));
    if (result == 0 && clock == CLOCK_REALTIME) {
        time->tv_sec += clockAheadSeconds;
    }
    return result;
}

namespace {

using namespace win32;

// Owns an opened key (closing a null key is refused harmlessly).
struct Key {
    ~Key() { RegCloseKey(handle); }
    HKEY handle = nullptr;
};

LONG Open(const char* path, Key& key) {
    return RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, &key.handle);
}

LONG Create(const char* path, Key& key) {
    return RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                          nullptr, &key.handle, nullptr);
}

// A value's type and data as the ANSI functions return them; nothing when it cannot be read.
using Typed = std::optional<std::pair<DWORD, std::string>>;
Typed Query(const char* path, const std::string& name) {
    const std::optional<raw::Value> value = raw::Get(path, name.c_str());
    return value ? Typed({value->type, value->data}) : std::nullopt;
}

class RegistryTest : public testing::Test {
protected:
    TempRegistryFolder registry;
};

TEST_F(RegistryTest, ReadsEveryNotationOfAHandWrittenFile) {
    const char* path = "Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences";
    registry.WriteHive(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; written by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences]\r\n"
        "\"MailServerAddress\"=\"pop.example.org\"\r\n"
        "\"MailServerPort\"=dword:0000006E\r\n"
        "@=\"\\\\\\\"\"\r\n"
        "\"Wide\"=hex(1):41,00,\\\r\n  0a,00,42,00,00,00\r\n"
        "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\r\n");
    EXPECT_EQ(Query(path, "MailServerAddress"), Typed({REG_SZ, std::string("pop.example.org\0", 16)}));
    EXPECT_EQ(Query(path, "MailServerPort"), Typed({REG_DWORD, std::string("\x6E\0\0\0", 4)}));
    EXPECT_EQ(Query(path, ""), Typed({REG_SZ, std::string("\\\"\0", 3)}));
    EXPECT_EQ(Query(path, "Wide"), Typed({REG_SZ, std::string("A\nB\0", 4)}));
    EXPECT_EQ(Query(path, "Quad"), Typed({11, std::string("\x01\0\0\0\0\0\0\0", 8)}));
}

// Written, stored in the file as regedit writes it, and read back (by a name in other case) as it was; the
// hive file and its folder are private.
TEST_F(RegistryTest, EveryKindOfValueSurvivesTheFile) {
    std::string allBytes(256, '\0');
    std::ranges::generate(allBytes, [byte = 0]() mutable { return static_cast<char>(byte++); });
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
        {"Japanese text with line feeds", "Mailer Rule", REG_SZ,
         Utf8ToAnsi("Rule\n{\n1\n迷惑 メール\n}\n") + '\0',
         "\"Mailer Rule\"=hex(1):52,00,75,00,6c,00,65,00,0a,00,"},
        {"embedded NUL", "v", REG_SZ, std::string("abc\0def\0", 8),
         "\"v\"=hex(1):61,00,62,00,63,00,00,00,64,00"},
        {"all bytes", "All", REG_BINARY, allBytes, ",\\\n  "},  // long byte lists are wrapped regedit-style
        {"quotes and backslashes in name", "a \"quoted\" \\name\\", REG_DWORD,
         std::string("\x01\x02\x03\x04", 4), nullptr},
        {"Japanese name", Utf8ToAnsi("設定"), REG_DWORD, std::string("\0\0\0\x80", 4), nullptr},
        {"type without name", "Odd", 0x1234, std::string("xyz", 3), "\"Odd\"=hex(1234):78,79,7a\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(raw::Set("Software\\Norvale\\Kinds", c.valueName.empty() ? nullptr : c.valueName.c_str(),
                             c.type, c.data));
    }
    struct stat info {};
    ASSERT_EQ(stat(registry.HivePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the hive file is private";
    ASSERT_EQ(stat(registry.folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "the registry folder is private";
    const std::string text = registry.ReadHive();
    EXPECT_TRUE(text.starts_with("Windows Registry Editor Version 5.00\n")) << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Norvale\\Kinds]\n"), std::string::npos) << text;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fileText != nullptr) {
            EXPECT_NE(text.find(c.fileText), std::string::npos) << text;
        }
        std::string otherCase = c.valueName;
        std::ranges::transform(otherCase, otherCase.begin(),
                               [](unsigned char letter) { return std::toupper(letter); });
        EXPECT_EQ(Query("software\\norvale\\KINDS", otherCase), Typed({c.type, c.data}));
    }
}

TEST_F(RegistryTest, SeesChangesMadeOutsideAtTheNextCall) {
    const auto hiveWith = [](char digit) {
        return std::string(
                   "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=dword:") +
               digit + "\n";
    };
    ASSERT_TRUE(raw::SetDword("Software\\T", "n", 1));
    registry.WriteHive(hiveWith('2'));
    EXPECT_EQ(Query("Software\\T", "n"), Typed({REG_DWORD, raw::Dword(2)}));
    // Once the file has settled it is kept parsed between calls; a change in place, of the same size, must
    // still be seen at once.
    clockAheadSeconds = 3;
    EXPECT_EQ(Query("Software\\T", "n"), Typed({REG_DWORD, raw::Dword(2)}));
    EXPECT_EQ(Query("Software\\T", "n"), Typed({REG_DWORD, raw::Dword(2)}));
    registry.WriteHive(hiveWith('3'));
    EXPECT_EQ(Query("Software\\T", "n"), Typed({REG_DWORD, raw::Dword(3)}));
    clockAheadSeconds = 0;
}

TEST_F(RegistryTest, BrokenHiveIsNeitherUsedNorOverwrittenAndReportedOnce) {
    const struct {
        const char* name;
        std::string text;
        int line;
    } cases[] = {
        {"unclosed quote",
         "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\"a\"=\"x\n", 4},
        {"bad dword",
         "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software]\n\"a\"=dword:xyz\n", 3},
        {"no header", "[HKEY_CURRENT_USER\\Software]\n", 1},
        {"value before key", "Windows Registry Editor Version 5.00\n\"a\"=dword:1\n", 2},
        {"cut continuation",
         "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\S]\n\"a\"=hex:01,\\\n", 3},
        {"not UTF-8", "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\S\xFF]\n", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        registry.WriteHive(c.text);
        testing::internal::CaptureStderr();
        Key key;
        EXPECT_EQ(Open("Software", key), ERROR_BADDB);
        Key created;
        EXPECT_EQ(Create("Software\\New", created), ERROR_BADDB);
        EXPECT_EQ(created.handle, nullptr);
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(registry.ReadHive(), c.text);
        const std::string expected = registry.HivePath() + ": line " + std::to_string(c.line) + ":";
        ASSERT_NE(messages.find(expected), std::string::npos) << messages;
        EXPECT_EQ(messages.find(expected), messages.rfind(expected)) << "reported more than once:\n"
                                                                     << messages;
    }
    // Once repaired by hand, the file is used again.
    registry.WriteHive("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fixed]\n");
    Key fixed;
    EXPECT_EQ(Open("Software\\Fixed", fixed), ERROR_SUCCESS);
}

TEST(RegistryFolder, FollowsTheEnvironment) {
    const char* names[] = {"VUVED_REGISTRY_DIR", "XDG_CONFIG_HOME", "HOME"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i) {
        saved[i] = std::getenv(names[i]) ? std::optional<std::string>(std::getenv(names[i])) : std::nullopt;
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
    for (int i = 0; i < 3; ++i) {
        saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
    }
}

}  // namespace
