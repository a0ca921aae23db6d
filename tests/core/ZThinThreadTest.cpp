#include "core/ZThinThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "core/NotifierMaker.h"
#include "platform/RecordingWindow.h"
#include "support/MainLoopFixture.h"

namespace {

// A worker whose hooks are scripted by the test. DoWork calls up to gatedCalls report that they have started
// and then block until the test opens the gate once for each of them.
class ScriptedThread : public ZThinThread {
public:
    static constexpr win32::DWORD kTestDeadline = 60000;

    void Begin() { Start(0, nullptr, win32::INFINITE); }
    bool WaitEntered() { return win32::WaitForSingleObject(entered.Handle(), kTestDeadline) == win32::WAIT_OBJECT_0; }
    bool WaitEnded() { return win32::WaitForSingleObject(ended.Handle(), kTestDeadline) == win32::WAIT_OBJECT_0; }
    void OpenGate() { gate.Set(); }

    std::atomic<int> doWorkCalls{0};
    std::atomic<int> completedDoWork{0};
    int gatedCalls = 0;
    std::function<void(ScriptedThread&)> onBegin = [](ScriptedThread&) {};
    std::function<void()> onEnd = [] {};

protected:
    void OnThreadBegin() override { onBegin(*this); }

    void DoWork() override
    {
        if (++doWorkCalls <= gatedCalls) {
            entered.Set();
            win32::WaitForSingleObject(gate.Handle(), kTestDeadline);
        }
        ++completedDoWork;
    }

    void OnThreadEnd() override
    {
        onEnd();
        ended.Set();
    }

private:
    ZEvent entered{false, false};
    ZEvent gate{false, false};
    ZEvent ended{false, true};
};

TEST(ZThinThread, WakeUpsDuringDoWorkCollapseIntoOneMoreCall)
{
    ScriptedThread worker;
    worker.gatedCalls = 2;
    std::unique_ptr<RecordingWindow> probe;
    // The probe window lives on the worker, so a probe is served only once the worker sits in its wait.
    worker.onBegin = [&](ScriptedThread& self) {
        probe = std::make_unique<RecordingWindow>();
        probe->reply = [&](const RecordedMessage&) { return self.doWorkCalls.load(); };
    };
    worker.onEnd = [&] { probe.reset(); };
    worker.Begin();
    worker.Wake();
    ASSERT_TRUE(worker.WaitEntered());
    for (int i = 0; i < 5; ++i) {
        worker.Wake();
    }
    worker.OpenGate();
    ASSERT_TRUE(worker.WaitEntered());  // the second call, owed to the five wake-ups
    worker.OpenGate();

    // When the worker serves the probe it is waiting again: no third call may have run before.
    EXPECT_EQ(win32::SendMessage(probe->Handle(), win32::WM_USER, 0, 0), 2);
    worker.StopAndWait();
    EXPECT_EQ(worker.doWorkCalls.load(), 2);
}

// A stop asked for while DoWork runs lets it finish and buys no more calls, even with a wake-up pending; one asked for
// by the begin hook skips DoWork. StopAndWait may be repeated, and returns at once for a thread never started.
TEST(ZThinThread, StopLetsDoWorkFinishAndRunsNoMore)
{
    ScriptedThread().StopAndWait();
    for (const bool inBeginHook : {false, true}) {
        SCOPED_TRACE(inBeginHook ? "stop in the begin hook" : "stop during DoWork");
        ScriptedThread worker;
        worker.gatedCalls = 1;
        if (inBeginHook) {
            worker.onBegin = [](ScriptedThread& self) {
                self.RequestStop();
                self.Wake();
            };
        }
        worker.Begin();
        if (!inBeginHook) {
            worker.Wake();
            ASSERT_TRUE(worker.WaitEntered());
            worker.RequestStop();
            worker.Wake();
            worker.OpenGate();
        }
        ASSERT_TRUE(worker.WaitEnded());
        worker.StopAndWait();
        worker.StopAndWait();
        EXPECT_EQ(worker.doWorkCalls.load(), inBeginHook ? 0 : 1);
        EXPECT_EQ(worker.completedDoWork.load(), worker.doWorkCalls.load());
        EXPECT_FALSE(worker.IsRunning());
    }
}

using ZThinThreadOnMainLoop = MainLoopFixture;

TEST_F(ZThinThreadOnMainLoop, MainThreadStopsAWorkerThatGivesBackItsNotifier)
{
    std::atomic<AsyncSocketNotifier*> workerNotifier{nullptr};
    ScriptedThread worker;
    worker.onBegin = [&](ScriptedThread&) { workerNotifier = CreateNotifier(); };
    worker.onEnd = [&] { DestroyNotifier(workerNotifier.exchange(nullptr)); };
    worker.Begin();
    worker.Wake();
    // As the periodic collection does: the main thread waits for a worker that still needs it.
    mainLoop->Invoke([&] { worker.StopAndWait(); });
    EXPECT_EQ(workerNotifier.load(), nullptr);
}

}  // namespace
