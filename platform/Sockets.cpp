// Windows Sockets 1.1 on BSD sockets: SOCKET values are the descriptors, errors are kept per thread as Winsock
// codes, and WSAAsyncSelect is served by the window owner's message queue (AsyncSelectSetLinux.h). recv, accept
// and a send that would block re-arm the events they consume, from whatever thread calls them.
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/AsyncSelectSetLinux.h"

namespace win32 {

using detail::AsyncSelectSet;
using detail::SocketRegistration;

namespace {

// A server holds a few descriptors per client while the client is connected, and the default soft limit of many
// systems (1024) is reached by a few hundred clients; accept then fails and the listening server stops for good.
// Starting the socket layer therefore raises the soft limit to the hard one, which this process may do by itself.
// Waits use poll, so descriptors above 1024 are fine.
void AllowEveryDescriptor()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

thread_local int lastError = 0;
std::atomic<int> startups{0};

int ToWinsockError(int error)
{
    switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
    case EALREADY:
        return WSAEWOULDBLOCK;
    case EINTR:
        return WSAEINTR;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSAEINVAL;
    }
}

int Fail(int winsockError)
{
    lastError = winsockError;
    return SOCKET_ERROR;
}

int FailErrno()
{
    return Fail(ToWinsockError(errno));
}

// The descriptor behind a SOCKET; -1 for values that cannot be one.
int Fd(SOCKET s)
{
    return s <= static_cast<SOCKET>(INT_MAX) ? static_cast<int>(s) : -1;
}

sockaddr_in ToSockaddr(const SOCKADDR_IN& address)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = address.address;
    result.sin_port = address.port;
    return result;
}

SOCKADDR_IN FromSockaddr(const sockaddr_in& address)
{
    SOCKADDR_IN result;
    result.address = address.sin_addr.s_addr;
    result.port = address.sin_port;
    return result;
}

bool IsNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_NONBLOCK) != 0;
}

}  // namespace

int WSAStartup(WORD versionRequested, WSADATA* data)
{
    if (data == nullptr) {
        return WSAEFAULT;
    }
    data->wVersion = MAKEWORD(1, 1);
    data->wHighVersion = MAKEWORD(1, 1);
    if (LOBYTE(versionRequested) < 1) {
        return 10092;  // WSAVERNOTSUPPORTED
    }
    if (startups.fetch_add(1, std::memory_order_relaxed) == 0) {
        AllowEveryDescriptor();
    }
    return 0;
}

int WSACleanup()
{
    int count = startups.load(std::memory_order_relaxed);
    while (count > 0 && !startups.compare_exchange_weak(count, count - 1, std::memory_order_relaxed)) {
    }
    return count > 0 ? 0 : Fail(WSANOTINITIALISED);
}

int WSAGetLastError()
{
    return lastError;
}

void WSASetLastError(int error)
{
    lastError = error;
}

std::string DescribeSocketError(int error)
{
    switch (error) {
    case WSAECONNREFUSED:
        return "connection refused";
    case WSAETIMEDOUT:
        return "connection timed out";
    case WSAEHOSTUNREACH:
        return "host unreachable";
    case WSAENETUNREACH:
        return "network unreachable";
    case WSAENETDOWN:
        return "network down";
    case WSAECONNRESET:
        return "connection reset by the peer";
    case WSAECONNABORTED:
        return "connection aborted";
    case WSAEADDRINUSE:
        return "the port is already in use";
    case WSAEADDRNOTAVAIL:
        return "address not available";
    case WSAEACCES:
        return "permission denied";
    case WSAEMFILE:
        return "too many open sockets";
    case WSAENOBUFS:
        return "no buffer space";
    case WSAHOST_NOT_FOUND:
        return "host not found";
    default:
        return "error " + std::to_string(error);
    }
}

SOCKET socket(int family, int type, int protocol)
{
    if (startups.load(std::memory_order_relaxed) == 0) {
        Fail(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (family != AF_INET || type != SOCK_STREAM) {
        Fail(WSAEINVAL);
        return INVALID_SOCKET;
    }
    const int fd = ::socket(PF_INET, ::SOCK_STREAM | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        FailErrno();
        return INVALID_SOCKET;
    }
    // Windows lets a listener take a port whose earlier connections linger in TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return static_cast<SOCKET>(fd);
}

int bind(SOCKET s, const SOCKADDR_IN& address)
{
    const sockaddr_in native = ToSockaddr(address);
    return ::bind(Fd(s), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0 ? 0 : FailErrno();
}

int listen(SOCKET s, int backlog)
{
    if (::listen(Fd(s), backlog) != 0) {
        return FailErrno();
    }
    AsyncSelectSet::NoteListening(Fd(s));
    return 0;
}

SOCKET accept(SOCKET s, SOCKADDR_IN* peer)
{
    const int fd = Fd(s);
    sockaddr_in native{};
    socklen_t length = sizeof native;
    // Like Winsock, the accepted socket is non-blocking when the listening one is.
    const int result = ::accept4(fd, reinterpret_cast<sockaddr*>(&native), &length,
                                 SOCK_CLOEXEC | (IsNonBlocking(fd) ? SOCK_NONBLOCK : 0));
    const int error = errno;
    AsyncSelectSet::Rearm(fd, SocketRegistration::kAcceptArmed);
    if (result < 0) {
        lastError = ToWinsockError(error);
        return INVALID_SOCKET;
    }
    if (peer != nullptr) {
        *peer = FromSockaddr(native);
    }
    return static_cast<SOCKET>(result);
}

int connect(SOCKET s, const SOCKADDR_IN& address)
{
    const int fd = Fd(s);
    const sockaddr_in native = ToSockaddr(address);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) {
        AsyncSelectSet::NoteConnected(fd);
        return 0;
    }
    if (errno == EINPROGRESS) {
        AsyncSelectSet::NoteConnecting(fd);
    }
    return FailErrno();
}

int send(SOCKET s, const char* data, int length, int)
{
    if (length < 0) {
        return Fail(WSAEINVAL);
    }
    const int fd = Fd(s);
    // MSG_NOSIGNAL: a peer that has gone away gives an error, never SIGPIPE.
    const ssize_t sent = ::send(fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent >= 0) {
        return static_cast<int>(sent);
    }
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) {
        AsyncSelectSet::Rearm(fd, SocketRegistration::kWriteArmed);
    }
    lastError = ToWinsockError(error);
    return SOCKET_ERROR;
}

int recv(SOCKET s, char* buffer, int length, int flags)
{
    if (length < 0) {
        return Fail(WSAEINVAL);
    }
    const int fd = Fd(s);
    const ssize_t received =
        ::recv(fd, buffer, static_cast<std::size_t>(length), (flags & MSG_PEEK) != 0 ? ::MSG_PEEK : 0);
    const int error = errno;
    AsyncSelectSet::Rearm(fd, SocketRegistration::kReadArmed);
    if (received < 0) {
        lastError = ToWinsockError(error);
        return SOCKET_ERROR;
    }
    return static_cast<int>(received);
}

int closesocket(SOCKET s)
{
    const int fd = Fd(s);
    if (fd < 0) {
        return Fail(WSAENOTSOCK);
    }
    // Out of the owner's poll before the number can be reused.
    AsyncSelectSet::Cancel(fd);
    return ::close(fd) == 0 ? 0 : FailErrno();
}

int getsockname(SOCKET s, SOCKADDR_IN* address)
{
    if (address == nullptr) {
        return Fail(WSAEFAULT);
    }
    sockaddr_in native{};
    socklen_t length = sizeof native;
    if (::getsockname(Fd(s), reinterpret_cast<sockaddr*>(&native), &length) != 0) {
        return FailErrno();
    }
    *address = FromSockaddr(native);
    return 0;
}

int shutdown(SOCKET s, int how)
{
    return ::shutdown(Fd(s), how) == 0 ? 0 : FailErrno();
}

int SetNoDelay(SOCKET s, bool noDelay)
{
    const int value = noDelay ? 1 : 0;
    return ::setsockopt(Fd(s), ::IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0 ? 0 : FailErrno();
}

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG mask)
{
    const int fd = Fd(s);
    if (fd < 0) {
        return Fail(WSAENOTSOCK);
    }
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
        return FailErrno();
    }
    return AsyncSelectSet::Select(fd, window, message, mask) ? 0 : FailErrno();
}

std::uint32_t inet_addr(const char* text)
{
    if (text == nullptr) {
        return INADDR_NONE;
    }
    // Four decimal parts of 0 to 255 and nothing else.
    std::uint32_t parts[4];
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (*p < '0' || *p > '9') {
            return INADDR_NONE;
        }
        std::uint32_t value = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(*p - '0');
            if (++digits > 3 || value > 255) {
                return INADDR_NONE;
            }
            ++p;
        }
        parts[i] = value;
        if (i < 3) {
            if (*p != '.') {
                return INADDR_NONE;
            }
            ++p;
        }
    }
    if (*p != '\0') {
        return INADDR_NONE;
    }
    return ::htonl((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]);
}

bool ResolveHostName(const char* name, std::uint32_t& address)
{
    if (name == nullptr || *name == '\0') {
        lastError = WSAHOST_NOT_FOUND;
        return false;
    }
    addrinfo hints{};
    hints.ai_family = PF_INET;
    hints.ai_socktype = ::SOCK_STREAM;
    addrinfo* results = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &results) != 0 || results == nullptr) {
        lastError = WSAHOST_NOT_FOUND;
        return false;
    }
    address = reinterpret_cast<const sockaddr_in*>(results->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(results);
    return true;
}

// The C library may define these names as macros; the functions below are the platform's own.
#undef htons
#undef htonl
#undef ntohs
#undef ntohl

std::uint16_t htons(std::uint16_t value)
{
    return std::endian::native == std::endian::big ? value : __builtin_bswap16(value);
}

std::uint32_t htonl(std::uint32_t value)
{
    return std::endian::native == std::endian::big ? value : __builtin_bswap32(value);
}

std::uint16_t ntohs(std::uint16_t value)
{
    return htons(value);
}

std::uint32_t ntohl(std::uint32_t value)
{
    return htonl(value);
}

}  // namespace win32
