// The registration run of the process: writes (or removes) the application identity (registry script 100), the
// class (script 102) and the type library's keys, with %MODULE% standing for the executable. Runs on the main
// thread before any other work.
#pragma once

#include <string>

#include "platform/Win32Types.h"

enum class RegistrationMode { Register, Unregister };

// The HRESULT of the class and type-library step (the application identity's result is not reported).
win32::HRESULT RunRegistration(RegistrationMode mode);

// Same, for a given executable path (tests register a path of their choice).
win32::HRESULT RunRegistration(RegistrationMode mode, const std::string& modulePath, bool applyAppId);
