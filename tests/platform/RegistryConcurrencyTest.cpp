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

// Writes count values named <prefix><i> = i into the race key; true when every write succeeded.
bool WriteValues(const std::string& prefix, int count) {
    bool allWritten = true;
    for (int i = 0; i < count; ++i) {
        allWritten &= raw::SetDword(kKeyPath, (prefix + std::to_string(i)).c_str(), static_cast<std::uint32_t>(i));
    }
    return allWritten;
}

// Counts the values <prefix><i> that hold i.
int CountValues(const std::string& prefix, int count) {
    int found = 0;
    for (int i = 0; i < count; ++i) {
        const auto value = raw::Get(kKeyPath, (prefix + std::to_string(i)).c_str());
        found += value && value->type == win32::REG_DWORD && value->data == raw::Dword(static_cast<std::uint32_t>(i));
    }
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
            char start;  // both start when the parent closes the gate
            _exit(read(gate[0], &start, 1) == 0 && WriteValues(prefix, kValuesPerProcess) ? 0 : 1);
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
            failedReads += CountValues("seed", 1) != 1;
        }
    });
    std::vector<std::thread> writers;
    std::atomic<int> failedWriters{0};
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([w, &failedWriters] {
            failedWriters += !WriteValues("writer" + std::to_string(w) + "_", kValuesPerWriter);
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
