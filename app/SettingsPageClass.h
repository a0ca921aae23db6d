// The class "RiloAddinManagerExe.Application" of the settings user interface, as this program provides it to the
// notification window's menu: creating an instance makes sure the settings page runs (vuvedctl ui --print, in a
// session of its own, kept across instances and left running when this program ends, as a program of its own);
// the instance's Show opens the page in the browser. Created and called on the main thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/Com.h"

class SettingsPageClass {
public:
    // Registers the class; the page is started with controlProgram (vuvedctl).
    explicit SettingsPageClass(std::string controlProgram);
    // Unregisters the class, putting back one it replaced.
    ~SettingsPageClass();
    SettingsPageClass(const SettingsPageClass&) = delete;
    SettingsPageClass& operator=(const SettingsPageClass&) = delete;

    // vuvedctl beside this program's executable (installed, or in the build tree), else the one on PATH.
    static std::string DefaultControlProgram();

private:
    // The page's address, starting the page first when it does not run; empty when it cannot be started.
    std::string PageUrl();

    const std::string controlProgram;
    pid_t page = 0;
    std::string url;
    std::optional<win32::ComponentClass> replaced;
};
