#include "settingsui/BrowserOpener.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// Our page addresses are http://127.0.0.1:PORT/?token=HEX: nothing in them needs quoting for the shell.
bool IsPlainAddress(const std::string& url) {
    return !url.empty() &&
           url.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789:/.?=&_-") ==
               std::string::npos;
}

// "cmd1 URL || cmd2 URL || xdg-open URL", as xdg-open tries $BROWSER's entries.
std::string OpenerScript(const std::string& url) {
    std::string script;
    const char* browser = std::getenv("BROWSER");
    const std::string entries = browser != nullptr ? browser : "";
    std::size_t start = 0;
    while (start < entries.size()) {
        const std::size_t end = std::min(entries.find(':', start), entries.size());
        std::string command = entries.substr(start, end - start);
        start = end + 1;
        if (command.empty()) {
            continue;
        }
        if (const std::size_t placeholder = command.find("%s"); placeholder != std::string::npos) {
            command.replace(placeholder, 2, url);
        } else {
            command += " '" + url + "'";
        }
        script += command + " || ";
    }
    return script + "xdg-open '" + url + "'";
}

}  // namespace

bool OpenInBrowser(const std::string& url) {
    if (!IsPlainAddress(url)) {
        return false;
    }
    std::string shell = "/bin/sh";
    std::string flag = "-c";
    std::string script = OpenerScript(url);
    char* argv[] = {shell.data(), flag.data(), script.data(), nullptr};
    // Twice forked, so that the opener belongs to no one here and nothing waits for the browser to end.
    const pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        setsid();
        if (fork() == 0) {
            execv(argv[0], argv);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return true;
}
