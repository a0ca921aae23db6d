#include "integration/ScriptedPop3Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <utility>

#include "support/PeerListener.h"

ScriptedPop3Server::ScriptedPop3Server(Script script) : script(std::move(script))
{
    listener = ListenForPeers(port, 64);
    if (listener < 0) {
        return;
    }
    acceptThread = std::thread([this] { AcceptLoop(); });
}

ScriptedPop3Server::~ScriptedPop3Server()
{
    stopping = true;
    if (acceptThread.joinable()) {
        acceptThread.join();
    }
    if (listener >= 0) {
        ::close(listener);
    }
    std::vector<std::thread> running;
    {
        std::scoped_lock guard(lock);
        running.swap(sessions);
    }
    for (std::thread& session : running) {
        session.join();
    }
}

void ScriptedPop3Server::AcceptLoop()
{
    while (!stopping) {
        pollfd watch{listener, POLLIN, 0};
        if (::poll(&watch, 1, 50) <= 0) {
            continue;  // look at the stop flag again
        }
        const int connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0) {
            continue;
        }
        ++accepted;
        std::scoped_lock guard(lock);
        sessions.emplace_back([this, connection] {
            Pop3TestClient peer = Pop3TestClient::Adopt(connection);
            script(peer, *this);
        });
    }
}

std::vector<std::string> ScriptedPop3Server::Received()
{
    std::scoped_lock guard(lock);
    return received;
}

void ScriptedPop3Server::Record(const std::string& line)
{
    std::scoped_lock guard(lock);
    received.push_back(line);
}

ScriptedPop3Server::Script Pop3Responder(std::map<std::string, std::string> answers, std::string greeting)
{
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
