// The automation object of the process (coclass ComVUVed3UzeroVadave): starts and stops the POP3 server, which
// it owns, and answers the status questions. One object for the life of the process; its references are the
// module's lock count. Called on the transport's threads (other processes) and on the main thread (the
// notification window, through the running object table).
//
// Locks: runningLock serialises put Running, so a start and a stop never interleave; the status questions and
// the collection do not wait for it. They copy the shared pointer to the server under serverLock, held only for
// that copy, and the copy keeps a server that is being stopped alive until they are done with it.
#pragma once

#include <memory>
#include <mutex>

#include "app/AutomationInterfaces.h"
#include "platform/ThreadSafety.h"

class Pop3ServerThread;
class RunningObjectTable;
class ServerModule;

class ComVUVed3UzeroVadave final : public IVUVed3UzeroVadave, public ISupportErrorInfo {
public:
    ComVUVed3UzeroVadave(ServerModule& module, RunningObjectTable& runningObjects);
    ~ComVUVed3UzeroVadave();
    ComVUVed3UzeroVadave(const ComVUVed3UzeroVadave&) = delete;
    ComVUVed3UzeroVadave& operator=(const ComVUVed3UzeroVadave&) = delete;

    // IUnknown: the references are the module's lock count.
    HRESULT QueryInterface(const win32::IID& iid, void** object) override;
    win32::ULONG AddRef() override;
    win32::ULONG Release() override;

    // IDispatch: late-bound callers reach the members by name through the automation transport.
    HRESULT GetTypeInfoCount(win32::UINT* count) override;
    HRESULT GetTypeInfo(win32::UINT index, win32::DWORD locale, void** typeInfo) override;
    HRESULT GetIDsOfNames(const win32::IID& iid, char16_t** names, win32::UINT count, win32::DWORD locale,
                          win32::LONG* dispIds) override;
    HRESULT Invoke(win32::LONG dispId, const win32::IID& iid, win32::DWORD locale, win32::WORD flags, void* params,
                   void* result, void* exception, win32::UINT* argumentError) override;

    HRESULT GetVersion(BSTR* bstrTitle, BSTR* bstrPath, BSTR* bstrVersion) override;
    HRESULT get_Running(long* pRunning) override;
    HRESULT put_Running(long running) override;
    HRESULT IsTranslating(long* pTranslate) override;
    HRESULT HaveTranslateMail(long* pHave) override;
    HRESULT GarbageCollection() override;

    HRESULT InterfaceSupportsErrorInfo(const win32::IID& iid) override;

    // At the end of the process, before the socket notifiers go: stops a server still running (its stop was
    // refused while a warning box was open, waiting until the box is closed), or waits for a stop that a client
    // has under way; a start asked for afterwards is ignored. Blocks; not on the main thread, whose messages the
    // stopping threads need.
    void StopAtExit();

private:
    ServerModule& module;
    RunningObjectTable& runningObjects;
    win32::Mutex runningLock;
    win32::DWORD rotCookie GUARDED_BY(runningLock) = 0;
    bool exiting GUARDED_BY(runningLock) = false;  // set by StopAtExit, after which nothing starts
    win32::Mutex serverLock;
    std::shared_ptr<Pop3ServerThread> server GUARDED_BY(serverLock);  // replaced only under runningLock too

    std::shared_ptr<Pop3ServerThread> CurrentServer();
    void SetServer(std::shared_ptr<Pop3ServerThread> replacement);
};
