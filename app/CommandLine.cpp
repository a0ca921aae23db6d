#include "app/CommandLine.h"

#include "mail/ShiftJisText.h"

CommandLineAction ScanCommandLine(std::string_view commandLine) {
    std::size_t position = 0;
    while ((position = commandLine.find_first_of("-/", position)) != std::string_view::npos) {
        ++position;
        const std::string_view token = commandLine.substr(position);
        if (ShiftJisText::EqualsIgnoringCase(token, "UnregServer")) {
            return CommandLineAction::UnregisterServer;
        }
        if (ShiftJisText::EqualsIgnoringCase(token, "RegServer")) {
            return CommandLineAction::RegisterServer;
        }
        if (ShiftJisText::EqualsIgnoringCase(token, "Startup")) {
            return CommandLineAction::RunStartup;
        }
    }
    return CommandLineAction::RunServer;
}
