// The class object of ComVUVed3UzeroVadave: a singleton factory that hands out the process's one automation
// object, and the server lock that keeps the process alive on a client's request. Called on any thread.
#pragma once

#include "app/AutomationInterfaces.h"

class ServerModule;

class ClassFactory final : public IClassFactory {
public:
    ClassFactory(ServerModule& module, win32::IUnknown& object) : module(module), object(object) {}

    HRESULT QueryInterface(const win32::IID& iid, void** result) override;
    // The class object lives as long as the module; its own references do not count.
    win32::ULONG AddRef() override { return 2; }
    win32::ULONG Release() override { return 1; }

    HRESULT CreateInstance(win32::IUnknown* outer, const win32::IID& iid, void** result) override;
    HRESULT LockServer(win32::BOOL lock) override;

private:
    ServerModule& module;
    win32::IUnknown& object;
};
