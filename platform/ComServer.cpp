// Linux backend of the class-object transport.
//
// Threads: the listening thread accepts, checks the peer's uid (SO_PEERCRED) and starts one thread per
// connection; each connection thread reads request lines, calls the object and writes the answers. Revoke wakes
// the listening thread through an eventfd, shuts every connection socket down and joins all of them.
// Lock: connectionsLock guards the connection list; it is never held while a callback runs.
#include "platform/ComServer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/ThreadSafety.h"

namespace win32 {

namespace {

HRESULT HResultFromErrno(int error) {
    return static_cast<HRESULT>(0x80070000u | (static_cast<unsigned>(error) & 0xFFFF));
}

bool SendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// A connection to the socket at path, or -1 when no process answers there.
int ConnectTo(const sockaddr_un& address) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool ToAddress(const std::string& socketPath, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    return true;
}

nlohmann::json ErrorReply(const nlohmann::json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

}  // namespace

struct ClassObjectServer::State {
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    Callbacks callbacks;
    int listenFd = -1;
    int wakeFd = -1;
    std::string socketPath;
    ino_t socketInode = 0;
    std::thread listener;
    std::atomic<bool> suspended{false};
    std::atomic<bool> stopping{false};

    Mutex connectionsLock;
    std::list<Connection> connections GUARDED_BY(connectionsLock);

    void Listen();
    void Serve(Connection& connection);
    void JoinFinishedConnections();
};

ClassObjectServer::ClassObjectServer(Callbacks callbacks) : state(std::make_unique<State>()) {
    state->callbacks = std::move(callbacks);
}

ClassObjectServer::~ClassObjectServer() { Revoke(); }

HRESULT ClassObjectServer::Register(const std::string& socketPath) {
    if (state->listenFd >= 0) {
        return E_UNEXPECTED;
    }
    sockaddr_un address{};
    if (!ToAddress(socketPath, address)) {
        return E_INVALIDARG;
    }
    // A live server keeps its socket: taking it would leave that server running with nothing able to reach it.
    if (const int live = ConnectTo(address); live >= 0) {
        close(live);
        return kPublishedByAnotherProcess;
    }

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return HResultFromErrno(errno);
    }
    // A socket left behind by an ended server gives way to this one.
    unlink(socketPath.c_str());
    const mode_t oldMask = umask(077);
    const int bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    umask(oldMask);
    if (bound != 0 || listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        close(fd);
        return HResultFromErrno(error);
    }
    struct stat info {};
    stat(socketPath.c_str(), &info);
    state->socketInode = info.st_ino;
    state->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->wakeFd < 0) {
        const int error = errno;
        close(fd);
        unlink(socketPath.c_str());
        return HResultFromErrno(error);
    }
    state->listenFd = fd;
    state->socketPath = socketPath;
    state->stopping = false;
    state->listener = std::thread([this] { state->Listen(); });
    return S_OK;
}

bool ClassObjectServer::CallPublishedObject(const std::string& socketPath, const std::string& method,
                                            const nlohmann::json& params) {
    sockaddr_un address{};
    const int fd = ToAddress(socketPath, address) ? ConnectTo(address) : -1;
    if (fd < 0) {
        return false;
    }
    const std::string request =
        nlohmann::json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}}.dump() + "\n";
    // The answer's first octet tells that the call was made; the connection's end then releases the reference.
    char answer = 0;
    ssize_t received = method.empty() ? 1 : -1;
    if (!method.empty() && SendAll(fd, request)) {
        while ((received = recv(fd, &answer, 1, 0)) < 0 && errno == EINTR) {
        }
    }
    close(fd);
    return received == 1;
}

HRESULT ClassObjectServer::Suspend() {
    state->suspended = true;
    return S_OK;
}

HRESULT ClassObjectServer::Resume() {
    state->suspended = false;
    return S_OK;
}

void ClassObjectServer::Revoke() {
    if (state->listenFd < 0) {
        return;
    }
    state->stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(state->wakeFd, &one, sizeof(one));
    if (state->listener.joinable()) {
        state->listener.join();
    }
    // Only our own socket is removed: a newer server may have published its own at the same path.
    struct stat info {};
    if (stat(state->socketPath.c_str(), &info) == 0 && info.st_ino == state->socketInode) {
        unlink(state->socketPath.c_str());
    }
    close(state->listenFd);
    close(state->wakeFd);
    state->listenFd = -1;
    state->wakeFd = -1;

    std::list<State::Connection> closing;
    {
        LockGuard lock(state->connectionsLock);
        for (State::Connection& connection : state->connections) {
            if (connection.fd >= 0) {
                shutdown(connection.fd, SHUT_RDWR);
            }
        }
        closing.splice(closing.end(), state->connections);
    }
    for (State::Connection& connection : closing) {
        if (connection.thread.joinable()) {
            connection.thread.join();
        }
    }
}

void ClassObjectServer::State::Listen() {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    while (!stopping) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        JoinFinishedConnections();
        ucred peer{};
        socklen_t length = sizeof(peer);
        const bool sameUser = getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == geteuid();
        if (!sameUser || suspended || stopping) {
            close(fd);
            continue;
        }
        // The reference is taken before the connection is served, so that no call can find the count at 0.
        if (callbacks.connectionOpened) {
            callbacks.connectionOpened();
        }
        LockGuard lock(connectionsLock);
        Connection& connection = connections.emplace_back();
        connection.fd = fd;
        connection.thread = std::thread([this, &connection] { Serve(connection); });
    }
}

void ClassObjectServer::State::JoinFinishedConnections() {
    std::list<Connection> finished;
    {
        LockGuard lock(connectionsLock);
        for (auto it = connections.begin(); it != connections.end();) {
            auto next = std::next(it);
            if (it->finished) {
                finished.splice(finished.end(), connections, it);
            }
            it = next;
        }
    }
    for (Connection& connection : finished) {
        connection.thread.join();
    }
}

void ClassObjectServer::State::Serve(Connection& connection) {
    std::string pending;
    bool skipping = false;  // inside an overlong line, until its end
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(connection.fd, buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        bool writeFailed = false;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (skipping) {
                skipping = false;
                continue;
            }
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            const std::optional<std::string> reply = AnswerRequestLine(line, callbacks.invoke);
            if (reply && !SendAll(connection.fd, *reply)) {
                writeFailed = true;
                break;
            }
        }
        if (writeFailed) {
            break;
        }
        if (pending.size() > kMaxRequestLine) {
            pending.clear();
            if (!skipping &&
                !SendAll(connection.fd, ErrorReply(nullptr, -32600, "request line too long").dump() + "\n")) {
                break;
            }
            skipping = true;
        }
    }
    // The reference goes before the socket closes, so that a client seeing the end may rely on its release.
    if (callbacks.connectionClosed) {
        callbacks.connectionClosed();
    }
    {
        LockGuard lock(connectionsLock);
        close(connection.fd);
        connection.fd = -1;
    }
    connection.finished = true;
}

namespace {

constexpr const char* kInvalidRequest = "invalid request: expected {\"jsonrpc\":\"2.0\",\"method\":...}";

std::string AnswerLine(const nlohmann::json& reply) {
    return reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// The answer to one parsed request. Every field's type is checked before it is read: a request written by a
// careless or hostile caller gets an error answer, never an exception out of the transport.
std::optional<std::string> AnswerRequest(const nlohmann::json& request, const ClassObjectServer::Invoke& invoke) {
    if (!request.is_object()) {
        return AnswerLine(ErrorReply(nullptr, -32600, kInvalidRequest));
    }
    const auto idField = request.find("id");
    const bool notification = idField == request.end();
    if (!notification && !idField->is_string() && !idField->is_number() && !idField->is_null()) {
        return AnswerLine(ErrorReply(nullptr, -32600, "invalid request: the id must be a string, a number or null"));
    }
    const nlohmann::json id = notification ? nlohmann::json(nullptr) : *idField;
    const auto version = request.find("jsonrpc");
    const auto method = request.find("method");
    if (version == request.end() || !version->is_string() || *version != "2.0" || method == request.end() ||
        !method->is_string()) {
        return AnswerLine(ErrorReply(id, -32600, kInvalidRequest));
    }
    const auto params = request.find("params");
    nlohmann::json reply;
    if (params != request.end() && !params->is_array() && !params->is_object()) {
        reply = ErrorReply(id, -32602, "invalid params: expected a list or an object");
    } else {
        const std::string name = method->get<std::string>();
        try {
            std::optional<nlohmann::json> result =
                invoke(name, params != request.end() ? *params : nlohmann::json::object());
            reply = result ? nlohmann::json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(*result)}}
                           : ErrorReply(id, -32601, "method not found: " + name);
        } catch (const std::invalid_argument& error) {
            reply = ErrorReply(id, -32602, std::string("invalid params: ") + error.what());
        } catch (const std::exception& error) {
            reply = ErrorReply(id, -32603, std::string("internal error: ") + error.what());
        }
    }
    if (notification) {
        return std::nullopt;
    }
    return AnswerLine(reply);
}

}  // namespace

std::optional<std::string> AnswerRequestLine(const std::string& line, const ClassObjectServer::Invoke& invoke) {
    if (line.find_first_not_of(" \t") == std::string::npos) {
        return std::nullopt;
    }
    try {
        nlohmann::json request = nlohmann::json::parse(line, nullptr, false);
        if (request.is_discarded()) {
            return AnswerLine(ErrorReply(nullptr, -32700, "parse error: the line is not JSON"));
        }
        return AnswerRequest(request, invoke);
    } catch (...) {
        // Out of memory, or a fault of a method's own: the caller learns that the call failed, the server goes on.
        return AnswerLine(ErrorReply(nullptr, -32603, "internal error"));
    }
}

}  // namespace win32
