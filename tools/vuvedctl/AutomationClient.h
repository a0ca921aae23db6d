// A client connection to the automation object of a running VUVed3UzeroVadave process: one JSON-RPC request
// line out, one answer line back. Holding the connection holds a reference on the server process.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

class AutomationClient {
public:
    AutomationClient() = default;
    ~AutomationClient();
    AutomationClient(const AutomationClient&) = delete;
    AutomationClient& operator=(const AutomationClient&) = delete;

    // False when nothing serves the socket (no server process).
    bool Connect(const std::string& socketPath);
    void Close();

    // The call's result object; nothing with error filled when the call failed (transport or JSON-RPC error).
    std::optional<nlohmann::json> Call(const std::string& member, const nlohmann::json& params, std::string& error);

private:
    int fd = -1;
    int nextId = 1;
    std::string pending;
};
