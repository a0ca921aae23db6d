// The automation transport on its own: raw bytes over the Unix socket, the exact JSON-RPC answers, the
// references the connections hold, suspension and revocation.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "app/AppTestSupport.h"
#include "platform/ComServer.h"
#include "platform/ComServerModule.h"

using nlohmann::json;

namespace {

// A connected raw client; every read is bounded.
class RawClient {
public:
    explicit RawClient(const std::string& path) {
        fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
        connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~RawClient() { close(fd); }

    void Send(const std::string& bytes) { ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }

    // The next answer line as JSON; null when the connection ended or nothing came in time.
    json ReadAnswer() {
        std::size_t end;
        while ((end = pending.find('\n')) == std::string::npos) {
            pollfd wait = {fd, POLLIN, 0};
            char buffer[4096];
            if (poll(&wait, 1, 10000) <= 0) {
                return nullptr;
            }
            const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
            if (n <= 0) {
                return nullptr;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        return json::parse(line);
    }

    // True when the server closes the connection within the time.
    bool SeesEnd() {
        pollfd wait = {fd, POLLIN, 0};
        char byte;
        return poll(&wait, 1, 10000) > 0 && recv(fd, &byte, 1, 0) == 0;
    }

    bool connected = false;

private:
    int fd = -1;
    std::string pending;
};

class ClassObjectTransport : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<win32::ClassObjectServer>(win32::ClassObjectServer::Callbacks{
            .connectionOpened = [this] { ++opened; },
            .connectionClosed = [this] { ++closed; },
            .invoke = [](const std::string& method, const json& params) -> std::optional<json> {
                if (method == "Echo") {
                    return json{{"hr", 0}, {"params", params}};
                }
                if (method == "Picky") {
                    throw std::invalid_argument("Picky takes nothing");
                }
                return std::nullopt;
            },
        });
        ASSERT_EQ(server->Register(win32::AutomationSocketPath()), win32::S_OK);
    }

    ScopedRuntimeFolder runtime;
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
    std::unique_ptr<win32::ClassObjectServer> server;
};

json Error(const json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

TEST_F(ClassObjectTransport, AnswersEachKindOfRequestExactly) {
    RawClient client(win32::AutomationSocketPath());
    ASSERT_TRUE(client.connected);
    struct Case {
        const char* name;
        std::string request;
        json answer;
    };
    const Case cases[] = {
        {"call", R"({"jsonrpc":"2.0","id":1,"method":"Echo","params":[7]})" "\n",
         {{"jsonrpc", "2.0"}, {"id", 1}, {"result", {{"hr", 0}, {"params", {7}}}}}},
        {"text id, no params", R"({"jsonrpc":"2.0","id":"a","method":"Echo"})" "\r\n",
         {{"jsonrpc", "2.0"}, {"id", "a"}, {"result", {{"hr", 0}, {"params", json::object()}}}}},
        {"not JSON", "hello\n", Error(nullptr, -32700, "parse error: the line is not JSON")},
        {"no method", R"({"jsonrpc":"2.0","id":5})" "\n",
         Error(5, -32600, "invalid request: expected {\"jsonrpc\":\"2.0\",\"method\":...}")},
        {"wrong version", R"({"jsonrpc":"1.0","id":6,"method":"Echo"})" "\n",
         Error(6, -32600, "invalid request: expected {\"jsonrpc\":\"2.0\",\"method\":...}")},
        {"unknown method", R"({"jsonrpc":"2.0","id":8,"method":"Nope"})" "\n", Error(8, -32601, "method not found: Nope")},
        {"bad params", R"({"jsonrpc":"2.0","id":9,"method":"Picky"})" "\n",
         Error(9, -32602, "invalid params: Picky takes nothing")},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        client.Send(testCase.request);
        EXPECT_EQ(client.ReadAnswer(), testCase.answer);
    }
}

TEST_F(ClassObjectTransport, NotificationsGetNoAnswerAndPipelinedRequestsKeepTheirOrder) {
    RawClient client(win32::AutomationSocketPath());
    client.Send(R"({"jsonrpc":"2.0","method":"Echo"})" "\n\n"
                R"({"jsonrpc":"2.0","id":1,"method":"Echo"})" "\n"
                R"({"jsonrpc":"2.0","id":2,"method":"Echo"})" "\n");
    EXPECT_EQ(client.ReadAnswer()["id"], 1);
    EXPECT_EQ(client.ReadAnswer()["id"], 2);
}

TEST_F(ClassObjectTransport, RequestArrivingByteByByteIsOneRequest) {
    RawClient client(win32::AutomationSocketPath());
    for (const char c : std::string(R"({"jsonrpc":"2.0","id":3,"method":"Echo"})" "\n")) {
        client.Send(std::string(1, c));
    }
    EXPECT_EQ(client.ReadAnswer()["id"], 3);
}

TEST_F(ClassObjectTransport, OverlongLineIsRefusedOnceAndTheConnectionGoesOn) {
    RawClient client(win32::AutomationSocketPath());
    client.Send(std::string(win32::kMaxRequestLine + 10000, 'x') + "\n");
    EXPECT_EQ(client.ReadAnswer(), Error(nullptr, -32600, "request line too long"));
    client.Send(R"({"jsonrpc":"2.0","id":4,"method":"Echo"})" "\n");
    EXPECT_EQ(client.ReadAnswer()["id"], 4);
}

TEST_F(ClassObjectTransport, SuspendedServerClosesNewConnectionsWithoutAReference) {
    ASSERT_EQ(server->Suspend(), win32::S_OK);
    RawClient refused(win32::AutomationSocketPath());
    EXPECT_TRUE(refused.SeesEnd());
    EXPECT_EQ(opened, 0);
    ASSERT_EQ(server->Resume(), win32::S_OK);
    RawClient accepted(win32::AutomationSocketPath());
    accepted.Send(R"({"jsonrpc":"2.0","id":1,"method":"Echo"})" "\n");
    EXPECT_FALSE(accepted.ReadAnswer().is_null());
}

TEST_F(ClassObjectTransport, RevokeEndsOpenConnectionsAndRemovesTheSocket) {
    RawClient client(win32::AutomationSocketPath());
    client.Send(R"({"jsonrpc":"2.0","id":1,"method":"Echo"})" "\n");
    ASSERT_FALSE(client.ReadAnswer().is_null());
    server->Revoke();
    EXPECT_TRUE(client.SeesEnd());
    EXPECT_EQ(closed, 1);
    EXPECT_NE(access(win32::AutomationSocketPath().c_str(), F_OK), 0);
    EXPECT_FALSE(RawClient(win32::AutomationSocketPath()).connected);
}

}  // namespace
