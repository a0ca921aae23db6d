// The whole server in a process of its own, for the end-to-end tests whose clients are separate programs:
//   translation_host MAIL_SERVER_PORT [NAME=VALUE ...]
// points the settings (in a registry of its own) at the mail server, writes each NAME=VALUE into the engine
// preferences (TimeoutSeconds as a number, the rest as text) or, for the selection values ("Modern Mail",
// "AllMail", "AutoRecognize", "English Rate", "Mail Limit Size"), as a number into the "Mailer Rule" key, starts
// the server on a free port of 127.0.0.1 and prints "PORT <n>". Commands on stdin: "STATE" prints "STATE <translating> <translated waiting> <queued>",
// "COLLECT" collects every finished connection and prints "COLLECTED <connections> <agents>"; end of input stops.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "TranslationSettings.h"
#include "integration/InProcessRelay.h"
#include "integration/RelaySettings.h"
#include "translate/Pop3TranslateThread.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: translation_host MAIL_SERVER_PORT [NAME=VALUE ...]\n");
        return 2;
    }
    ScopedRegistry registry;
    WriteProxyServerSettings("127.0.0.1", static_cast<win32::DWORD>(std::atoi(argv[1])), 0);
    for (int i = 2; i < argc; ++i) {
        const std::string setting = argv[i];
        const std::size_t equals = setting.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "translation_host: not NAME=VALUE: %s\n", argv[i]);
            return 2;
        }
        const std::string name = setting.substr(0, equals);
        const std::string value = setting.substr(equals + 1);
        if (name == "Modern Mail" || name == "AllMail" || name == "AutoRecognize" || name == "English Rate" ||
            name == "Mail Limit Size") {
            WriteRegistryDword(kMailerRuleKey, name.c_str(), static_cast<win32::DWORD>(std::stoul(value)));
        } else if (name == "TimeoutSeconds") {
            WriteRegistryDword(kEnginePreferencesKey, name.c_str(), static_cast<win32::DWORD>(std::stoul(value)));
        } else {
            WriteRegistryString(kEnginePreferencesKey, name.c_str(), value);
        }
    }
    InProcessRelay relay(true);  // with the installed translation engine
    if (relay.Port() == 0) {
        std::fprintf(stderr, "translation_host: the server does not listen\n");
        return 1;
    }
    std::cout << "PORT " << relay.Port() << std::endl;
    Pop3TranslateThread* translator = relay.Server()->TranslateThread();
    std::string command;
    while (std::getline(std::cin, command)) {
        if (command == "STATE") {
            std::cout << "STATE " << translator->IsTranslating() << " " << translator->HaveTranslateMail() << " "
                      << translator->PendingMailCount() << std::endl;
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
