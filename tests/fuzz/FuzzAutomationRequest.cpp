// The automation transport's request lines, dispatched to an object that only records its running state: no
// exception leaves the transport, and every answer is one JSON-RPC 2.0 object with a result or an error.
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "app/AutomationDispatch.h"
#include "app/AutomationInterfaces.h"
#include "platform/ComServer.h"

namespace {

using namespace win32;

class RecordingObject final : public IVUVed3UzeroVadave {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        *object = iid == IID_IVUVed3UzeroVadave || iid == IID_IUnknown ? this : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, DWORD, void**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(const IID&, char16_t**, UINT, DWORD, LONG*) override { return E_NOTIMPL; }
    HRESULT Invoke(LONG, const IID&, DWORD, WORD, void*, void*, void*, UINT*) override { return E_NOTIMPL; }
    HRESULT GetVersion(BSTR* title, BSTR* path, BSTR* version) override {
        *title = SysAllocStringLen(u"title", 5);
        *path = nullptr;
        *version = SysAllocStringLen(u"\xFFFD", 1);
        return S_OK;
    }
    HRESULT get_Running(long* value) override {
        *value = running;
        return S_OK;
    }
    HRESULT put_Running(long value) override {
        running = value != 0 ? 1 : 0;
        return S_OK;
    }
    HRESULT IsTranslating(long* value) override {
        *value = 0;
        return S_OK;
    }
    HRESULT HaveTranslateMail(long* value) override {
        *value = running;
        return S_OK;
    }
    HRESULT GarbageCollection() override { return S_OK; }

private:
    long running = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RecordingObject object;
    const ClassObjectServer::Invoke invoke = [&object](const std::string& member,
                                                       const nlohmann::json& params) {
        return InvokeAutomationMember(object, member, params);
    };
    for (const std::string& line : fuzz::Lines(fuzz::View(data, size))) {
        const std::optional<std::string> answer = AnswerRequestLine(line, invoke);
        if (!answer) {
            continue;
        }
        if (answer->empty() || answer->back() != '\n' || answer->find('\n') != answer->size() - 1) {
            std::abort();
        }
        const nlohmann::json reply = nlohmann::json::parse(*answer, nullptr, false);
        if (!reply.is_object() || reply.value("jsonrpc", nlohmann::json()) != "2.0" ||
            !reply.contains("id") || reply.contains("result") == reply.contains("error")) {
            std::abort();
        }
    }
    return 0;
}
