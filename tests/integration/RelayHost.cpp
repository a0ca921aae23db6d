// The relay server in a process of its own, for tests and benchmarks whose clients are separate programs:
//   relay_host [--translation-engine] [--relay-authentication] MAIL_SERVER_PORT [MAIL_SERVER_ADDRESS [SECURITY
//              [CA_FILE]]]
// points the settings (in a registry of its own) at the mail server, starts the server on a free port of
// 127.0.0.1 and prints "PORT <n>". Without --translation-engine the engine is missing, so captured mails stay
// queued where PENDING counts them; with it they go through the translate thread as in the application. Commands on stdin: "PENDING" prints the number of captured mails waiting,
// "COLLECT" collects every finished connection and prints "COLLECTED <connections> <agents>" (what is left);
// end of input stops the server. SECURITY and CA_FILE are the "MailServerSecurity" and "MailServerCAFile" values;
// --relay-authentication sets "Relay Authentication" to 1.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "integration/InProcessRelay.h"
#include "integration/RelaySettings.h"

int main(int argc, char** argv)
{
    int first = 1;
    bool translationEngine = false;
    bool relayAuthentication = false;
    for (; first < argc && std::string(argv[first]).starts_with("--"); ++first) {
        const std::string option = argv[first];
        translationEngine = translationEngine || option == "--translation-engine";
        relayAuthentication = relayAuthentication || option == "--relay-authentication";
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: relay_host [--translation-engine] [--relay-authentication] MAIL_SERVER_PORT "
                             "[MAIL_SERVER_ADDRESS [SECURITY [CA_FILE]]]\n");
        return 2;
    }
    ScopedRegistry registry;
    WriteProxyServerSettings(argc > first + 1 ? argv[first + 1] : "127.0.0.1",
                             static_cast<win32::DWORD>(std::atoi(argv[first])), 0);
    if (argc > first + 2) {
        WriteProxyServerDword("MailServerSecurity", static_cast<win32::DWORD>(std::atoi(argv[first + 2])));
    }
    if (argc > first + 3) {
        WriteProxyServerString("MailServerCAFile", argv[first + 3]);
    }
    if (relayAuthentication) {
        WriteProxyServerDword("Relay Authentication", 1);
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
