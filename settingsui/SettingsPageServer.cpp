#include "settingsui/SettingsPageServer.h"

#include <sys/random.h>

#include <cstdio>

#include <httplib.h>

#include "settingsui/SettingsApi.h"
#include "settingsui/SettingsPageResources.h"

using nlohmann::json;

namespace {

constexpr std::size_t kTokenBytes = 32;
constexpr std::size_t kLogLines = 60;
constexpr std::size_t kLargestRequest = 1024 * 1024;

std::string RandomToken() {
    unsigned char bytes[kTokenBytes];
    std::size_t filled = 0;
    while (filled < sizeof(bytes)) {
        const ssize_t n = getrandom(bytes + filled, sizeof(bytes) - filled, 0);
        if (n > 0) {
            filled += static_cast<std::size_t>(n);
        }
    }
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (unsigned char byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 0xF];
    }
    return token;
}

// Compares in time that does not depend on where the texts differ.
bool SameToken(const std::string& given, const std::string& expected) {
    if (given.size() != expected.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (std::size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i] ^ expected[i]);
    }
    return difference == 0;
}

std::string CookieValue(const std::string& header, const std::string& name) {
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find(';', start);
        if (end == std::string::npos) {
            end = header.size();
        }
        std::string item = header.substr(start, end - start);
        item.erase(0, item.find_first_not_of(' '));
        if (item.compare(0, name.size() + 1, name + "=") == 0) {
            return item.substr(name.size() + 1);
        }
        start = end + 1;
    }
    return {};
}

// "en" when the browser prefers English to Japanese, else "ja".
std::string PreferredLanguage(const std::string& acceptLanguage) {
    double japanese = 0;
    double english = 0;
    std::size_t start = 0;
    while (start < acceptLanguage.size()) {
        std::size_t end = acceptLanguage.find(',', start);
        if (end == std::string::npos) {
            end = acceptLanguage.size();
        }
        std::string item = acceptLanguage.substr(start, end - start);
        start = end + 1;
        item.erase(0, item.find_first_not_of(' '));
        double quality = 1;
        if (const std::size_t q = item.find(";q="); q != std::string::npos) {
            quality = std::atof(item.c_str() + q + 3);
        }
        const std::string language = item.substr(0, 2);
        if (language == "ja" && quality > japanese) {
            japanese = quality;
        } else if (language == "en" && quality > english) {
            english = quality;
        }
    }
    return english > japanese ? "en" : "ja";
}

void Answer(httplib::Response& response, int status, const json& body) {
    response.status = status;
    response.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

void Refused(httplib::Response& response, int status, const char* why) {
    response.status = status;
    response.set_content(std::string(why) + "\n", "text/plain; charset=utf-8");
}

std::string Replace(std::string text, const std::string& placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at)) {
        text.replace(at, placeholder.size(), value);
        at += value.size();
    }
    return text;
}

}  // namespace

SettingsPageServer::SettingsPageServer(ServerControl control)
    : control(std::move(control)),
      http(std::make_unique<httplib::Server>()),
      accessToken(RandomToken()),
      sessionToken(RandomToken()) {}

SettingsPageServer::~SettingsPageServer() = default;

bool SettingsPageServer::Bind(int wantedPort) {
    if (wantedPort == 0) {
        port = http->bind_to_any_port("127.0.0.1");
    } else {
        port = http->bind_to_port("127.0.0.1", wantedPort) ? wantedPort : -1;
    }
    if (port <= 0) {
        return false;
    }
    ownHost = "127.0.0.1:" + std::to_string(port);
    ownOrigin = "http://" + ownHost;
    // Cookies are kept per host, not per port: each page of its own port has a cookie of its own.
    cookieName = "vuved_page_" + std::to_string(port);
    Route();
    return true;
}

std::string SettingsPageServer::Url() const { return ownOrigin + "/?token=" + accessToken; }

void SettingsPageServer::Run() { http->listen_after_bind(); }

bool SettingsPageServer::IsServing() const { return http->is_running(); }

void SettingsPageServer::Stop() { http->stop(); }

bool SettingsPageServer::Refuse(const httplib::Request& request, httplib::Response& response) const {
    // A name other than our own address is a page of another site that a DNS answer turned to 127.0.0.1.
    if (request.get_header_value("Host") != ownHost) {
        Refused(response, 403, "Refused: this page answers only at its own address.");
        return true;
    }
    if (request.has_header("Origin") && request.get_header_value("Origin") != ownOrigin) {
        Refused(response, 403, "Refused: a request from another site.");
        return true;
    }
    if (request.method == "GET" && request.path == "/" && request.has_param("token")) {
        if (!SameToken(request.get_param_value("token"), accessToken)) {
            Refused(response, 403, "Refused: the access token is wrong. Run vuvedctl ui again.");
            return true;
        }
        // The token leaves the address bar and the history; the browser keeps it for this page alone.
        response.set_header("Set-Cookie", cookieName + "=" + accessToken + "; Path=/; HttpOnly; SameSite=Strict");
        response.set_redirect("/", 303);
        return true;
    }
    if (!SameToken(CookieValue(request.get_header_value("Cookie"), cookieName), accessToken)) {
        Refused(response, 403, "Refused: open the page at the address that vuvedctl ui printed.");
        return true;
    }
    if (request.method != "GET" &&
        (request.method != "POST" || !SameToken(request.get_header_value("X-Session-Token"), sessionToken) ||
         request.get_header_value("Content-Type").rfind("application/json", 0) != 0)) {
        Refused(response, 403, "Refused: a change without the page's session token.");
        return true;
    }
    return false;
}

void SettingsPageServer::ServePage(const httplib::Request& request, httplib::Response& response) const {
    std::string page = Replace(std::string(kSettingsPageHtml), "{{LANG}}",
                               PreferredLanguage(request.get_header_value("Accept-Language")));
    response.set_content(Replace(std::move(page), "{{SESSION_TOKEN}}", sessionToken), "text/html; charset=utf-8");
}

void SettingsPageServer::ServeChange(const httplib::Request& request, httplib::Response& response,
                                     const std::function<ApiAnswer(const json&)>& change) {
    const json body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        Answer(response, 400, {{"error", "the request is not a JSON object"}});
        return;
    }
    win32::LockGuard changeGuard(changeLock);
    const ApiAnswer answer = change(body);
    Answer(response, answer.status, answer.body);
}

void SettingsPageServer::Route() {
    http->set_payload_max_length(kLargestRequest);
    http->set_keep_alive_timeout(1);
    http->set_default_headers({
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
         "form-action 'none'; frame-ancestors 'none'; base-uri 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Cache-Control", "no-store"},
    });
    http->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        return Refuse(request, response) ? httplib::Server::HandlerResponse::Handled
                                         : httplib::Server::HandlerResponse::Unhandled;
    });
    http->set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        Answer(response, 400, {{"error", "the request does not have the expected fields"}});
    });

    http->Get("/", [this](const httplib::Request& request, httplib::Response& response) {
        ServePage(request, response);
    });
    http->Get("/page.css", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(kSettingsPageCss), "text/css; charset=utf-8");
    });
    http->Get("/page.js", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(kSettingsPageJs), "text/javascript; charset=utf-8");
    });
    http->Get("/api/state", [this](const httplib::Request&, httplib::Response& response) {
        Answer(response, 200, control.state());
    });
    http->Get("/api/settings", [](const httplib::Request&, httplib::Response& response) {
        Answer(response, 200, SettingsSnapshot());
    });
    http->Get("/api/rules", [](const httplib::Request&, httplib::Response& response) {
        Answer(response, 200, RulesSnapshot());
    });
    http->Get("/api/log", [this](const httplib::Request&, httplib::Response& response) {
        Answer(response, 200, LogTail(control.logPath, kLogLines));
    });
    http->Post("/api/settings", [this](const httplib::Request& request, httplib::Response& response) {
        ServeChange(request, response, StoreSettings);
    });
    http->Post("/api/rules", [this](const httplib::Request& request, httplib::Response& response) {
        ServeChange(request, response, StoreRules);
    });
    http->Post("/api/rules/parse", [this](const httplib::Request& request, httplib::Response& response) {
        ServeChange(request, response, ParseRuleText);
    });
    http->Post("/api/rules/format", [this](const httplib::Request& request, httplib::Response& response) {
        ServeChange(request, response, FormatRules);
    });
    http->Post("/api/server", [this](const httplib::Request& request, httplib::Response& response) {
        ServeChange(request, response, [this](const json& body) {
            const std::string action = body.at("action").get<std::string>();
            if (action != "start" && action != "stop" && action != "collect") {
                return ApiAnswer{400, {{"error", "unknown action " + action}}};
            }
            return ApiAnswer{200, control.act(action)};
        });
    });
    http->Post("/api/close", [this](const httplib::Request&, httplib::Response& response) {
        Answer(response, 200, {{"closing", true}});
        control.closeRequested();
    });
}
