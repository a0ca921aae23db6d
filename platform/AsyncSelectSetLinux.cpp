#include "platform/AsyncSelectSetLinux.h"
// Before the system's socket headers, whose macros would otherwise replace the names it declares.
#include "platform/Sockets.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/MessageQueueLinux.h"
#include "platform/WindowObjectLinux.h"

namespace win32::detail {

namespace {

std::mutex registryLock;
std::unordered_map<int, std::shared_ptr<SocketRegistration>> registrations;  // guarded by registryLock

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

// Takes a registration out of the map and out of its owner's set; the caller wakes the owner so that it stops
// polling the descriptor before the descriptor is closed and its number reused.
std::shared_ptr<MessageQueue> AsyncSelectSet::Unregister(int fd)
{
    std::shared_ptr<SocketRegistration> old;
    std::shared_ptr<MessageQueue> owner;
    {
        std::scoped_lock guard(registryLock);
        const auto found = registrations.find(fd);
        if (found == registrations.end()) {
            return nullptr;
        }
        old = found->second;
        registrations.erase(found);
        owner = old->owner.lock();
        if (owner) {
            auto& members = owner->Sockets().members;
            members.erase(std::remove(members.begin(), members.end(), old), members.end());
            owner->Sockets().empty.store(members.empty(), std::memory_order_relaxed);
            owner->Sockets().membersChanged.store(true, std::memory_order_release);
        }
    }
    std::scoped_lock guard(old->useLock);
    old->cancelled = true;
    return owner;
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

bool AsyncSelectSet::Select(int fd, HWND window, UINT message, LONG mask)
{
    WakeUnlessCurrent(Unregister(fd));
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
        std::scoped_lock guard(registryLock);
        registrations[fd] = registration;
        AsyncSelectSet& set = target->queue->Sockets();
        set.members.push_back(registration);
        set.empty.store(false, std::memory_order_relaxed);
        set.membersChanged.store(true, std::memory_order_release);
    }
    WakeUnlessCurrent(target->queue);
    return true;
}

void AsyncSelectSet::Cancel(int fd)
{
    WakeUnlessCurrent(Unregister(fd));
}

void AsyncSelectSet::Rearm(int fd, std::uint32_t bits)
{
    std::shared_ptr<MessageQueue> owner;
    {
        std::scoped_lock guard(registryLock);
        const auto found = registrations.find(fd);
        if (found == registrations.end()) {
            return;
        }
        SocketRegistration& registration = *found->second;
        std::uint32_t wanted = 0;
        if ((registration.mask & FD_READ) != 0) {
            wanted |= SocketRegistration::kReadArmed;
        }
        if ((registration.mask & FD_WRITE) != 0) {
            wanted |= SocketRegistration::kWriteArmed;
        }
        if ((registration.mask & FD_ACCEPT) != 0) {
            wanted |= SocketRegistration::kAcceptArmed;
        }
        bits &= wanted;
        if (bits == 0 || (registration.state.fetch_or(bits, std::memory_order_acq_rel) & bits) == bits) {
            return;
        }
        owner = registration.owner.lock();
    }
    if (owner) {
        owner->Sockets().armChanged.store(true, std::memory_order_release);
        WakeUnlessCurrent(owner);
    }
}

void AsyncSelectSet::ChangeState(int fd, std::uint32_t set, std::uint32_t clear)
{
    std::shared_ptr<MessageQueue> owner;
    {
        std::scoped_lock guard(registryLock);
        const auto found = registrations.find(fd);
        if (found == registrations.end()) {
            return;
        }
        found->second->state.fetch_and(~clear, std::memory_order_acq_rel);
        found->second->state.fetch_or(set, std::memory_order_acq_rel);
        owner = found->second->owner.lock();
    }
    if (owner) {
        owner->Sockets().armChanged.store(true, std::memory_order_release);
        WakeUnlessCurrent(owner);
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
        std::scoped_lock guard(registryLock);
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
    return empty.load(std::memory_order_relaxed) && cached.empty();
}

void AsyncSelectSet::Refresh()
{
    if (membersChanged.exchange(false, std::memory_order_acq_rel)) {
        armChanged.store(false, std::memory_order_relaxed);
        std::scoped_lock guard(registryLock);
        cached = members;
    } else if (!armChanged.exchange(false, std::memory_order_acq_rel)) {
        return;
    }
    cachedFds.resize(cached.size());
    for (std::size_t i = 0; i < cached.size(); ++i) {
        const short events = cached[i]->PollEvents();
        // A socket with nothing to report stays out of the poll: a hang-up would otherwise wake it forever.
        cachedFds[i] = pollfd{events != 0 ? cached[i]->fd : -1, events, 0};
    }
}

void AsyncSelectSet::AppendPollFds(std::vector<pollfd>& fds)
{
    Refresh();
    fds.insert(fds.end(), cachedFds.begin(), cachedFds.end());
    appendedCount = cachedFds.size();
}

void AsyncSelectSet::HandlePollResults(const pollfd* fds)
{
    for (std::size_t i = 0; i < appendedCount && i < cached.size(); ++i) {
        if (fds[i].revents == 0 || fds[i].fd < 0) {
            continue;
        }
        SocketRegistration& registration = *cached[i];
        std::scoped_lock guard(registration.useLock);
        if (registration.cancelled || (fds[i].revents & POLLNVAL) != 0) {
            continue;
        }
        Handle(registration, fds[i].revents);
        const short events = registration.PollEvents();
        cachedFds[i] = pollfd{events != 0 ? registration.fd : -1, events, 0};
    }
    appendedCount = 0;
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

void AsyncSelectSet::Handle(SocketRegistration& registration, short revents)
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
    {
        std::scoped_lock guard(registryLock);
        for (const auto& registration : members) {
            {
                std::scoped_lock useGuard(registration->useLock);
                registration->cancelled = true;
            }
            const auto found = registrations.find(registration->fd);
            if (found != registrations.end() && found->second == registration) {
                registrations.erase(found);
            }
        }
        members.clear();
        empty.store(true, std::memory_order_relaxed);
    }
    cached.clear();
    cachedFds.clear();
}

}  // namespace win32::detail
