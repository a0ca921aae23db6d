#include "integration/HostilePop3Server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "integration/Pop3TestClient.h"
#include "support/PeerListener.h"

namespace {
// How long the accept loop and the sessions wait before they look at the stop flag again.
constexpr int kPollMs = 50;
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
            {
                Pop3TestClient peer = Pop3TestClient::Adopt(connection, kPollMs);
                Serve(peer, connection, hostile);
            }
            std::scoped_lock guard(lock);
            --liveSessions;
            sessionEnded.notify_all();  // under the lock: the destructor cannot free it before this returns
        }).detach();
    }
}

void HostilePop3Server::Stall(Pop3TestClient& peer)
{
    while (!stopping && !peer.PeerClosed()) {
        peer.ReadUntilClose();
    }
}

std::optional<std::string> HostilePop3Server::ReadCommand(Pop3TestClient& peer)
{
    while (!stopping && !peer.PeerClosed()) {
        if (std::optional<std::string> line = peer.ReadLine()) {
            line->resize(line->size() - 2);
            return line;
        }
    }
    return std::nullopt;
}

void HostilePop3Server::Serve(Pop3TestClient& peer, int connection, bool hostile)
{
    if (hostile && fault == Fault::NeverGreets) {
        Stall(peer);
        return;
    }
    if (!peer.SendRaw("+OK hostile ready\r\n")) {
        return;
    }
    if (hostile && fault == Fault::StallsAfterGreeting) {
        Stall(peer);
        return;
    }
    bool first = true;
    while (const std::optional<std::string> command = ReadCommand(peer)) {
        const std::string& line = *command;
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
            peer.SendRaw(garbage);
            return;
        }
        first = false;
        const std::string word = line.substr(0, 4);
        if (word == "QUIT") {
            peer.SendRaw("+OK bye\r\n");
            return;
        }
        if (line == "RETR 2" && !hostile) {
            std::string mail = "+OK large\r\n";
            const std::string body(1022, 'm');
            for (std::size_t i = 0; i < kLargeMailLines; ++i) {
                mail += body + "\r\n";
            }
            if (peer.SendRaw(mail + ".\r\n")) {
                ++largeMailsSent;
            }
            continue;
        }
        if (word != "RETR" || !hostile) {
            peer.SendRaw(word == "RETR" ? "+OK 5 octets\r\nhi\r\n.\r\n" : "+OK\r\n");
            continue;
        }
        switch (fault) {
        case Fault::StallsInRetr:
            peer.SendRaw("+OK 1000 octets\r\nFrom: a@example.org\r\n\r\nthe start of a bo");
            Stall(peer);
            return;
        case Fault::LongLine: {
            if (!peer.SendRaw("+OK 67108864 octets\r\n")) {
                return;
            }
            const std::string block(1 << 20, 'A');
            for (std::size_t sent = 0; sent < kLongLineSize && peer.SendRaw(block); sent += block.size()) {
            }
            return;
        }
        case Fault::BareLfAndNul:
            peer.SendRaw(kOddMail);
            continue;
        case Fault::ClosesMidLine:
            peer.SendRaw("+OK 1000 octets\r\nFrom: a@example.org\r\nSubj");
            return;
        default:
            peer.SendRaw("+OK\r\n");
            continue;
        }
    }
}
