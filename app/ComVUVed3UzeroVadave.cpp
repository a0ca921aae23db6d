#include "app/ComVUVed3UzeroVadave.h"

#include <cstdio>
#include <new>
#include <string>

#include "app/RunningObjectTable.h"
#include "app/ServerModule.h"
#include "platform/CodePage.h"
#include "platform/ComServerModule.h"
#include "platform/Sync.h"
#include "pop3/Pop3ServerThread.h"

using namespace win32;

namespace {

BSTR AllocAnsi(const std::string& ansi) {
    const std::u16string text = AnsiToUtf16(ansi);
    return SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
}

// The version resource as the version functions present it: the first pair of "\VarFileInfo\Translation"
// names the string block, and "\StringFileInfo\<block>\<name>" its strings. Empty when absent.
std::string QueryVersionString(const VersionStrings* version, const char* name) {
    if (version == nullptr || version->block == nullptr) {
        return {};
    }
    unsigned language = 0;
    unsigned codePage = 0;
    if (std::sscanf(version->block, "%4x%4x", &language, &codePage) != 2) {
        return {};
    }
    char path[64];
    std::snprintf(path, sizeof(path), "\\StringFileInfo\\%04x%04x\\%s", language, codePage, name);
    const std::string wanted = std::string("\\StringFileInfo\\") + version->block + "\\";
    const std::string asked(path);
    if (asked.compare(0, wanted.size(), wanted) != 0) {
        return {};
    }
    const std::string field = asked.substr(wanted.size());
    const char* value = field == "FileVersion"       ? version->fileVersion
                        : field == "FileDescription" ? version->fileDescription
                                                     : nullptr;
    return value != nullptr ? Utf8ToAnsi(value) : std::string();
}

}  // namespace

ComVUVed3UzeroVadave::ComVUVed3UzeroVadave(ServerModule& module, RunningObjectTable& runningObjects)
    : module(module), runningObjects(runningObjects) {}

// Normally the server is stopped long before (at the latest by StopAtExit); one left running is stopped here so
// that its threads do not outlive what they use.
ComVUVed3UzeroVadave::~ComVUVed3UzeroVadave() { StopAtExit(); }

void ComVUVed3UzeroVadave::StopAtExit() {
    win32::LockGuard lock(runningLock);
    exiting = true;
    if (rotCookie != 0) {
        runningObjects.Revoke(rotCookie);
        rotCookie = 0;
    }
    if (const std::shared_ptr<Pop3ServerThread> current = CurrentServer()) {
        SetServer(nullptr);
        current->StopAndWait();
    }
}

std::shared_ptr<Pop3ServerThread> ComVUVed3UzeroVadave::CurrentServer() {
    win32::LockGuard lock(serverLock);
    return server;
}

void ComVUVed3UzeroVadave::SetServer(std::shared_ptr<Pop3ServerThread> replacement) {
    win32::LockGuard lock(serverLock);
    server = std::move(replacement);
}

HRESULT ComVUVed3UzeroVadave::QueryInterface(const IID& iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IRiloVersion || iid == IID_IVUVed3UzeroVadave) {
        *object = static_cast<IVUVed3UzeroVadave*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        // IAppletInterface is listed for the coclass in the type library, but this object does not serve it.
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG ComVUVed3UzeroVadave::AddRef() { return static_cast<ULONG>(module.Lock()); }

ULONG ComVUVed3UzeroVadave::Release() { return static_cast<ULONG>(module.Unlock()); }

HRESULT ComVUVed3UzeroVadave::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT ComVUVed3UzeroVadave::GetTypeInfo(UINT, DWORD, void** typeInfo) {
    if (typeInfo != nullptr) {
        *typeInfo = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT ComVUVed3UzeroVadave::GetIDsOfNames(const IID&, char16_t**, UINT, DWORD, LONG*) { return E_NOTIMPL; }

HRESULT ComVUVed3UzeroVadave::Invoke(LONG, const IID&, DWORD, WORD, void*, void*, void*, UINT*) { return E_NOTIMPL; }

HRESULT ComVUVed3UzeroVadave::GetVersion(BSTR* bstrTitle, BSTR* bstrPath, BSTR* bstrVersion) {
    char path[260];
    if (GetModuleFileName(nullptr, path, sizeof(path)) == 0) {
        path[0] = '\0';
    }
    const VersionStrings* version = module.Instance() != nullptr ? module.Instance()->version : nullptr;
    if (bstrPath != nullptr) {
        *bstrPath = AllocAnsi(Utf8ToAnsi(path));
    }
    if (bstrVersion != nullptr) {
        *bstrVersion = AllocAnsi(QueryVersionString(version, "FileVersion"));
    }
    if (bstrTitle != nullptr) {
        *bstrTitle = AllocAnsi(QueryVersionString(version, "FileDescription"));
    }
    return S_OK;
}

HRESULT ComVUVed3UzeroVadave::get_Running(long* pRunning) {
    if (pRunning != nullptr) {
        *pRunning = CurrentServer() ? 1 : 0;
    }
    return S_OK;
}

HRESULT ComVUVed3UzeroVadave::put_Running(long running) {
    win32::LockGuard lock(runningLock);
    if (running != 0 && exiting) {
        return S_OK;  // the process is ending: its notifiers are about to go
    }
    if (running != 0) {
        if (rotCookie == 0) {
            runningObjects.Register(CLSID_ComVUVed3UzeroVadave, static_cast<IVUVed3UzeroVadave*>(this), &rotCookie);
        }
        if (!CurrentServer()) {
            // A server that cannot be made (no memory, no event) leaves the server stopped.
            try {
                std::shared_ptr<Pop3ServerThread> started(new (std::nothrow) Pop3ServerThread());
                if (started) {
                    SetServer(std::move(started));
                }
            } catch (...) {
            }
        }
        return S_OK;
    }
    std::shared_ptr<Pop3ServerThread> current = CurrentServer();
    // A stop while the server's warning box is on screen is ignored; the caller may try again.
    if (!current || current->IsAlertShowing()) {
        return S_OK;
    }
    if (rotCookie != 0) {
        runningObjects.Revoke(rotCookie);
        rotCookie = 0;
    }
    current->StopAndWait();
    SwitchToThread();
    SetServer(nullptr);
    current.reset();
    return S_OK;
}

HRESULT ComVUVed3UzeroVadave::IsTranslating(long* pTranslate) {
    if (pTranslate == nullptr) {
        return S_OK;
    }
    *pTranslate = 0;
    if (const std::shared_ptr<Pop3ServerThread> current = CurrentServer()) {
        *pTranslate = current->IsTranslating() ? 1 : 0;
    }
    return S_OK;
}

HRESULT ComVUVed3UzeroVadave::HaveTranslateMail(long* pHave) {
    if (pHave == nullptr) {
        return S_OK;
    }
    *pHave = 0;
    if (const std::shared_ptr<Pop3ServerThread> current = CurrentServer()) {
        *pHave = current->HaveTranslateMail() ? 1 : 0;
    }
    return S_OK;
}

HRESULT ComVUVed3UzeroVadave::GarbageCollection() {
    if (const std::shared_ptr<Pop3ServerThread> current = CurrentServer()) {
        current->GarbageCollection(false);
    }
    return S_OK;
}

HRESULT ComVUVed3UzeroVadave::InterfaceSupportsErrorInfo(const IID& iid) {
    return iid == IID_IVUVed3UzeroVadave ? S_OK : S_FALSE;
}
