#include "integration/HostilePop3Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "support/PeerListener.h"

namespace {
constexpr int kPollMs = 50;

bool SendAll(int connection, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}
}  // namespace

const std::string HostilePop3Server::kOddMail = std::string(
    "+OK odd octets\r\n"
    "From: a@example.org\r\n"
    "\r\n"
    "bare\nLF\n\nlines\r\n"
    "a NUL \0 in the middle\r\n"
    "\0\0\0\r\n"
    ".\r\n",
    86);

HostilePop3Server::HostilePop3Server(Fault fault) : fault(fault)
{
    listener = ListenForPeers(port, 64);
    if (listener < 0) {
        return;
    }
    acceptThread = std::thread([this] { AcceptLoop(); });
}

HostilePop3Server::~HostilePop3Server()
{
    stopping = true;
    if (acceptThread.joinable()) {
        acceptThread.join();
    }
    if (listener >= 0) {
        ::close(listener);
    }
    std::unique_lock guard(lock);
    sessionEnded.wait(guard, [this] { return liveSessions == 0; });
}

bool HostilePop3Server::WaitUntilIdle()
{
    std::unique_lock guard(lock);
    return sessionEnded.wait_for(guard, std::chrono::seconds(10), [this] { return liveSessions == 0; });
}

void HostilePop3Server::AcceptLoop()
{
    while (!stopping) {
        pollfd watch{listener, POLLIN, 0};
        if (::poll(&watch, 1, kPollMs) <= 0) {
            continue;  // look at the stop flag again
        }
        const int connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0) {
            continue;
        }
        const bool hostile = accepted++ == 1 && fault != Fault::None;
        {
            std::scoped_lock guard(lock);
            ++liveSessions;
        }
        std::thread([this, connection, hostile] {
            Serve(connection, hostile);
            ::close(connection);
            std::scoped_lock guard(lock);
            --liveSessions;
            sessionEnded.notify_all();  // under the lock: the destructor cannot free it before this returns
        }).detach();
    }
}

void HostilePop3Server::Stall(int connection)
{
    char sink[65536];
    while (!stopping) {
        pollfd watch{connection, POLLIN, 0};
        if (::poll(&watch, 1, kPollMs) <= 0) {
            continue;
        }
        const ssize_t received = ::recv(connection, sink, sizeof sink, 0);
        if (received == 0 || (received < 0 && errno != EINTR)) {
            return;
        }
    }
}

bool HostilePop3Server::ReadLine(int connection, std::string& pending, std::string& line)
{
    for (;;) {
        if (const std::size_t end = pending.find("\r\n"); end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 2);
            return true;
        }
        if (stopping) {
            return false;
        }
        pollfd watch{connection, POLLIN, 0};
        if (::poll(&watch, 1, kPollMs) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t received = ::recv(connection, chunk, sizeof chunk, 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            return false;
        }
        pending.append(chunk, static_cast<std::size_t>(received));
    }
}

void HostilePop3Server::Serve(int connection, bool hostile)
{
    if (hostile && fault == Fault::NeverGreets) {
        Stall(connection);
        return;
    }
    if (!SendAll(connection, "+OK hostile ready\r\n")) {
        return;
    }
    if (hostile && fault == Fault::StallsAfterGreeting) {
        Stall(connection);
        return;
    }
    std::string pending;
    std::string line;
    bool first = true;
    while (ReadLine(connection, pending, line)) {
        if (hostile && first && fault == Fault::Resets) {
            const linger abort{1, 0};  // close with RST instead of FIN
            ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return;
        }
        if (hostile && first && fault == Fault::Garbage) {
            std::string garbage(1 << 20, '\0');
            unsigned state = 12345;
            for (char& c : garbage) {
                state = state * 1103515245u + 12345u;
                c = static_cast<char>(state >> 16);
                if (c == '\r') {
                    c = '\n';  // never a line end: the answer stays unfinished until the close
                }
            }
            SendAll(connection, garbage);
            return;
        }
        first = false;
        const std::string word = line.substr(0, 4);
        if (word == "QUIT") {
            SendAll(connection, "+OK bye\r\n");
            return;
        }
        if (line == "RETR 2" && !hostile) {
            std::string mail = "+OK large\r\n";
            const std::string body(1022, 'm');
            for (std::size_t i = 0; i < kLargeMailLines; ++i) {
                mail += body + "\r\n";
            }
            if (SendAll(connection, mail + ".\r\n")) {
                ++largeMailsSent;
            }
            continue;
        }
        if (word != "RETR" || !hostile) {
            SendAll(connection, word == "RETR" ? "+OK 5 octets\r\nhi\r\n.\r\n" : "+OK\r\n");
            continue;
        }
        switch (fault) {
        case Fault::StallsInRetr:
            SendAll(connection, "+OK 1000 octets\r\nFrom: a@example.org\r\n\r\nthe start of a bo");
            Stall(connection);
            return;
        case Fault::LongLine: {
            if (!SendAll(connection, "+OK 67108864 octets\r\n")) {
                return;
            }
            const std::string block(1 << 20, 'A');
            for (std::size_t sent = 0; sent < kLongLineSize && SendAll(connection, block); sent += block.size()) {
            }
            return;
        }
        case Fault::BareLfAndNul:
            SendAll(connection, kOddMail);
            continue;
        case Fault::ClosesMidLine:
            SendAll(connection, "+OK 1000 octets\r\nFrom: a@example.org\r\nSubj");
            return;
        default:
            SendAll(connection, "+OK\r\n");
            continue;
        }
    }
}
