// Scanning of the process's full command line for the switches that decide how the process runs.
// Called once by the process entry on the main thread.
#pragma once

#include <string_view>

enum class CommandLineAction {
    RunServer,      // no registration switch: run as automation server and wait for clients
    RunStartup,     // "Startup": run as server and start the POP3 server at once
    RegisterServer,
    UnregisterServer,
};

// The full command line is the program path and its arguments as the platform reports them. A switch follows
// '-' or '/' and must be the whole rest of the line, so "a.exe /RegServer /Startup" runs in start-up mode.
CommandLineAction ScanCommandLine(std::string_view commandLine);
