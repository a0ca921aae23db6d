// VUVed3UzeroVadave: the mail translation server's process.
#include "app/Application.h"
#include "platform/ComServerModule.h"

int main() { return RunApplication(win32::GetCommandLine()); }
