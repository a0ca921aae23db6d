#include "tools/vuvedctl/AutomationClient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

AutomationClient::~AutomationClient() { Close(); }

bool AutomationClient::Connect(const std::string& socketPath) {
    Close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        Close();
        return false;
    }
    return true;
}

void AutomationClient::Close() {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
    pending.clear();
}

std::optional<nlohmann::json> AutomationClient::Call(const std::string& member, const nlohmann::json& params,
                                                     std::string& error) {
    if (fd < 0) {
        error = "not connected";
        return std::nullopt;
    }
    const int id = nextId++;
    const std::string line =
        nlohmann::json{{"jsonrpc", "2.0"}, {"id", id}, {"method", member}, {"params", params}}.dump() + "\n";
    for (std::size_t sent = 0; sent < line.size();) {
        const ssize_t n = send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            error = std::string("the server closed the connection: ") + std::strerror(errno);
            return std::nullopt;
        }
        sent += static_cast<std::size_t>(n);
    }
    std::size_t end;
    while ((end = pending.find('\n')) == std::string::npos) {
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            error = "the server closed the connection without an answer";
            return std::nullopt;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string answerLine = pending.substr(0, end);
    pending.erase(0, end + 1);
    nlohmann::json answer = nlohmann::json::parse(answerLine, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        error = "the server's answer is not JSON: " + answerLine;
        return std::nullopt;
    }
    if (answer.contains("error")) {
        error = answer["error"].value("message", std::string("error"));
        return std::nullopt;
    }
    if (!answer.contains("result")) {
        error = "the server's answer has no result";
        return std::nullopt;
    }
    return answer["result"];
}
