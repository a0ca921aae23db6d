#include "app/RunningObjectTable.h"

#include <algorithm>

#include "platform/ThreadSafety.h"

using namespace win32;

RunningObjectTable::~RunningObjectTable() {
    std::vector<Entry> remaining;
    {
        win32::LockGuard lock(entriesLock);
        remaining.swap(entries);
    }
    for (const Entry& entry : remaining) {
        entry.object->Release();
    }
}

HRESULT RunningObjectTable::Register(const CLSID& clsid, IUnknown* object, DWORD* cookie) {
    if (object == nullptr || cookie == nullptr) {
        return E_INVALIDARG;
    }
    object->AddRef();
    win32::LockGuard lock(entriesLock);
    *cookie = nextCookie++;
    entries.push_back({*cookie, clsid, object});
    return S_OK;
}

HRESULT RunningObjectTable::Revoke(DWORD cookie) {
    IUnknown* object = nullptr;
    {
        win32::LockGuard lock(entriesLock);
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [cookie](const Entry& entry) { return entry.cookie == cookie; });
        if (found == entries.end()) {
            return E_INVALIDARG;
        }
        object = found->object;
        entries.erase(found);
    }
    // Outside the lock: the release may end the module's last reference.
    object->Release();
    return S_OK;
}

HRESULT RunningObjectTable::GetActiveObject(const CLSID& clsid, IUnknown** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    win32::LockGuard lock(entriesLock);
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&clsid](const Entry& entry) { return entry.clsid == clsid; });
    if (found == entries.end()) {
        return MK_E_UNAVAILABLE;
    }
    *object = found->object;
    (*object)->AddRef();
    return S_OK;
}
