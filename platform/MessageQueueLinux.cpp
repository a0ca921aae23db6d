#include "platform/MessageQueueLinux.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unordered_map>

#include "platform/Sync.h"
#include "platform/WaitLinux.h"
#include "platform/WindowObjectLinux.h"

namespace win32::detail {

namespace {

constexpr DWORD QS_ALLPOSTMESSAGE = 0x0100;
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
// Windows never runs a timer more often than this.
constexpr std::int64_t kMinimumTimerInterval = 10;

// Never destroyed: a detached thread may still be ending (and unregistering its queue) while the process exits.
Mutex& queuesLock = *new Mutex;
std::unordered_map<DWORD, std::weak_ptr<MessageQueue>>& queuesByThread GUARDED_BY(queuesLock) =
    *new std::unordered_map<DWORD, std::weak_ptr<MessageQueue>>;

thread_local MessageQueue* currentQueue = nullptr;

// Ends the thread's queue with the thread.
struct QueueHolder {
    std::shared_ptr<MessageQueue> queue;
    ~QueueHolder()
    {
        if (queue) {
            currentQueue = nullptr;
            queue->MarkEnded();
        }
    }
};
thread_local QueueHolder queueHolder;

std::int64_t NowMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DWORD TickCount()
{
    return static_cast<DWORD>(NowMilliseconds());
}

bool Matches(const MSG& message, HWND window, UINT filterMin, UINT filterMax)
{
    if (window == kThreadMessagesOnly) {
        if (message.hwnd != nullptr) {
            return false;
        }
    } else if (window != nullptr && message.hwnd != window) {
        return false;
    }
    return (filterMin == 0 && filterMax == 0) || (message.message >= filterMin && message.message <= filterMax);
}

}  // namespace

MessageQueue& MessageQueue::Current()
{
    if (currentQueue != nullptr) {
        return *currentQueue;
    }
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    auto queue = std::make_shared<MessageQueue>(GetCurrentThreadId(), fd);
    {
        win32::LockGuard guard(queuesLock);
        queuesByThread[queue->threadId] = queue;
    }
    queueHolder.queue = queue;
    currentQueue = queue.get();
    return *queue;
}

MessageQueue* MessageQueue::CurrentIfAny()
{
    return currentQueue;
}

std::shared_ptr<MessageQueue> MessageQueue::ForThread(DWORD threadId)
{
    win32::LockGuard guard(queuesLock);
    const auto found = queuesByThread.find(threadId);
    return found == queuesByThread.end() ? nullptr : found->second.lock();
}

MessageQueue::MessageQueue(DWORD threadId, int wakeFd) : threadId(threadId), wakeFd(wakeFd), sockets(*this) {}

MessageQueue::~MessageQueue()
{
    if (wakeFd >= 0) {
        ::close(wakeFd);
    }
}

void MessageQueue::MarkEnded()
{
    std::deque<SentMessage*> pending;
    {
        win32::LockGuard guard(lock);
        ended = true;
        pending.swap(sent);
        hasSent.store(false, std::memory_order_relaxed);
        timers.clear();
    }
    for (SentMessage* message : pending) {
        Complete(*message, 0);
    }
    sockets.Clear();
    win32::LockGuard guard(queuesLock);
    const auto found = queuesByThread.find(threadId);
    if (found != queuesByThread.end() && found->second.lock().get() == this) {
        queuesByThread.erase(found);
    }
}

void MessageQueue::Wake()
{
    // Sequentially consistent with DrainWake and with the object waits' claims (KernelObjectLinux.h): a wake-up
    // that finds the flag still set writes nothing, and the drained waiter still sees what came before it.
    if (!wakePending.exchange(true, std::memory_order_seq_cst)) {
        const std::uint64_t one = 1;
        while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void MessageQueue::DrainWake()
{
    std::uint64_t value;
    while (::read(wakeFd, &value, sizeof value) < 0 && errno == EINTR) {
    }
    // Cleared after the read: a wake-up in between finds the flag set and writes nothing, and the caller looks at
    // the queue's state after this anyway.
    wakePending.store(false, std::memory_order_seq_cst);
}

bool MessageQueue::Post(const MSG& message)
{
    {
        win32::LockGuard guard(lock);
        if (ended) {
            return false;
        }
        posted.push_back(message);
        posted.back().time = TickCount();
    }
    if (!IsCurrentThread()) {
        Wake();
    }
    return true;
}

void MessageQueue::PostQuit(int exitCode)
{
    win32::LockGuard guard(lock);
    quitPosted = true;
    quitCode = exitCode;
}

LRESULT MessageQueue::SendFromOtherThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageQueue& self = Current();
    SentMessage request;
    request.window = window;
    request.message = message;
    request.wParam = wParam;
    request.lParam = lParam;
    request.sender = self.shared_from_this();
    {
        win32::LockGuard guard(lock);
        if (ended) {
            return 0;
        }
        sent.push_back(&request);
        hasSent.store(true, std::memory_order_release);
    }
    Wake();
    // Messages sent to this thread meanwhile are served, so two threads sending to each other cannot deadlock.
    while (!request.done.load(std::memory_order_acquire)) {
        self.ServeSentMessages();
        if (request.done.load(std::memory_order_acquire)) {
            break;
        }
        pollfd entry{self.wakeFd, POLLIN, 0};
        if (::poll(&entry, 1, -1) > 0) {
            self.DrainWake();
        }
    }
    return request.result;
}

void MessageQueue::Complete(SentMessage& request, LRESULT result)
{
    // The sender may return (and its request vanish) as soon as done is set: keep its queue first.
    const std::shared_ptr<MessageQueue> sender = request.sender;
    request.result = result;
    request.done.store(true, std::memory_order_release);
    sender->Wake();
}

bool MessageQueue::ServeSentMessages()
{
    if (!hasSent.load(std::memory_order_acquire)) {
        return false;
    }
    bool served = false;
    for (;;) {
        SentMessage* request = nullptr;
        {
            win32::LockGuard guard(lock);
            if (sent.empty()) {
                hasSent.store(false, std::memory_order_relaxed);
                break;
            }
            request = sent.front();
            sent.pop_front();
        }
        Complete(*request, DeliverMessage(request->window, request->message, request->wParam, request->lParam));
        served = true;
    }
    return served;
}

bool MessageQueue::TakePosted(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove)
{
    win32::LockGuard guard(lock);
    const auto found = std::find_if(posted.begin(), posted.end(), [&](const MSG& candidate) {
        return Matches(candidate, window, filterMin, filterMax);
    });
    if (found == posted.end()) {
        return false;
    }
    *message = *found;
    if (remove) {
        posted.erase(found);
    }
    return true;
}

bool MessageQueue::TakeTimer(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove)
{
    win32::LockGuard guard(lock);
    const std::int64_t now = NowMilliseconds();
    Timer* earliest = nullptr;
    for (Timer& timer : timers) {
        MSG candidate;
        candidate.hwnd = timer.window;
        candidate.message = WM_TIMER;
        if (timer.due <= now && Matches(candidate, window, filterMin, filterMax) &&
            (earliest == nullptr || timer.due < earliest->due)) {
            earliest = &timer;
        }
    }
    if (earliest == nullptr) {
        return false;
    }
    *message = MSG{};
    message->hwnd = earliest->window;
    message->message = WM_TIMER;
    message->wParam = earliest->id;
    message->lParam = reinterpret_cast<LPARAM>(earliest->proc);
    message->time = static_cast<DWORD>(now);
    if (remove) {
        // Like Windows: one WM_TIMER however late the loop is, the next one an interval from now.
        earliest->due = now + earliest->interval;
    }
    return true;
}

bool MessageQueue::Peek(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    const bool remove = (removeFlags & PM_REMOVE) != 0;
    ServeSentMessages();
    if (TakePosted(message, window, filterMin, filterMax, remove)) {
        return true;
    }
    if (HasExternalSources()) {
        PollExternalSources();
        ServeSentMessages();
        if (TakePosted(message, window, filterMin, filterMax, remove)) {
            return true;
        }
    }
    {
        win32::LockGuard guard(lock);
        MSG quit;
        quit.message = WM_QUIT;
        if (quitPosted && window == nullptr && Matches(quit, window, filterMin, filterMax)) {
            *message = quit;
            message->wParam = static_cast<WPARAM>(quitCode);
            message->time = TickCount();
            if (remove) {
                quitPosted = false;
            }
            return true;
        }
    }
    return TakeTimer(message, window, filterMin, filterMax, remove);
}

BOOL MessageQueue::Get(MSG* message, HWND window, UINT filterMin, UINT filterMax)
{
    while (!Peek(message, window, filterMin, filterMax, PM_REMOVE)) {
        if (WaitForObjects(0, nullptr, false, INFINITE, QS_ALLINPUT, this) == WAIT_FAILED) {
            return -1;
        }
    }
    return message->message == WM_QUIT ? FALSE : TRUE;
}

bool MessageQueue::HasInput(DWORD wakeMask)
{
    win32::LockGuard guard(lock);
    if ((wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) != 0 && (!posted.empty() || quitPosted)) {
        return true;
    }
    if ((wakeMask & QS_TIMER) != 0 && !timers.empty()) {
        const std::int64_t now = NowMilliseconds();
        return std::any_of(timers.begin(), timers.end(), [now](const Timer& timer) { return timer.due <= now; });
    }
    return false;
}

int MessageQueue::MillisecondsToNextTimer()
{
    win32::LockGuard guard(lock);
    if (timers.empty()) {
        return -1;
    }
    std::int64_t due = timers.front().due;
    for (const Timer& timer : timers) {
        due = std::min(due, timer.due);
    }
    return static_cast<int>(std::clamp<std::int64_t>(due - NowMilliseconds(), 0, 0x7FFFFFFF));
}

void MessageQueue::AppendPollFds(std::vector<pollfd>& fds)
{
    fds.push_back(pollfd{wakeFd, POLLIN, 0});
    if (sessionEndFd >= 0) {
        fds.push_back(pollfd{sessionEndFd, POLLIN, 0});
    }
    sockets.AppendPollFds(fds);
}

void MessageQueue::HandlePollResults(const pollfd* fds)
{
    if (fds[0].revents != 0) {
        DrainWake();
    }
    std::size_t next = 1;
    bool sessionEnding = false;
    if (sessionEndFd >= 0) {
        if (fds[next].revents != 0) {
            std::uint64_t value;
            sessionEnding = ::read(sessionEndFd, &value, sizeof value) == sizeof value;
        }
        ++next;
    }
    sockets.HandlePollResults(fds + next);
    if (sessionEnding) {
        HandleSessionEnd();
    }
}

bool MessageQueue::HasExternalSources()
{
    return sessionEndFd >= 0 || !sockets.Empty();
}

void MessageQueue::PollExternalSources()
{
    std::vector<pollfd> fds;
    AppendPollFds(fds);
    if (::poll(fds.data(), fds.size(), 0) > 0) {
        HandlePollResults(fds.data());
    }
}

void MessageQueue::HandleSessionEnd()
{
    const std::vector<HWND> windows = WindowRegistry::TopLevelWindowsOf(this);
    for (const HWND window : windows) {
        DeliverMessage(window, WM_QUERYENDSESSION, 0, 0);
    }
    for (const HWND window : windows) {
        DeliverMessage(window, WM_ENDSESSION, TRUE, 0);
    }
    PostQuit(0);
}

void MessageQueue::WatchSessionEnd(int signalFd)
{
    sessionEndFd = signalFd;
}

UINT_PTR MessageQueue::SetTimer(HWND window, UINT_PTR id, UINT milliseconds, void* timerProc)
{
    const std::int64_t interval = std::max<std::int64_t>(milliseconds, kMinimumTimerInterval);
    {
        win32::LockGuard guard(lock);
        if (ended) {
            return 0;
        }
        auto found = std::find_if(timers.begin(), timers.end(), [&](const Timer& timer) {
            return timer.window == window && timer.id == id;
        });
        if (window == nullptr && found == timers.end()) {
            id = nextThreadTimerId++;
        }
        const Timer timer{window, id, interval, NowMilliseconds() + interval, timerProc};
        if (found != timers.end()) {
            *found = timer;
        } else {
            timers.push_back(timer);
        }
    }
    if (!IsCurrentThread()) {
        Wake();
    }
    return id != 0 ? id : 1;
}

bool MessageQueue::KillTimer(HWND window, UINT_PTR id)
{
    win32::LockGuard guard(lock);
    const auto found = std::find_if(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.window == window && timer.id == id;
    });
    if (found == timers.end()) {
        return false;
    }
    timers.erase(found);
    return true;
}

void MessageQueue::KillTimers(HWND window)
{
    win32::LockGuard guard(lock);
    std::erase_if(timers, [window](const Timer& timer) { return timer.window == window; });
}

}  // namespace win32::detail
