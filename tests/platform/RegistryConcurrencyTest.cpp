#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"
#include "settings/TempRegistryFolder.h"

namespace {

using namespace win32;

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
constexpr const char* kKeyPath = "Software\\Norvale\\Race";

// Writes count values named <prefix><i> = i into the race key; true when every write succeeded.
bool WriteValues(const std::string& prefix, int count) {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr,
                       &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool allWritten = true;
    for (DWORD i = 0; i < static_cast<DWORD>(count); ++i) {
        const std::string name = prefix + std::to_string(i);
        allWritten &= RegSetValueEx(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i),
                                    sizeof i) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return allWritten;
}

// Counts the values <prefix><i> that hold i.
int CountValues(const std::string& prefix, int count) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kKeyPath, 0, kReadWrite, &key) != ERROR_SUCCESS) {
        return 0;
    }
    int found = 0;
    for (DWORD i = 0; i < static_cast<DWORD>(count); ++i) {
        DWORD value = 0;
        DWORD type = 0;
        DWORD size = sizeof value;
        const std::string name = prefix + std::to_string(i);
        if (RegQueryValueEx(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && value == i) {
            ++found;
        }
    }
    RegCloseKey(key);
    return found;
}

TEST(RegistryConcurrency, TwoProcessesWritingAtOnceLoseNothing) {
    TempRegistryFolder registry;
    constexpr int kValuesPerProcess = 40;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (const char* prefix : {"first", "second"}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(60);  // never outlive a hung test
            close(gate[1]);
            char start;
            const bool released =
                read(gate[0], &start, 1) == 0;  // both start when the parent closes the gate
            _exit(released && WriteValues(prefix, kValuesPerProcess) ? 0 : 1);
        }
        children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(CountValues("first", kValuesPerProcess), kValuesPerProcess);
    EXPECT_EQ(CountValues("second", kValuesPerProcess), kValuesPerProcess);
}

TEST(RegistryConcurrency, ThreadsWritingAndReadingAtOnceSeeAWholeHive) {
    TempRegistryFolder registry;
    constexpr int kWriters = 3;
    constexpr int kValuesPerWriter = 20;
    ASSERT_TRUE(WriteValues("seed", 1));
    std::atomic<bool> writing{true};
    std::atomic<int> failedReads{0};
    std::thread reader([&] {
        // A reader racing the renames must always find the key and its first value.
        while (writing.load()) {
            if (CountValues("seed", 1) != 1) {
                failedReads.fetch_add(1);
            }
        }
    });
    std::vector<std::thread> writers;
    std::atomic<int> failedWriters{0};
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([w, &failedWriters] {
            if (!WriteValues("writer" + std::to_string(w) + "_", kValuesPerWriter)) {
                failedWriters.fetch_add(1);
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    writing.store(false);
    reader.join();
    EXPECT_EQ(failedWriters.load(), 0);
    EXPECT_EQ(failedReads.load(), 0);
    for (int w = 0; w < kWriters; ++w) {
        SCOPED_TRACE(w);
        EXPECT_EQ(CountValues("writer" + std::to_string(w) + "_", kValuesPerWriter), kValuesPerWriter);
    }
}

}  // namespace
