#include "platform/AsyncSelectSetLinux.h"
// Before the system's socket headers, whose macros would otherwise replace the names it declares.
#include "platform/Sockets.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/MessageQueueLinux.h"
#include "platform/ThreadSafety.h"
#include "platform/WindowObjectLinux.h"

namespace win32::detail {

Mutex AsyncSelectSet::registryLock;

namespace {

std::unordered_map<int, std::shared_ptr<SocketRegistration>> registrations GUARDED_BY(AsyncSelectSet::registryLock);
std::uint64_t lastRegistrationId GUARDED_BY(AsyncSelectSet::registryLock) = 0;

// The poll and epoll event bits are the same numbers on Linux, so the arm state's events serve both.
static_assert(POLLIN == EPOLLIN && POLLOUT == EPOLLOUT && POLLRDHUP == EPOLLRDHUP && POLLHUP == EPOLLHUP &&
              POLLERR == EPOLLERR);
constexpr int kEventsPerHarvest = 64;

int WinsockError(int error)
{
    switch (error) {
    case 0:
        return 0;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSAECONNABORTED;
    }
}

bool MakeNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ((flags & O_NONBLOCK) != 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0);
}

// Whether the socket is, or was, connected: it has a peer, or its connection has already ended with an error (a
// peer that reset the connection before the socket was attached leaves no peer behind, only the error). The error
// is taken by the look; a later receive then finds the end of the stream, which ends the connection all the same.
bool HasBeenConnected(int fd)
{
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0) {
        return true;
    }
    int pending = 0;
    socklen_t length = sizeof pending;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) == 0 && pending != 0;
}

void WakeUnlessCurrent(const std::shared_ptr<MessageQueue>& owner)
{
    if (owner && !owner->IsCurrentThread()) {
        owner->Wake();
    }
}

}  // namespace

// Takes a registration out of the map and out of its owner's set, and out of the owner's epoll instance before the
// descriptor can be closed and its number reused. Events already taken from epoll find it gone or cancelled.
void AsyncSelectSet::Unregister(int fd)
{
    std::shared_ptr<SocketRegistration> old;
    {
        win32::LockGuard guard(registryLock);
        const auto found = registrations.find(fd);
        if (found == registrations.end()) {
            return;
        }
        old = found->second;
        registrations.erase(found);
        if (const std::shared_ptr<MessageQueue> owner = old->owner.lock()) {
            AsyncSelectSet& set = owner->Sockets();
            set.members.erase(old->id);
            set.empty.store(set.members.empty(), std::memory_order_relaxed);
        }
    }
    win32::LockGuard guard(old->useLock);
    old->cancelled = true;
    if (old->inEpoll) {
        ::epoll_ctl(old->epollFd, EPOLL_CTL_DEL, old->fd, nullptr);
        old->inEpoll = false;
    }
}

short SocketRegistration::PollEvents() const
{
    const std::uint32_t bits = state.load(std::memory_order_acquire);
    short events = 0;
    if ((bits & kIdle) != 0) {
        return 0;
    }
    if ((bits & kListening) != 0) {
        if ((bits & kAcceptArmed) != 0) {
            events |= POLLIN;
        }
        return events;
    }
    if ((bits & kConnecting) != 0) {
        return POLLOUT;
    }
    if ((bits & kReadArmed) != 0) {
        events |= POLLIN;
    }
    if ((bits & kEndSeen) == 0 && (mask & (FD_CLOSE | FD_READ)) != 0) {
        events |= POLLRDHUP;
    }
    if ((bits & kWriteArmed) != 0) {
        events |= POLLOUT;
    }
    return events;
}

void SocketRegistration::Watch()
{
    const short events = PollEvents();
    if (events == 0) {
        // Nothing to report: out of the set, or a hang-up would be reported again and again.
        if (inEpoll) {
            ::epoll_ctl(epollFd, EPOLL_CTL_DEL, fd, nullptr);
            inEpoll = false;
        }
        return;
    }
    epoll_event interest{};
    interest.events = static_cast<std::uint32_t>(events) | EPOLLONESHOT;
    interest.data.u64 = id;
    int operation = inEpoll ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (::epoll_ctl(epollFd, operation, fd, &interest) != 0) {
        // The instance knew the descriptor otherwise than recorded (an entry left behind by a descriptor closed
        // without a cancel, or one the kernel dropped): take the other way once.
        operation = errno == EEXIST ? EPOLL_CTL_MOD : errno == ENOENT ? EPOLL_CTL_ADD : -1;
        if (operation < 0 || ::epoll_ctl(epollFd, operation, fd, &interest) != 0) {
            return;
        }
    }
    inEpoll = true;
}

bool AsyncSelectSet::Select(int fd, HWND window, UINT message, LONG mask)
{
    Unregister(fd);
    if (mask == 0) {
        return true;
    }
    const std::shared_ptr<WindowObject> target = WindowRegistry::Find(window);
    if (!target) {
        errno = EINVAL;
        return false;
    }
    if (!MakeNonBlocking(fd)) {
        return false;
    }
    int accepting = 0;
    socklen_t length = sizeof accepting;
    ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length);
    // An unconnected socket reports a hang-up to poll; it is watched once it connects or listens.
    const bool idle = accepting == 0 && !HasBeenConnected(fd);

    auto registration = std::make_shared<SocketRegistration>();
    registration->fd = fd;
    registration->window = window;
    registration->message = message;
    registration->mask = mask;
    registration->owner = target->queue;
    std::uint32_t bits = accepting != 0 ? SocketRegistration::kListening : 0;
    if (idle) {
        bits |= SocketRegistration::kIdle;
    }
    if ((mask & FD_READ) != 0) {
        bits |= SocketRegistration::kReadArmed;
    }
    if ((mask & FD_WRITE) != 0) {
        bits |= SocketRegistration::kWriteArmed;
    }
    if ((mask & FD_ACCEPT) != 0) {
        bits |= SocketRegistration::kAcceptArmed;
    }
    registration->state.store(bits, std::memory_order_relaxed);
    {
        win32::LockGuard guard(registryLock);
        AsyncSelectSet& set = target->queue->Sockets();
        registration->epollFd = set.EpollFdForNewMember();
        if (registration->epollFd < 0) {
            return false;
        }
        registration->id = ++lastRegistrationId;
        registrations[fd] = registration;
        set.members[registration->id] = registration;
        set.empty.store(false, std::memory_order_relaxed);
    }
    win32::LockGuard guard(registration->useLock);
    if (!registration->cancelled) {
        registration->Watch();
    }
    return true;
}

int AsyncSelectSet::EpollFdForNewMember()
{
    int fd = epollFd.load(std::memory_order_acquire);
    if (fd < 0) {
        fd = ::epoll_create1(EPOLL_CLOEXEC);
        if (fd < 0) {
            return -1;
        }
        epollFd.store(fd, std::memory_order_release);
        // The owner's waits watch the instance from their next round on.
        WakeUnlessCurrent(queue.shared_from_this());
    }
    return fd;
}

AsyncSelectSet::~AsyncSelectSet()
{
    if (const int fd = epollFd.load(std::memory_order_acquire); fd >= 0) {
        ::close(fd);
    }
}

void AsyncSelectSet::Cancel(int fd)
{
    Unregister(fd);
}

namespace {
// The registration of a socket, null when it has none.
std::shared_ptr<SocketRegistration> Registered(int fd)
{
    win32::LockGuard guard(AsyncSelectSet::registryLock);
    const auto found = registrations.find(fd);
    return found != registrations.end() ? found->second : nullptr;
}
}  // namespace

void AsyncSelectSet::Rearm(int fd, std::uint32_t bits)
{
    const std::shared_ptr<SocketRegistration> registration = Registered(fd);
    if (!registration) {
        return;
    }
    std::uint32_t wanted = 0;
    if ((registration->mask & FD_READ) != 0) {
        wanted |= SocketRegistration::kReadArmed;
    }
    if ((registration->mask & FD_WRITE) != 0) {
        wanted |= SocketRegistration::kWriteArmed;
    }
    if ((registration->mask & FD_ACCEPT) != 0) {
        wanted |= SocketRegistration::kAcceptArmed;
    }
    bits &= wanted;
    if (bits == 0 || (registration->state.fetch_or(bits, std::memory_order_acq_rel) & bits) == bits) {
        return;
    }
    win32::LockGuard guard(registration->useLock);
    if (!registration->cancelled) {
        registration->Watch();
    }
}

void AsyncSelectSet::ChangeState(int fd, std::uint32_t set, std::uint32_t clear)
{
    const std::shared_ptr<SocketRegistration> registration = Registered(fd);
    if (!registration) {
        return;
    }
    registration->state.fetch_and(~clear, std::memory_order_acq_rel);
    registration->state.fetch_or(set, std::memory_order_acq_rel);
    win32::LockGuard guard(registration->useLock);
    if (!registration->cancelled) {
        registration->Watch();
    }
}

void AsyncSelectSet::NoteConnecting(int fd)
{
    ChangeState(fd, SocketRegistration::kConnecting, SocketRegistration::kIdle);
}

void AsyncSelectSet::NoteConnected(int fd)
{
    ChangeState(fd, 0, SocketRegistration::kIdle);
}

void AsyncSelectSet::NoteListening(int fd)
{
    ChangeState(fd, SocketRegistration::kListening, SocketRegistration::kIdle);
}

void AsyncSelectSet::CancelWindow(HWND window)
{
    std::vector<int> fds;
    {
        win32::LockGuard guard(registryLock);
        for (const auto& [fd, registration] : registrations) {
            if (registration->window == window) {
                fds.push_back(fd);
            }
        }
    }
    for (const int fd : fds) {
        Cancel(fd);
    }
}

bool AsyncSelectSet::Empty()
{
    return empty.load(std::memory_order_relaxed);
}

void AsyncSelectSet::AppendPollFds(std::vector<pollfd>& fds)
{
    const int fd = epollFd.load(std::memory_order_acquire);
    appended = fd >= 0;
    if (appended) {
        fds.push_back(pollfd{fd, POLLIN, 0});
    }
}

void AsyncSelectSet::HandlePollResults(const pollfd* fds)
{
    if (!std::exchange(appended, false) || fds[0].revents == 0) {
        return;
    }
    epoll_event ready[kEventsPerHarvest];
    const int count = ::epoll_wait(fds[0].fd, ready, kEventsPerHarvest, 0);
    for (int i = 0; i < count; ++i) {
        // Copied out: epoll_event is packed, so its fields may not be bound by reference.
        const std::uint64_t id = ready[i].data.u64;
        const std::uint32_t events = ready[i].events;
        std::shared_ptr<SocketRegistration> registration;
        {
            win32::LockGuard guard(registryLock);
            const auto found = members.find(id);
            if (found == members.end()) {
                continue;  // cancelled since epoll reported it
            }
            registration = found->second;
        }
        win32::LockGuard guard(registration->useLock);
        if (registration->cancelled) {
            continue;
        }
        Handle(*registration, events);
        registration->Watch();
    }
}

void AsyncSelectSet::Report(const SocketRegistration& registration, LONG event, int error)
{
    MSG message;
    message.hwnd = registration.window;
    message.message = registration.message;
    message.wParam = static_cast<WPARAM>(registration.fd);
    message.lParam = static_cast<LPARAM>(static_cast<std::uint32_t>(event) |
                                         (static_cast<std::uint32_t>(WinsockError(error)) << 16));
    queue.Post(message);
}

void AsyncSelectSet::Handle(SocketRegistration& registration, std::uint32_t revents)
{
    using R = SocketRegistration;
    auto claim = [&registration](std::uint32_t bit) {
        return (registration.state.fetch_and(~bit, std::memory_order_acq_rel) & bit) != 0;
    };

    if ((registration.state.load(std::memory_order_acquire) & R::kListening) != 0) {
        if (claim(R::kAcceptArmed)) {
            Report(registration, FD_ACCEPT, 0);
        }
        return;
    }

    if ((registration.state.load(std::memory_order_acquire) & R::kConnecting) != 0) {
        claim(R::kConnecting);
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(registration.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if ((registration.mask & FD_CONNECT) != 0) {
            Report(registration, FD_CONNECT, error);
        }
        if (error != 0) {
            registration.state.fetch_and(~(R::kWriteArmed | R::kReadArmed), std::memory_order_acq_rel);
            return;
        }
        // Writable now; FD_WRITE follows below, reads start being watched from the next poll.
        revents = POLLOUT;
    }

    if ((revents & (POLLOUT | POLLERR | POLLHUP)) != 0 && claim(R::kWriteArmed)) {
        Report(registration, FD_WRITE, 0);
    }

    if ((revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) == 0) {
        return;
    }
    const std::uint32_t bits = registration.state.load(std::memory_order_acquire);
    bool data = false;
    bool end = (revents & (POLLRDHUP | POLLHUP)) != 0;
    int error = 0;
    if ((revents & ~POLLOUT) == POLLIN && (bits & R::kEndSeen) == 0) {
        // Plain readability before any end of stream: data is there, no need to look.
        data = true;
    } else {
        char probe;
        const ssize_t n = ::recv(registration.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            data = true;
        } else if (n == 0) {
            end = true;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            end = true;
            error = errno;
        }
        if ((revents & POLLERR) != 0 && error == 0) {
            socklen_t length = sizeof error;
            ::getsockopt(registration.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            end = true;
        }
    }
    if (data) {
        if (claim(R::kReadArmed)) {
            Report(registration, FD_READ, 0);
        }
    } else if (end) {
        // Nothing left to read: the next recv re-arms, and finds the end itself.
        claim(R::kReadArmed);
    }
    // The data in front of the end has been reported above (or earlier), so the close comes after it.
    if (end && (registration.state.fetch_or(R::kEndSeen, std::memory_order_acq_rel) & R::kEndSeen) == 0) {
        if ((registration.mask & FD_CLOSE) != 0) {
            Report(registration, FD_CLOSE, error);
        }
    }
}

void AsyncSelectSet::Clear()
{
    win32::LockGuard guard(registryLock);
    for (const auto& [id, registration] : members) {
        {
            win32::LockGuard useGuard(registration->useLock);
            registration->cancelled = true;
            if (registration->inEpoll) {
                ::epoll_ctl(registration->epollFd, EPOLL_CTL_DEL, registration->fd, nullptr);
                registration->inEpoll = false;
            }
        }
        const auto found = registrations.find(registration->fd);
        if (found != registrations.end() && found->second == registration) {
            registrations.erase(found);
        }
    }
    members.clear();
    empty.store(true, std::memory_order_relaxed);
}

}  // namespace win32::detail
