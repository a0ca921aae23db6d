#include "app/Registration.h"

#include <cstdio>
#include <map>

#include "app/AppResources.h"
#include "app/RegistryScript.h"
#include "platform/ComServerModule.h"

using namespace win32;

namespace {

// DISP_E_EXCEPTION, as the registrar reports a script it cannot read.
constexpr HRESULT kScriptError = static_cast<HRESULT>(0x80020009);

std::string DoubleQuotes(const std::string& text) {
    std::string doubled;
    for (const char c : text) {
        doubled += c;
        if (c == '\'') {
            doubled += '\'';
        }
    }
    return doubled;
}

HRESULT ApplyScript(UINT id, RegistrationMode mode, const std::map<std::string, std::string>& replacements) {
    std::string error;
    const std::optional<RegistryScript> script = RegistryScript::Parse(RegistryScriptResource(id), replacements, error);
    if (!script) {
        std::fprintf(stderr, "registry script %u: %s\n", id, error.c_str());
        return kScriptError;
    }
    return mode == RegistrationMode::Register ? script->Register() : script->Unregister();
}

}  // namespace

HRESULT RunRegistration(RegistrationMode mode, const std::string& modulePath, bool applyAppId) {
    const std::string module = DoubleQuotes(modulePath);
    const std::size_t slash = modulePath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : modulePath.substr(0, slash + 1);
    const std::map<std::string, std::string> replacements = {{"MODULE", module}, {"HELPDIR", DoubleQuotes(folder)}};

    if (applyAppId) {
        ApplyScript(kAppIdScript, mode, replacements);
    }
    if (mode == RegistrationMode::Unregister) {
        // The type library stays registered.
        return ApplyScript(kClassScript, mode, replacements);
    }
    const HRESULT hr = ApplyScript(kClassScript, mode, replacements);
    return FAILED(hr) ? hr : ApplyScript(kTypeLibraryScript, mode, replacements);
}

HRESULT RunRegistration(RegistrationMode mode) {
    char longPath[260];
    char shortPath[260];
    GetModuleFileName(nullptr, longPath, sizeof(longPath));
    // The short form when the platform has one; file systems without short names report 0.
    const DWORD shortLength = GetShortPathName(longPath, shortPath, sizeof(shortPath));
    const std::string module = shortLength == 0 ? longPath : shortPath;
    return RunRegistration(mode, module, shortLength < sizeof(shortPath));
}
