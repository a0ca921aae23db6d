// The automation transport on its own: raw bytes over the Unix socket, the exact JSON-RPC answers however the
// bytes arrive, until it is revoked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "app/AppTestSupport.h"
#include "integration/Pop3TestClient.h"
#include "platform/ComServer.h"
#include "platform/ComServerModule.h"
#include "settings/ScopedFolderVariable.h"

using nlohmann::json;

namespace {

json Error(const json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json NotARequest(const json& id) {
    return Error(id, -32600, "invalid request: expected {\"jsonrpc\":\"2.0\",\"method\":...}");
}

json Echoed(const json& id, const json& params) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", {{"hr", 0}, {"params", params}}}};
}

// Every request is sent whole, then byte by byte (short ones only), then all of them in one segment; each
// answer, byte for byte, must come before the next request is sent (a notification gets none).
TEST(ClassObjectTransport, AnswersEachKindOfRequestExactlyHoweverTheBytesArriveUntilRevoked) {
    const ScopedFolderVariable runtime("XDG_RUNTIME_DIR");
    std::atomic<int> closed{0};
    win32::ClassObjectServer server({
        .connectionOpened = {},
        .connectionClosed = [&closed] { ++closed; },
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
    ASSERT_EQ(server.Register(win32::AutomationSocketPath()), win32::S_OK);
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
        Pop3TestClient client =
            Pop3TestClient::Adopt(ConnectUnixSocket(win32::AutomationSocketPath()), 10000);
        std::string pipelined;
        std::string answers;
        for (const Case& testCase : cases) {
            SCOPED_TRACE(testCase.name);
            const std::string answer = testCase.answer.is_null() ? "" : testCase.answer.dump() + "\n";
            if (feed == "pipelined") {
                pipelined += testCase.request;
                answers += answer;
            } else if (feed == "whole" || testCase.request.size() < 100) {  // not the overlong one by octets
                const std::size_t step = feed == "whole" ? testCase.request.size() : 1;
                for (std::size_t at = 0; at < testCase.request.size(); at += step) {
                    ASSERT_TRUE(client.SendRaw(testCase.request.substr(at, step)));
                }
                EXPECT_EQ(client.ReadBytes(answer.size()), answer);
            }
        }
        if (feed == "pipelined") {
            ASSERT_TRUE(client.SendRaw(pipelined));
            EXPECT_EQ(client.ReadBytes(answers.size()), answers);
            // Revoke ends the open connection (the others have ended by then) and removes the socket.
            server.Revoke();
            EXPECT_TRUE(client.WaitForClose());
            EXPECT_EQ(closed, 3);
            EXPECT_NE(access(win32::AutomationSocketPath().c_str(), F_OK), 0);
        }
    }
}

}  // namespace
