// The message queue of one thread: posted messages, messages sent by other threads, the quit request, timers,
// the sockets whose events it reports (AsyncSelectSet) and, on the thread that installed it, the session-end
// signal. Created on the thread's first use; the owner thread retrieves and serves, any thread posts and sends.
//
// Design: one mutex (lock) guards the posted and sent lists, the quit request and the timers. Other threads wake
// the owner through an eventfd; wake-ups coalesce (wakePending) so a burst of posts costs one write. The owner's
// waits poll that eventfd together with the waited handles, the socket set and the signal descriptor. A thread
// blocked in SendMessage waits on its own queue's eventfd, serving messages sent to it meanwhile.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/AsyncSelectSetLinux.h"
#include "platform/ThreadSafety.h"
#include "platform/Window.h"

namespace win32::detail {

class MessageQueue : public std::enable_shared_from_this<MessageQueue> {
public:
    // The calling thread's queue, created on first use.
    static MessageQueue& Current();
    // The calling thread's queue, null if it has none yet.
    static MessageQueue* CurrentIfAny();
    // The queue of a live thread, null if that thread has none or has ended.
    static std::shared_ptr<MessageQueue> ForThread(DWORD threadId);

    MessageQueue(DWORD threadId, int wakeFd);
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    DWORD ThreadId() const { return threadId; }
    bool IsCurrentThread() const { return CurrentIfAny() == this; }

    // Any thread. False when the owner thread has ended.
    bool Post(const MSG& message);
    // Any thread: runs the message on the owner thread and returns its result (0 when the owner has ended).
    LRESULT SendFromOtherThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Any thread: makes the owner's current or next wait look at its state again.
    void Wake();

    // Owner thread.
    void PostQuit(int exitCode);
    bool Peek(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
    BOOL Get(MSG* message, HWND window, UINT filterMin, UINT filterMax);
    // Runs the messages other threads have sent; true when there was one.
    bool ServeSentMessages();
    // Whether input of the QS_* kinds in wakeMask is waiting (posted messages, the quit request, a due timer).
    // Level-triggered: a message that a filtered retrieval leaves in the queue keeps counting as input.
    bool HasInput(DWORD wakeMask);
    // Time until the next timer is due, -1 when there is none.
    int MillisecondsToNextTimer();

    // Owner thread, for the waits: the descriptors to poll, then what poll found in them. HandlePollResults may
    // run window handlers (session end), so callers must not keep pointers into their own state across it.
    void AppendPollFds(std::vector<pollfd>& fds);
    void HandlePollResults(const pollfd* fds);
    // Whether a zero-timeout poll could find input that is not in memory yet (sockets, the session-end signal).
    bool HasExternalSources();
    // Polls those sources without blocking and handles what they report.
    void PollExternalSources();

    // Any thread; timers belong to the owner of the window (a thread timer when window is null).
    UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, void* timerProc);
    bool KillTimer(HWND window, UINT_PTR id);
    void KillTimers(HWND window);

    AsyncSelectSet& Sockets() { return sockets; }

    // Owner thread: this thread's waits will handle the session-end signals.
    void WatchSessionEnd(int signalFd);

    // Called when the owner thread ends: fails the pending sends and refuses new ones.
    void MarkEnded();

private:
    struct SentMessage {
        HWND window = nullptr;
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        LRESULT result = 0;
        std::atomic<bool> done{false};
        std::shared_ptr<MessageQueue> sender;
    };
    struct Timer {
        HWND window;
        UINT_PTR id;
        std::int64_t interval;
        std::int64_t due;
        void* proc;
    };

    static void Complete(SentMessage& sent, LRESULT result);
    void DrainWake();
    bool TakePosted(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove);
    bool TakeTimer(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove);
    void HandleSessionEnd();

    const DWORD threadId;
    const int wakeFd;
    std::atomic<bool> wakePending{false};

    win32::Mutex lock;
    std::deque<MSG> posted GUARDED_BY(lock);
    std::deque<SentMessage*> sent GUARDED_BY(lock);
    std::vector<Timer> timers GUARDED_BY(lock);
    bool quitPosted GUARDED_BY(lock) = false;
    int quitCode GUARDED_BY(lock) = 0;
    bool ended GUARDED_BY(lock) = false;
    std::atomic<bool> hasSent{false};   // mirrors !sent.empty() for a lock-free check
    UINT_PTR nextThreadTimerId GUARDED_BY(lock) = 1;

    AsyncSelectSet sockets;
    int sessionEndFd = -1;  // owner thread only
};

}  // namespace win32::detail
