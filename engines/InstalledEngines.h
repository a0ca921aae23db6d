// The translation components installed with the program: the translation engine and its preferences object.
// The application enters them into the process's class table once at start; the pipeline then reaches them
// only through CoCreateInstance and their interfaces.
#pragma once

namespace engines {

void RegisterInstalledEngines();

}  // namespace engines
