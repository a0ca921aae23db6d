// The settings page: an HTTP server on 127.0.0.1 that serves the embedded page and its calls to one user's browser.
// Every request must carry the access token (in the address once, then in a cookie), name the page's own address
// as Host, come from no other Origin, and every change is a POST with the session token. Run blocks on the calling
// thread; cpp-httplib's worker threads run the handlers; Stop may be called from any thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/ThreadSafety.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib
struct ApiAnswer;

// What the page asks of the mail server's process, answered by the program that runs the page.
struct ServerControl {
    // {reachable, running, translating, haveTranslateMail, title, version}
    std::function<nlohmann::json()> state;
    // "start", "stop" or "collect": {ok, message}
    std::function<nlohmann::json(const std::string& action)> act;
    // The page's 「閉じる」 was pressed (after its answer is on its way).
    std::function<void()> closeRequested;
    std::string logPath;
};

class SettingsPageServer {
public:
    explicit SettingsPageServer(ServerControl control);
    ~SettingsPageServer();
    SettingsPageServer(const SettingsPageServer&) = delete;
    SettingsPageServer& operator=(const SettingsPageServer&) = delete;

    // Listens on 127.0.0.1 at port, or at a free port for 0; false when that cannot be done.
    bool Bind(int port);
    // The page's address with its access token: http://127.0.0.1:PORT/?token=...
    std::string Url() const;
    // Serves until Stop.
    void Run();
    // Whether Run has begun serving (a Stop before that would be lost).
    bool IsServing() const;
    void Stop();

private:
    void Route();
    // Refuses what does not come from the page in this user's browser; true when the request was answered.
    bool Refuse(const httplib::Request& request, httplib::Response& response) const;
    void ServePage(const httplib::Request& request, httplib::Response& response) const;
    void ServeChange(const httplib::Request& request, httplib::Response& response,
                     const std::function<ApiAnswer(const nlohmann::json&)>& change);

    ServerControl control;
    std::unique_ptr<httplib::Server> http;
    int port = 0;
    const std::string accessToken;
    const std::string sessionToken;
    std::string cookieName;
    std::string ownHost;    // "127.0.0.1:PORT"
    std::string ownOrigin;  // "http://127.0.0.1:PORT"
    win32::Mutex changeLock;  // one change of the settings store at a time, checked and written whole
};
