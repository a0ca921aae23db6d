#include "core/ZThinThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "ProbeWindow.h"
#include "core/AsyncSocketNotifier.h"
#include "core/NotifierMaker.h"
#include "platform/Sync.h"
#include "support/MainLoopFixture.h"

namespace {

// A worker whose hooks are scripted by the test. DoWork calls up to gatedCalls report that they have started
// and then block until the test opens the gate once for each of them.
class ScriptedThread : public ZThinThread {
public:
    ~ScriptedThread() override = default;

    void Begin() { Start(0, nullptr, win32::INFINITE); }
    bool WaitEntered() { return win32::WaitForSingleObject(entered.Handle(), kTestDeadline) == win32::WAIT_OBJECT_0; }
    bool WaitEnded() { return win32::WaitForSingleObject(ended.Handle(), kTestDeadline) == win32::WAIT_OBJECT_0; }
    void OpenGate() { gate.Set(); }

    std::atomic<int> doWorkCalls{0};
    std::atomic<int> completedDoWork{0};
    std::atomic<bool> beginRan{false};
    std::atomic<bool> endRan{false};
    int gatedCalls = 0;
    std::function<void(ScriptedThread&)> onBegin;
    std::function<void(ScriptedThread&)> onEnd;

    static constexpr win32::DWORD kTestDeadline = 60000;

protected:
    void OnThreadBegin() override
    {
        beginRan = true;
        if (onBegin) {
            onBegin(*this);
        }
    }

    void DoWork() override
    {
        const int call = ++doWorkCalls;
        if (call <= gatedCalls) {
            entered.Set();
            win32::WaitForSingleObject(gate.Handle(), kTestDeadline);
        }
        ++completedDoWork;
    }

    void OnThreadEnd() override
    {
        if (onEnd) {
            onEnd(*this);
        }
        endRan = true;
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
    std::unique_ptr<ProbeWindow> probe;
    std::atomic<int> callsSeenByProbe{-1};
    // The probe window lives on the worker, so a probe is served only once the worker sits in its wait.
    worker.onBegin = [&](ScriptedThread& self) {
        probe = std::make_unique<ProbeWindow>([&](win32::WPARAM) {
            callsSeenByProbe = self.doWorkCalls.load();
            return win32::LRESULT{1};
        });
    };
    worker.onEnd = [&](ScriptedThread&) { probe.reset(); };
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
    EXPECT_EQ(probe->Send(), 1);
    EXPECT_EQ(callsSeenByProbe.load(), 2);

    worker.StopAndWait();
    EXPECT_EQ(worker.doWorkCalls.load(), 2);
    EXPECT_FALSE(worker.IsRunning());
}

TEST(ZThinThread, StopDuringDoWorkLetsItFinishAndRunsNoMore)
{
    ScriptedThread worker;
    worker.gatedCalls = 1;
    worker.Begin();
    worker.Wake();
    ASSERT_TRUE(worker.WaitEntered());
    worker.RequestStop();
    worker.Wake();  // a pending wake-up must not buy another call after the stop
    worker.OpenGate();
    ASSERT_TRUE(worker.WaitEnded());
    worker.StopAndWait();

    EXPECT_EQ(worker.doWorkCalls.load(), 1);
    EXPECT_EQ(worker.completedDoWork.load(), 1);
    EXPECT_TRUE(worker.endRan.load());
    EXPECT_FALSE(worker.IsRunning());
}

TEST(ZThinThread, StopRequestedByTheBeginHookSkipsDoWork)
{
    ScriptedThread worker;
    worker.onBegin = [](ScriptedThread& self) {
        self.RequestStop();
        self.Wake();
    };
    worker.Begin();
    ASSERT_TRUE(worker.WaitEnded());
    worker.StopAndWait();

    EXPECT_TRUE(worker.beginRan.load());
    EXPECT_EQ(worker.doWorkCalls.load(), 0);
    EXPECT_TRUE(worker.endRan.load());
}

TEST(ZThinThread, StopAndWaitReturnsAtOnceWhenThereIsNoThread)
{
    ScriptedThread idle;  // never started
    idle.StopAndWait();
    ScriptedThread finished;
    finished.Begin();
    finished.StopAndWait();
    ASSERT_TRUE(finished.endRan.load());
    finished.StopAndWait();
    finished.StopAndWait();
}

// Runs body on a thread of its own and fails the test (instead of hanging it) when it does not return in time.
void ExpectReturnsInTime(const std::function<void()>& body, const char* what)
{
    std::packaged_task<void()> task(body);
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << what << " did not return: deadlock";
        runner.detach();
        std::_Exit(1);
    }
    runner.join();
}

TEST(ZThinThread, StopAndWaitServesMessagesSentToTheWaitingThread)
{
    ExpectReturnsInTime(
        [] {
            std::atomic<bool> served{false};
            ProbeWindow ownerWindow([&](win32::WPARAM) {
                served = true;
                return win32::LRESULT{7};
            });
            std::atomic<win32::LRESULT> answer{0};
            ScriptedThread worker;
            // The worker's end hook needs the thread that is waiting for it.
            worker.onEnd = [&](ScriptedThread&) {
                answer = ownerWindow.Send();
            };
            worker.Begin();
            worker.StopAndWait();
            EXPECT_TRUE(served.load());
            EXPECT_EQ(answer.load(), 7);
        },
        "StopAndWait on a window-owning thread");
}

class ZThinThreadOnMainLoop : public MainLoopFixture {};

TEST_F(ZThinThreadOnMainLoop, MainThreadStopsAWorkerThatGivesBackItsNotifier)
{
    ExpectReturnsInTime(
        [this] {
            std::atomic<AsyncSocketNotifier*> notifier{nullptr};
            ScriptedThread worker;
            worker.onBegin = [&](ScriptedThread&) { notifier = CreateNotifier(); };
            worker.onEnd = [&](ScriptedThread&) { DestroyNotifier(notifier.exchange(nullptr)); };
            worker.Begin();
            worker.Wake();
            // As the periodic collection does: the main thread waits for a worker that still needs it.
            mainLoop->Invoke([&] { worker.StopAndWait(); });
            EXPECT_TRUE(worker.endRan.load());
            EXPECT_EQ(notifier.load(), nullptr);
        },
        "StopAndWait on the main thread");
}

}  // namespace
