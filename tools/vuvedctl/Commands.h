// The commands of vuvedctl, each returning the tool's exit code.
#pragma once

#include <string>
#include <vector>

enum ExitCode {
    kExitOk = 0,
    kExitFailed = 1,        // the call failed or the server refused
    kExitUsage = 2,         // unknown command or wrong arguments
    kExitNotRegistered = 3, // the class is not registered in HKEY_CLASSES_ROOT
    kExitNotRunning = 4,    // no server process answers
    kExitBadValue = 5,      // a setting or rule file that does not fit
};

using Arguments = std::vector<std::string>;

// Prints usage on standard output when any argument asks for help (--help or -h).
bool WantsHelp(const Arguments& arguments, const char* usage);
// Prints usage on standard error; the exit code of a command called with the wrong arguments.
int UsageError(const char* usage);

// Where a server started by vuvedctl writes its messages.
std::string ServerLogPath();

int StartCommand(const Arguments& arguments);
int StopCommand(const Arguments& arguments);
int StatusCommand(const Arguments& arguments);
int VersionCommand(const Arguments& arguments);
int CollectCommand(const Arguments& arguments);
int CallCommand(const Arguments& arguments);
int SettingsCommand(const Arguments& arguments);
int RulesCommand(const Arguments& arguments);
int UiCommand(const Arguments& arguments);
