// The automation transport on its own: raw bytes over the Unix socket, the exact JSON-RPC answers however the
// bytes arrive, and revocation.
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
            .connectionOpened = {},
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

    ScopedXdgFolder runtime{"XDG_RUNTIME_DIR"};
    std::atomic<int> closed{0};
    std::unique_ptr<win32::ClassObjectServer> server;
};

json Error(const json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json NotARequest(const json& id) {
    return Error(id, -32600, "invalid request: expected {\"jsonrpc\":\"2.0\",\"method\":...}");
}

json Echoed(const json& id, const json& params) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", {{"hr", 0}, {"params", params}}}};
}

// Every request is sent whole, then byte by byte (short ones only), then all of them in one segment; a notification
// gets no answer, so in every feed each answer must belong to the next request that has an id.
TEST_F(ClassObjectTransport, AnswersEachKindOfRequestExactlyHoweverTheBytesArrive) {
    struct Case {
        const char* name;
        std::string request;
        json answer;  // null: none
    };
    const Case cases[] = {
        {"call", R"({"jsonrpc":"2.0","id":1,"method":"Echo","params":[7]})" "\n", Echoed(1, {7})},
        {"text id, no params", R"({"jsonrpc":"2.0","id":"a","method":"Echo"})" "\r\n", Echoed("a", json::object())},
        {"notification", R"({"jsonrpc":"2.0","method":"Echo"})" "\n", nullptr},
        {"empty line", "\n", nullptr},
        {"not JSON", "hello\n", Error(nullptr, -32700, "parse error: the line is not JSON")},
        {"no method", R"({"jsonrpc":"2.0","id":5})" "\n", NotARequest(5)},
        {"wrong version", R"({"jsonrpc":"1.0","id":6,"method":"Echo"})" "\n", NotARequest(6)},
        // Fields of the wrong type are refused, never read as what they are not.
        {"version a number", R"({"jsonrpc":2,"method":"Echo","id":1})" "\n", NotARequest(1)},
        {"version null", R"({"jsonrpc":null,"method":"Echo","id":2})" "\n", NotARequest(2)},
        {"id an object", R"({"jsonrpc":"2.0","id":{"a":1},"method":"Echo"})" "\n",
         Error(nullptr, -32600, "invalid request: the id must be a string, a number or null")},
        {"params a number", R"({"jsonrpc":"2.0","id":3,"method":"Echo","params":7})" "\n",
         Error(3, -32602, "invalid params: expected a list or an object")},
        {"null", "null\n", NotARequest(nullptr)},
        {"unknown method", R"({"jsonrpc":"2.0","id":8,"method":"Nope"})" "\n",
         Error(8, -32601, "method not found: Nope")},
        {"bad params", R"({"jsonrpc":"2.0","id":9,"method":"Picky"})" "\n",
         Error(9, -32602, "invalid params: Picky takes nothing")},
        // Refused once; the connection goes on.
        {"overlong line", std::string(win32::kMaxRequestLine + 10000, 'x') + "\n",
         Error(nullptr, -32600, "request line too long")},
        {"after the overlong line", R"({"jsonrpc":"2.0","id":4,"method":"Echo"})" "\n", Echoed(4, json::object())},
    };
    for (const std::string_view feed : {"whole", "byte by byte", "pipelined"}) {
        SCOPED_TRACE(feed);
        RawClient client(win32::AutomationSocketPath());
        ASSERT_TRUE(client.connected);
        std::string pipelined;
        for (const Case& testCase : cases) {
            SCOPED_TRACE(testCase.name);
            if (feed == "byte by byte" && testCase.request.size() > 100) {
                continue;  // one send per octet of the overlong line would take too long
            }
            if (feed == "pipelined") {
                pipelined += testCase.request;
                continue;
            }
            const std::size_t step = feed == "whole" ? testCase.request.size() : 1;
            for (std::size_t at = 0; at < testCase.request.size(); at += step) {
                client.Send(testCase.request.substr(at, step));
            }
            if (!testCase.answer.is_null()) {
                EXPECT_EQ(client.ReadAnswer(), testCase.answer);
            }
        }
        if (feed == "pipelined") {
            client.Send(pipelined);
            for (const Case& testCase : cases) {
                SCOPED_TRACE(testCase.name);
                if (!testCase.answer.is_null()) {
                    EXPECT_EQ(client.ReadAnswer(), testCase.answer);
                }
            }
        }
    }
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
