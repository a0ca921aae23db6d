// Where the system keeps its files for the user, by the XDG base directory rules: settings, logs, and the
// runtime folder of the automation socket and the lock files.
#pragma once

#include <string>

namespace win32 {

// The system's folder below an XDG base folder: $<xdgVariable> when it is an absolute path (a relative one is
// invalid by XDG's own rules), else the home folder joined with belowHome; then "/VUVed3UzeroVadave". For example
// ("XDG_CONFIG_HOME", ".config") gives ~/.config/VUVed3UzeroVadave. Not created here.
std::string UserFolder(const char* xdgVariable, const char* belowHome);

// $XDG_RUNTIME_DIR/VUVed3UzeroVadave, else /tmp/VUVed3UzeroVadave-<uid>. Not created here.
std::string RuntimeFolderPath();

}  // namespace win32
