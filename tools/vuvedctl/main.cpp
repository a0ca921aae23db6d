// vuvedctl: controls the VUVed3UzeroVadave server from the command line and scripts.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/vuvedctl/Commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const Arguments&);
    const char* summary;
};

constexpr Command kCommands[] = {
    {"start", StartCommand, "start the POP3 server (and the server process when none runs)"},
    {"stop", StopCommand, "stop the POP3 server; the process then ends"},
    {"status", StatusCommand, "print Running, IsTranslating, HaveTranslateMail"},
    {"version", VersionCommand, "print the server's title, path and version"},
    {"collect", CollectCommand, "collect finished connections now"},
    {"settings", SettingsCommand, "show or set the settings (settings show | settings set NAME VALUE)"},
    {"rules", RulesCommand, "show, export or import the translation rules"},
    {"ui", UiCommand, "open the settings page in the browser (--print: print its address instead)"},
    {"call", CallCommand, "call an automation member by name (for scripts)"},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: vuvedctl COMMAND [ARGUMENTS]   (vuvedctl COMMAND --help for details)\n\n");
    for (const Command& command : kCommands) {
        std::fprintf(out, "  %-9s %s\n", command.name, command.summary);
    }
    std::fprintf(out,
                 "\nexit codes: 0 done, 1 failed, 2 usage, 3 not registered, 4 not running, 5 bad value\n");
}

}  // namespace

bool WantsHelp(const Arguments& arguments, const char* usage) {
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::printf("%s", usage);
            return true;
        }
    }
    return false;
}

int UsageError(const char* usage) {
    std::fprintf(stderr, "%s", usage);
    return kExitUsage;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return command.run(Arguments(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "vuvedctl: unknown command \"%s\"\n\n", name.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}
