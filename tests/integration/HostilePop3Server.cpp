#include "integration/HostilePop3Server.h"

#include "integration/Pop3TestClient.h"

namespace {
// How long a session waits for its peer before it looks at the stop flag again.
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

HostilePop3Server::HostilePop3Server(Fault fault)
    : fault(fault), server([this](Pop3TestClient& peer, ScriptedPop3Server&) {
          Serve(peer, sessions++ == 1 && this->fault != Fault::None);
      }, kPollMs)
{
}

std::optional<std::string> HostilePop3Server::ReadCommand(Pop3TestClient& peer)
{
    while (!server.Stopping() && !peer.PeerClosed()) {
        if (std::optional<std::string> line = peer.ReadLine()) {
            line->resize(line->size() - 2);
            return line;
        }
    }
    return std::nullopt;
}

void HostilePop3Server::Serve(Pop3TestClient& peer, bool hostile)
{
    if (hostile && fault == Fault::NeverGreets) {
        server.Stall(peer);
        return;
    }
    if (!peer.SendRaw("+OK hostile ready\r\n")) {
        return;
    }
    if (hostile && fault == Fault::StallsAfterGreeting) {
        server.Stall(peer);
        return;
    }
    bool first = true;
    while (const std::optional<std::string> command = ReadCommand(peer)) {
        const std::string& line = *command;
        if (hostile && first && fault == Fault::Resets) {
            peer.Reset();
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
            server.Stall(peer);
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
