// The relay server in a process of its own, for the tests and benchmarks whose clients are separate programs:
//   relay_host [--translation-engine] MAIL_SERVER_PORT [MAIL_SERVER_ADDRESS [SECURITY [CA_FILE]]] [NAME=VALUE ...]
// points the settings (in a registry of its own) at the mail server, writes each NAME=VALUE setting (any value
// vuvedctl settings knows, checked as it checks them), starts the server on a free port of 127.0.0.1 and prints
// "PORT <n>". Without --translation-engine the engine is missing, so captured mails stay queued; with it they go
// through the translate thread as in the application. SECURITY and CA_FILE are the "MailServerSecurity" and
// "MailServerCAFile" values. Commands on stdin: "PENDING" prints the number of captured mails waiting; "COLLECT"
// collects every finished connection and prints "COLLECTED <connections> <agents>" (what is left); end of input
// stops the server.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "integration/InProcessRelay.h"
#include "integration/RelaySettings.h"
#include "settings/SettingCatalog.h"

int main(int argc, char** argv)
{
    std::vector<std::string> positional;
    std::vector<std::string> preferences;
    bool translationEngine = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--translation-engine") {
            translationEngine = true;
        } else {
            (argument.find('=') != std::string::npos ? preferences : positional).push_back(argument);
        }
    }
    if (positional.empty() || positional.size() > 4) {
        std::fprintf(stderr, "usage: relay_host [--translation-engine] MAIL_SERVER_PORT "
                             "[MAIL_SERVER_ADDRESS [SECURITY [CA_FILE]]] [NAME=VALUE ...]\n");
        return 2;
    }
    ScopedRegistry registry;
    WriteProxyServerSettings(positional.size() > 1 ? positional[1] : "127.0.0.1",
                             static_cast<win32::DWORD>(std::stoul(positional[0])), 0);
    if (positional.size() > 2) {
        WriteProxyServerDword("MailServerSecurity", static_cast<win32::DWORD>(std::stoul(positional[2])));
    }
    if (positional.size() > 3) {
        WriteProxyServerString("MailServerCAFile", positional[3]);
    }
    for (const std::string& preference : preferences) {
        const std::size_t equals = preference.find('=');
        const std::string value = preference.substr(equals + 1);
        const SettingDefinition* setting = FindSetting(preference.substr(0, equals));
        if (setting == nullptr || CheckSettingValue(*setting, value) || !WriteSettingText(*setting, value)) {
            std::fprintf(stderr, "relay_host: not a setting it can write: %s\n", preference.c_str());
            return 2;
        }
    }
    InProcessRelay relay(translationEngine);
    if (relay.Port() == 0) {
        std::fprintf(stderr, "relay_host: the server does not listen\n");
        return 1;
    }
    std::cout << "PORT " << relay.Port() << std::endl;
    std::string command;
    while (std::getline(std::cin, command)) {
        if (command == "PENDING") {
            std::cout << "PENDING " << relay.PendingMails() << std::endl;
        } else if (command == "COLLECT") {
            relay.CollectAll();
            std::cout << "COLLECTED " << relay.Server()->ConnectionCount() << " " << relay.Server()->AgentCount()
                      << std::endl;
        } else {
            std::cout << "ERROR unknown command: " << command << std::endl;
        }
    }
    relay.Stop();
    return 0;
}
