// Publishes the process's class object to the user's other processes, as the COM runtime does for a local
// server: a Unix domain socket in the private runtime folder, JSON-RPC 2.0 with one request per line. The
// transport owns a listening thread and one thread per connection; calls run on those threads.
//
// Threads: Register/Suspend/Resume/Revoke from the owner's thread (Suspend also from inside a callback); the
// callbacks run on the transport's threads, several at once. No lock of the transport is held during a callback.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/Win32Types.h"

namespace win32 {

class ClassObjectServer {
public:
    // One call. Returns the result, or nothing when the method does not exist; throws std::invalid_argument
    // when the parameters do not fit the method.
    using Invoke =
        std::function<std::optional<nlohmann::json>(const std::string& method, const nlohmann::json& params)>;

    struct Callbacks {
        // A client has connected: it holds one reference to the object for as long as the connection is open.
        std::function<void()> connectionOpened;
        std::function<void()> connectionClosed;
        Invoke invoke;
    };

    explicit ClassObjectServer(Callbacks callbacks);
    // Revokes the registration.
    ~ClassObjectServer();
    ClassObjectServer(const ClassObjectServer&) = delete;
    ClassObjectServer& operator=(const ClassObjectServer&) = delete;

    // Starts listening at socketPath. A socket there that no process answers on is stale and replaced; one that a
    // live server answers on is left alone (kPublishedByAnotherProcess). S_OK, or an HRESULT of the failing step.
    HRESULT Register(const std::string& socketPath);
    // The class object another process publishes at socketPath, as a class activation reaches it: connects and,
    // with a method, makes that one call. False when no process answers there or the call gets no answer.
    static bool CallPublishedObject(const std::string& socketPath, const std::string& method,
                                    const nlohmann::json& params);
    // No new connections are accepted while suspended (they are closed at once); open ones go on.
    HRESULT Suspend();
    HRESULT Resume();
    // Stops listening, removes the socket, closes every connection and joins all threads of the transport.
    void Revoke();

private:
    struct State;
    std::unique_ptr<State> state;
};

// The answer line (with its line end) to one request line of a connection, or nothing for a notification or a
// blank line. Never throws: whatever the line holds, a malformed request gets a JSON-RPC error answer.
std::optional<std::string> AnswerRequestLine(const std::string& line, const ClassObjectServer::Invoke& invoke);

// Register's answer when a live server already answers at the socket path (ERROR_ALREADY_EXISTS).
constexpr HRESULT kPublishedByAnotherProcess = static_cast<HRESULT>(0x800700B7);

// Largest request line a connection accepts; a longer line is answered with an error and skipped.
constexpr std::size_t kMaxRequestLine = 64 * 1024;

}  // namespace win32
