#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/Com.h"
#include "platform/Sync.h"
#include "support/ScopedEvent.h"

namespace {

using win32::HANDLE;

// Each script runs on a fresh event: S set, R reset, P pulse; w a wait of 0 that takes or sees the event, t one that
// times out.
TEST(Event, FollowsItsKindThroughSetResetAndPulse)
{
    const struct {
        const char* name;
        bool manualReset;
        bool initialState;
        const char* script;
    } cases[] = {
        {"auto, set", false, true, "wt"},
        {"auto, clear", false, false, "tt"},
        {"manual, set", true, true, "ww"},
        {"manual, clear", true, false, "tt"},
        {"auto: sets collapse and one wait takes them", false, false, "SSSSSwt"},
        {"manual: stays set until reset", true, false, "SSwwRt"},
        {"auto: reset clears, a later set counts again", false, true, "RtSwt"},
        {"auto: pulse without waiters leaves it clear", false, true, "Pt"},
        {"manual: pulse without waiters leaves it clear", true, true, "Pt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEvent event(c.manualReset, c.initialState);
        ASSERT_NE(event.handle, nullptr);
        for (const char* step = c.script; *step != '\0'; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step - c.script);
            switch (*step) {
            case 'S': EXPECT_TRUE(win32::SetEvent(event.handle)); break;
            case 'R': EXPECT_TRUE(win32::ResetEvent(event.handle)); break;
            case 'P': EXPECT_TRUE(win32::PulseEvent(event.handle)); break;
            default:
                EXPECT_EQ(win32::WaitForSingleObject(event.handle, 0),
                          *step == 'w' ? win32::WAIT_OBJECT_0 : win32::WAIT_TIMEOUT);
            }
        }
    }
}

TEST(Wait, ReturnsTheLowestSignalledPositionAndTakesOnlyThatOne)
{
    ScopedEvent first(false, false);
    ScopedEvent second(false, true);
    ScopedEvent third(false, true);
    const HANDLE handles[] = {first.handle, second.handle, third.handle};
    EXPECT_EQ(win32::WaitForMultipleObjects(3, handles, win32::FALSE, 0), win32::WAIT_OBJECT_0 + 1);
    EXPECT_EQ(win32::WaitForMultipleObjects(3, handles, win32::FALSE, 0), win32::WAIT_OBJECT_0 + 2);
    EXPECT_EQ(win32::WaitForMultipleObjects(3, handles, win32::FALSE, 0), win32::WAIT_TIMEOUT);
}

TEST(Wait, WaitAllTakesEveryObjectOrNone)
{
    ScopedEvent first(false, true);
    ScopedEvent second(false, false);
    const HANDLE handles[] = {first.handle, second.handle};
    EXPECT_EQ(win32::WaitForMultipleObjects(2, handles, win32::TRUE, 20), win32::WAIT_TIMEOUT);
    // The signalled one was not consumed by the failed wait.
    EXPECT_EQ(win32::WaitForSingleObject(first.handle, 0), win32::WAIT_OBJECT_0);
    win32::SetEvent(first.handle);
    win32::SetEvent(second.handle);
    EXPECT_EQ(win32::WaitForMultipleObjects(2, handles, win32::TRUE, 0), win32::WAIT_OBJECT_0);
    EXPECT_EQ(win32::WaitForSingleObject(first.handle, 0), win32::WAIT_TIMEOUT);
    EXPECT_EQ(win32::WaitForSingleObject(second.handle, 0), win32::WAIT_TIMEOUT);
}

TEST(Wait, BadHandlesFail)
{
    int notAHandle = 0;
    const HANDLE handles[] = {nullptr, &notAHandle};
    for (const HANDLE handle : handles) {
        EXPECT_EQ(win32::WaitForSingleObject(handle, 0), win32::WAIT_FAILED);
    }
    EXPECT_EQ(win32::WaitForMultipleObjects(65, handles, win32::FALSE, 0), win32::WAIT_FAILED);
}

unsigned EndEarly(void* argument)
{
    *static_cast<int*>(argument) = 1;
    win32::EndThread(0);
}

unsigned ReturnNormally(void* argument)
{
    *static_cast<int*>(argument) = 2;
    return 0;
}

// Either way of ending, in a plain and in a message-aware wait.
TEST(Thread, HandleIsSignalledWhenTheThreadEndsEitherWay)
{
    for (const win32::ThreadRoutine routine : {&EndEarly, &ReturnNormally}) {
        int ran = 0;
        unsigned id = 0;
        const HANDLE thread = win32::BeginThread(nullptr, 0, routine, &ran, 0, &id);
        ASSERT_NE(thread, nullptr);
        EXPECT_NE(id, 0u);
        EXPECT_NE(id, win32::GetCurrentThreadId());
        EXPECT_EQ(routine == &EndEarly ? win32::WaitForSingleObject(thread, 5000)
                                       : win32::MsgWaitForMultipleObjectsEx(1, &thread, 5000, 0, 0),
                  win32::WAIT_OBJECT_0);
        EXPECT_NE(ran, 0);
        EXPECT_TRUE(win32::CloseHandle(thread));
    }
}

struct SelfClosing {
    HANDLE go;
    HANDLE closed;
    HANDLE self = nullptr;
};

unsigned CloseOwnHandle(void* argument)
{
    auto* state = static_cast<SelfClosing*>(argument);
    win32::WaitForSingleObject(state->go, win32::INFINITE);
    const bool closedOwn = win32::CloseHandle(state->self) != win32::FALSE;
    if (closedOwn) {
        win32::SetEvent(state->closed);
    }
    return 0;
}

TEST(Thread, ThreadClosesItsOwnHandleAndEndsCleanly)
{
    ScopedEvent go(true, false);
    ScopedEvent closed(true, false);
    SelfClosing state{go.handle, closed.handle};
    state.self = win32::BeginThread(nullptr, 0, CloseOwnHandle, &state, 0, nullptr);
    ASSERT_NE(state.self, nullptr);
    win32::SetEvent(go.handle);
    // The thread's end after the close must not touch the closed handle (the sanitizers watch that).
    EXPECT_EQ(win32::WaitForSingleObject(closed.handle, 5000), win32::WAIT_OBJECT_0);
}

TEST(CriticalSection, IsRecursive)
{
    win32::CriticalSection section;
    std::scoped_lock outer(section);
    EXPECT_TRUE(section.try_lock());
    section.unlock();
}

TEST(NamedMutex, SecondHandleIsGivenAndBothAreWaitable)
{
    const std::string name = "PlatformTestMutex" + std::to_string(::getpid());
    const HANDLE first = win32::CreateMutex(nullptr, win32::FALSE, name.c_str());
    const HANDLE second = win32::CreateMutex(nullptr, win32::FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(win32::WaitForSingleObject(first, 0), win32::WAIT_OBJECT_0);
    EXPECT_TRUE(win32::CloseHandle(first));
    EXPECT_TRUE(win32::CloseHandle(second));
}

TEST(EntryPoints, KnownEntriesResolveAndCanBeHidden)
{
    const win32::HMODULE user32 = win32::GetModuleHandle("USER32.DLL");
    const win32::HMODULE ole32 = win32::GetModuleHandle("ole32.dll");
    ASSERT_NE(user32, nullptr);
    ASSERT_NE(ole32, nullptr);
    EXPECT_EQ(win32::GetModuleHandle("nosuch.dll"), nullptr);
    EXPECT_EQ(win32::GetProcAddress(user32, "MsgWaitForMultipleObjectsEx"),
              reinterpret_cast<win32::FARPROC>(&win32::MsgWaitForMultipleObjectsEx));
    EXPECT_EQ(win32::GetProcAddress(ole32, "CoInitializeEx"), reinterpret_cast<win32::FARPROC>(&win32::CoInitializeEx));
    EXPECT_EQ(win32::GetProcAddress(user32, "CoInitializeEx"), nullptr);
    EXPECT_EQ(win32::GetProcAddress(user32, "NoSuchEntry"), nullptr);

    win32::SetEntryPointHidden("MsgWaitForMultipleObjectsEx", true);
    EXPECT_EQ(win32::GetProcAddress(user32, "MsgWaitForMultipleObjectsEx"), nullptr);
    win32::SetEntryPointHidden("MsgWaitForMultipleObjectsEx", false);
    EXPECT_NE(win32::GetProcAddress(user32, "MsgWaitForMultipleObjectsEx"), nullptr);
}

TEST(Apartment, JoinsAreCountedPerThread)
{
    ASSERT_FALSE(win32::IsCoInitialized());
    EXPECT_EQ(win32::CoInitializeEx(nullptr, win32::COINIT_MULTITHREADED), win32::S_OK);
    EXPECT_EQ(win32::CoInitialize(nullptr), win32::S_FALSE);
    EXPECT_TRUE(win32::IsCoInitialized());
    win32::CoUninitialize();
    EXPECT_TRUE(win32::IsCoInitialized());
    win32::CoUninitialize();
    EXPECT_FALSE(win32::IsCoInitialized());
    win32::CoUninitialize();  // unbalanced: ignored
    EXPECT_FALSE(win32::IsCoInitialized());
}

}  // namespace
