#include "support/ScriptedPop3Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <utility>

// Plain POSIX, so that the peer shares no code with the platform layer it is tested against.
ScriptedPop3Server::ScriptedPop3Server(Script script, int readTimeoutMs)
    : script(std::move(script)), readTimeoutMs(readTimeoutMs), listener(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(listener, 64) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
        acceptThread = std::thread([this] { AcceptLoop(); });
    }
}

ScriptedPop3Server::~ScriptedPop3Server() {
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

bool ScriptedPop3Server::WaitUntilIdle() {
    std::unique_lock guard(lock);
    return sessionEnded.wait_for(guard, std::chrono::seconds(10), [this] { return liveSessions == 0; });
}

void ScriptedPop3Server::Stall(Pop3TestClient& peer) {
    while (!stopping && !peer.PeerClosed()) {
        peer.ReadUntilClose();
    }
}

void ScriptedPop3Server::AcceptLoop() {
    while (!stopping) {
        pollfd watch{listener, POLLIN, 0};
        if (::poll(&watch, 1, 50) <= 0) {
            continue;  // look at the stop flag again
        }
        const int connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0) {
            continue;
        }
        {
            // Together, so that a session counted as accepted is never missed by WaitUntilIdle.
            std::scoped_lock guard(lock);
            ++accepted;
            ++liveSessions;
        }
        std::thread([this, connection] {
            {
                Pop3TestClient peer = Pop3TestClient::Adopt(connection, readTimeoutMs);
                script(peer, *this);
            }
            std::scoped_lock guard(lock);
            --liveSessions;
            sessionEnded.notify_all();  // under the lock: the destructor cannot free it before this returns
        }).detach();
    }
}

std::vector<std::string> ScriptedPop3Server::Received() {
    std::scoped_lock guard(lock);
    return received;
}

void ScriptedPop3Server::Record(const std::string& line) {
    std::scoped_lock guard(lock);
    received.push_back(line);
}

ScriptedPop3Server::Script Pop3Responder(std::map<std::string, std::string> answers, std::string greeting) {
    return [answers = std::move(answers), greeting = std::move(greeting)](Pop3TestClient& peer,
                                                                          ScriptedPop3Server& recorder) {
        if (!peer.SendRaw(greeting)) {
            return;
        }
        while (auto line = peer.ReadLine()) {
            const std::string command = line->substr(0, line->size() - 2);
            recorder.Record(command);
            std::string word = command.substr(0, command.find(' '));
            for (char& c : word) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            if (word == "QUIT") {
                peer.SendRaw("+OK bye\r\n");
                return;
            }
            const auto found = answers.find(command);
            if (found != answers.end()) {
                peer.SendRaw(found->second);
            } else if (word == "USER" || word == "PASS") {
                peer.SendRaw("+OK\r\n");
            } else {
                peer.SendRaw("-ERR unknown\r\n");
            }
        }
    };
}
