// The running object table of the process: objects registered under their class identifier, so that the
// process's own windows find the automation object without a pointer to it. Registrations are strong: the table
// holds a reference until the registration is revoked. Callable from any thread.
#pragma once

#include <mutex>
#include <vector>

#include "platform/Com.h"
#include "platform/ThreadSafety.h"

class RunningObjectTable {
public:
    RunningObjectTable() = default;
    ~RunningObjectTable();
    RunningObjectTable(const RunningObjectTable&) = delete;
    RunningObjectTable& operator=(const RunningObjectTable&) = delete;

    // Takes a reference on object; *cookie receives the registration's number (never 0).
    win32::HRESULT Register(const win32::CLSID& clsid, win32::IUnknown* object, win32::DWORD* cookie);
    // Releases the reference; E_INVALIDARG for an unknown cookie.
    win32::HRESULT Revoke(win32::DWORD cookie);
    // The first object registered under clsid, with a reference for the caller; MK_E_UNAVAILABLE when none.
    win32::HRESULT GetActiveObject(const win32::CLSID& clsid, win32::IUnknown** object);

private:
    struct Entry {
        win32::DWORD cookie;
        win32::CLSID clsid;
        win32::IUnknown* object;
    };
    win32::Mutex entriesLock;
    std::vector<Entry> entries GUARDED_BY(entriesLock);
    win32::DWORD nextCookie GUARDED_BY(entriesLock) = 1;
};
