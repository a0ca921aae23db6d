// The process entry of VUVed3UzeroVadave: reads the full command line and either runs the registration and
// ends, or brings the process up as the local automation server and runs the main thread's message loop until
// the module's last reference goes (or the session ends). Runs on the main thread.
#pragma once

#include <string_view>

// Returns the process's exit code.
int RunApplication(std::string_view commandLine);
