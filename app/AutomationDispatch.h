// Late-bound calls of automation clients: a member of the object's interfaces named as in the type library
// ("get_Running", "put_Running", ...), its in-parameters as JSON, its out-parameters and HRESULT as the result.
// Runs on the caller's (transport) thread.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/Com.h"

// Nothing when the name is no member of the type library's interfaces; throws std::invalid_argument when the
// parameters do not fit. A member of an interface the object does not serve answers E_NOINTERFACE.
std::optional<nlohmann::json> InvokeAutomationMember(win32::IUnknown& object, const std::string& member,
                                                     const nlohmann::json& params);
