// The relay server in a process of its own, for clients that are separate programs (see relay_host.py):
//   relay_host [--translation-engine] NAME=VALUE ...   (settings as vuvedctl settings checks them)
#include <cstdio>
#include <iostream>
#include <string>

#include "integration/InProcessRelay.h"
#include "integration/RelaySettings.h"
#include "settings/SettingCatalog.h"

int main(int argc, char** argv) {
    ScopedRegistry registry;
    WriteProxyServerSettings("127.0.0.1", 0, 0);
    bool translationEngine = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::size_t equals = argument.find('=');
        const SettingDefinition* setting = FindSetting(argument.substr(0, equals));
        const std::string value = argument.substr(equals + 1);
        if (argument == "--translation-engine") {
            translationEngine = true;
        } else if (equals == std::string::npos || setting == nullptr || CheckSettingValue(*setting, value) ||
                   !WriteSettingText(*setting, value)) {
            std::fprintf(stderr,
                         "usage: relay_host [--translation-engine] NAME=VALUE ...; not a setting: %s\n",
                         argv[i]);
            return 2;
        }
    }
    InProcessRelay relay(translationEngine);
    if (relay.Port() == 0) {
        std::fprintf(stderr, "relay_host: the server does not listen\n");
        return 1;
    }
    std::cout << "PORT " << relay.Port() << std::endl;
    // "PENDING": the captured mails waiting; "COLLECT": collects the finished connections and tells what is
    // left; the end of input stops the server.
    for (std::string command; std::getline(std::cin, command);) {
        if (command == "PENDING") {
            std::cout << "PENDING " << relay.PendingMails() << std::endl;
        } else if (command == "COLLECT") {
            relay.CollectAll();
            std::cout << "COLLECTED " << relay.Server()->ConnectionCount() << " "
                      << relay.Server()->AgentCount() << std::endl;
        } else {
            std::cout << "ERROR unknown command: " << command << std::endl;
        }
    }
    relay.Stop();
    return 0;
}
