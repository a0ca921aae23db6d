#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

namespace {

constexpr const char* kKeyPath = "Software\\Norvale\\Race";
constexpr int kValuesPerWriter = 30;

// Writes the values <prefix><i> = i into the race key; true when every write succeeded.
bool WriteValues(const std::string& prefix, int count = kValuesPerWriter) {
    bool allWritten = true;
    for (int i = 0; i < count; ++i) {
        allWritten &=
            raw::SetDword(kKeyPath, (prefix + std::to_string(i)).c_str(), static_cast<std::uint32_t>(i));
    }
    return allWritten;
}

// Counts the values <prefix><i> that hold i.
int CountValues(const std::string& prefix, int count = kValuesPerWriter) {
    int found = 0;
    for (int i = 0; i < count; ++i) {
        const auto value = raw::Get(kKeyPath, (prefix + std::to_string(i)).c_str());
        found += value && value->type == win32::REG_DWORD &&
                 value->data == raw::Dword(static_cast<std::uint32_t>(i));
    }
    return found;
}

// Two processes and two threads write at once while a reader races their renames of the hive file.
TEST(RegistryConcurrency, WritersInProcessesAndThreadsLoseNothingAndAReaderAlwaysSeesAWholeHive) {
    TempRegistryFolder registry;
    ASSERT_TRUE(WriteValues("seed", 1));
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (const char* prefix : {"process0_", "process1_"}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(60);  // never outlive a hung test
            close(gate[1]);
            char start;  // every writer starts when the parent closes the gate
            _exit(read(gate[0], &start, 1) == 0 && WriteValues(prefix) ? 0 : 1);
        }
        children.push_back(child);
    }
    close(gate[0]);
    std::atomic<bool> writing{true};
    std::atomic<int> failures{0};
    std::thread reader([&] {
        while (writing) {
            failures += CountValues("seed", 1) != 1;
        }
    });
    std::vector<std::thread> writers;
    for (const char* prefix : {"thread0_", "thread1_"}) {
        writers.emplace_back([&failures, prefix] { failures += !WriteValues(prefix); });
    }
    close(gate[1]);
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (const pid_t child : children) {
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        failures += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    }
    writing = false;
    reader.join();
    EXPECT_EQ(failures.load(), 0);
    for (const char* prefix : {"process0_", "process1_", "thread0_", "thread1_"}) {
        EXPECT_EQ(CountValues(prefix), kValuesPerWriter) << prefix;
    }
}

}  // namespace
