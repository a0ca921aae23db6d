#include "app/AutomationDispatch.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

#include "app/AutomationInterfaces.h"
#include "platform/CodePage.h"

using namespace win32;

namespace {

std::string FromBstr(BSTR text) {
    const std::string utf8 = text != nullptr ? AnsiToUtf8(Utf16ToAnsi(std::u16string_view(text, SysStringLen(text))))
                                             : std::string();
    SysFreeString(text);
    return utf8;
}

// put_Running's one argument: [v] or {"running": v}, a whole number or a boolean.
long RunningArgument(const nlohmann::json& params) {
    const nlohmann::json* value = nullptr;
    if (params.is_array() && params.size() == 1) {
        value = &params[0];
    } else if (params.is_object() && params.contains("running")) {
        value = &params["running"];
    }
    if (value == nullptr) {
        throw std::invalid_argument("put_Running takes one argument: [value] or {\"running\": value}");
    }
    if (value->is_boolean()) {
        return value->get<bool>() ? 1 : 0;
    }
    // The interface's long has 32 bits: a larger number would wrap, and a wrapped 2^32 would stop the server.
    const bool fits = value->is_number_unsigned()
                          ? value->get<std::uint64_t>() <= std::numeric_limits<std::int32_t>::max()
                          : value->is_number_integer() &&
                                value->get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
                                value->get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max();
    if (fits) {
        return value->get<long>();
    }
    throw std::invalid_argument("put_Running's value must be a whole number of 32 bits or a boolean");
}

}  // namespace

std::optional<nlohmann::json> InvokeAutomationMember(IUnknown& object, const std::string& member,
                                                     const nlohmann::json& params) {
    if (member == "Show" || member == "PanelCommand" || member == "Command") {
        void* applet = nullptr;
        const HRESULT hr = object.QueryInterface(IID_IAppletInterface, &applet);
        if (SUCCEEDED(hr)) {
            static_cast<IUnknown*>(applet)->Release();
            return nlohmann::json{{"hr", E_NOTIMPL}};
        }
        return nlohmann::json{{"hr", hr}};
    }

    void* raw = nullptr;
    const HRESULT found = object.QueryInterface(IID_IVUVed3UzeroVadave, &raw);
    if (FAILED(found)) {
        return nlohmann::json{{"hr", found}};
    }
    IVUVed3UzeroVadave* server = static_cast<IVUVed3UzeroVadave*>(raw);
    struct ReleaseOnExit {
        IVUVed3UzeroVadave* server;
        ~ReleaseOnExit() { server->Release(); }
    } releaseOnExit{server};

    if (member == "GetVersion") {
        BSTR title = nullptr;
        BSTR path = nullptr;
        BSTR version = nullptr;
        const HRESULT hr = server->GetVersion(&title, &path, &version);
        return nlohmann::json{{"hr", hr},
                              {"bstrTitle", FromBstr(title)},
                              {"bstrPath", FromBstr(path)},
                              {"bstrVersion", FromBstr(version)}};
    }
    if (member == "get_Running") {
        long running = 0;
        const HRESULT hr = server->get_Running(&running);
        return nlohmann::json{{"hr", hr}, {"pRunning", running}};
    }
    if (member == "put_Running") {
        return nlohmann::json{{"hr", server->put_Running(RunningArgument(params))}};
    }
    if (member == "IsTranslating") {
        long translating = 0;
        const HRESULT hr = server->IsTranslating(&translating);
        return nlohmann::json{{"hr", hr}, {"pTranslate", translating}};
    }
    if (member == "HaveTranslateMail") {
        long have = 0;
        const HRESULT hr = server->HaveTranslateMail(&have);
        return nlohmann::json{{"hr", hr}, {"pHave", have}};
    }
    if (member == "GarbageCollection") {
        return nlohmann::json{{"hr", server->GarbageCollection()}};
    }
    return std::nullopt;
}
