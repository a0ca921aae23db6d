// WSAAsyncSelect on Linux: the sockets whose network events are reported to windows of one thread. The set
// belongs to that thread's message queue and watches its sockets through an epoll instance, which the owner
// thread polls in its message retrieval and message-aware waits, posting one message per event. Other threads
// attach, cancel and re-arm sockets (recv, accept and a blocked send re-arm) through the static operations.
//
// Each socket is watched one-shot: once epoll has reported it, it stays quiet until its events are set again,
// by the owner after reporting or by the thread that re-arms it. So re-arming, attaching and cancelling change
// the epoll instance directly and never wake the owner; the owner wakes only when a socket has something to
// report (a re-arm on a socket that still holds data makes epoll report it at once, as a re-enabled FD_READ must).
//
// Locks: registryLock (one per process) guards the socket-to-registration map and every set's members; a
// registration's useLock is taken after it, never the other way round. The arm state of a registration is an
// atomic word: the owner clears a bit when it reports the event, other threads set it again. Every change of the
// epoll interest is made under useLock from the state as it is then, so the last change always reflects the
// newest state.
#pragma once

#include <poll.h>
#include <sys/epoll.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/ThreadSafety.h"
#include "platform/Win32Types.h"

namespace win32::detail {

class MessageQueue;

// One socket's event reporting, from WSAAsyncSelect until it is cancelled.
struct SocketRegistration {
    static constexpr std::uint32_t kReadArmed = 1;
    static constexpr std::uint32_t kWriteArmed = 2;
    static constexpr std::uint32_t kAcceptArmed = 4;
    static constexpr std::uint32_t kEndSeen = 8;      // the end of the stream (or an error) has been handled
    static constexpr std::uint32_t kConnecting = 16;  // a non-blocking connect is under way
    static constexpr std::uint32_t kIdle = 32;        // neither connected nor listening yet: nothing to watch
    static constexpr std::uint32_t kListening = 64;

    int fd;
    std::uint64_t id;  // names the registration in the epoll events, which outlive it
    int epollFd;       // the owner's epoll instance
    HWND window;
    UINT message;
    LONG mask;
    std::weak_ptr<MessageQueue> owner;
    std::atomic<std::uint32_t> state{0};
    // Held by the owner while it looks at the socket, and by the canceller when it marks the registration
    // cancelled: once a cancel has returned, the owner no longer touches the descriptor, so it may be closed.
    win32::Mutex useLock;
    bool cancelled GUARDED_BY(useLock) = false;
    bool inEpoll GUARDED_BY(useLock) = false;

    short PollEvents() const;
    // Makes the epoll interest match the arm state; the registration is live.
    void Watch() REQUIRES(useLock);
};

class AsyncSelectSet {
public:
    explicit AsyncSelectSet(MessageQueue& queue) : queue(queue) {}
    AsyncSelectSet(const AsyncSelectSet&) = delete;
    AsyncSelectSet& operator=(const AsyncSelectSet&) = delete;

    // Any thread. Replaces an earlier registration of the socket; mask 0 only cancels. False with errno set
    // when the window does not exist or the socket cannot be made non-blocking.
    static bool Select(int fd, HWND window, UINT message, LONG mask);
    static void Cancel(int fd);
    // Re-enables the events in bits (kReadArmed, kWriteArmed, kAcceptArmed) if the registration reports them.
    static void Rearm(int fd, std::uint32_t bits);
    // A non-blocking connect has started: FD_CONNECT follows when it completes.
    static void NoteConnecting(int fd);
    // The socket has become connected (a blocking connect) or listening since it was attached.
    static void NoteConnected(int fd);
    static void NoteListening(int fd);
    // Stops reporting to a window that is being destroyed.
    static void CancelWindow(HWND window);

    // Owner thread.
    bool Empty();
    void AppendPollFds(std::vector<pollfd>& fds);
    // fds points at this set's entries of the array filled by AppendPollFds.
    void HandlePollResults(const pollfd* fds);
    // The owner thread has ended: forget every registration.
    void Clear();

    ~AsyncSelectSet();

    // One per process: guards the socket-to-registration map and every set's members.
    static Mutex registryLock;

private:
    static void Unregister(int fd);
    static void ChangeState(int fd, std::uint32_t set, std::uint32_t clear);
    // The epoll instance, made on the first registration.
    int EpollFdForNewMember() REQUIRES(registryLock);
    void Report(const SocketRegistration& registration, LONG event, int error);
    void Handle(SocketRegistration& registration, std::uint32_t revents);

    MessageQueue& queue;
    std::unordered_map<std::uint64_t, std::shared_ptr<SocketRegistration>> members GUARDED_BY(registryLock);
    std::atomic<bool> empty{true};
    std::atomic<int> epollFd{-1};
    bool appended = false;
};

}  // namespace win32::detail
