#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace {

bool EqualsIgnoringCase(std::string_view token, std::string_view name) {
    return token.size() == name.size() &&
           std::equal(token.begin(), token.end(), name.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

CommandLineAction ScanCommandLine(std::string_view commandLine) {
    std::size_t position = 0;
    while ((position = commandLine.find_first_of("-/", position)) != std::string_view::npos) {
        ++position;
        const std::string_view token = commandLine.substr(position);
        if (EqualsIgnoringCase(token, "UnregServer")) {
            return CommandLineAction::UnregisterServer;
        }
        if (EqualsIgnoringCase(token, "RegServer")) {
            return CommandLineAction::RegisterServer;
        }
        if (EqualsIgnoringCase(token, "Startup")) {
            return CommandLineAction::RunStartup;
        }
    }
    return CommandLineAction::RunServer;
}
