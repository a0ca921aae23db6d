#include "core/CoInitializeForThread.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/Com.h"
#include "platform/Sync.h"

namespace {

TEST(CoInitializeForThread, JoinsAndLeavesWithOrWithoutCoInitializeEx)
{
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "without CoInitializeEx" : "with CoInitializeEx");
        win32::SetEntryPointHidden("CoInitializeEx", hidden);
        std::thread worker([] {
            EXPECT_FALSE(win32::IsCoInitialized());
            EXPECT_TRUE(win32::SUCCEEDED(CoInitializeForThread()));
            EXPECT_TRUE(win32::IsCoInitialized());
            CoUninitializeForThread();
            EXPECT_FALSE(win32::IsCoInitialized());
        });
        worker.join();
    }
    win32::SetEntryPointHidden("CoInitializeEx", false);
}

}  // namespace
