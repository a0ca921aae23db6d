// Reference counting shared by the component classes of this folder: an object starts with one reference (the
// creator's) and deletes itself when the last one is released. Any thread may add and release references.
#pragma once

#include <atomic>

#include "platform/Com.h"

namespace win32 {

template <typename Interface>
class ComObject : public Interface {
public:
    ULONG AddRef() override { return references.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG Release() override
    {
        const ULONG left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // Hands out this object as the asked-for interface when iid is IUnknown or one of the given identifiers.
    HRESULT QueryAs(REFIID iid, void** object, std::initializer_list<IID> supported)
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        bool found = iid == IID_IUnknown;
        for (const IID& candidate : supported) {
            found = found || iid == candidate;
        }
        if (!found) {
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }

private:
    std::atomic<ULONG> references{1};
};

// Creates an object of class T and hands out the asked-for interface; the creator's reference is dropped, so a
// failed query destroys the object again.
template <typename T, typename... Args>
HRESULT CreateComObject(REFIID iid, void** object, Args&&... args)
{
    T* instance = new T(std::forward<Args>(args)...);
    const HRESULT result = instance->QueryInterface(iid, object);
    instance->Release();
    return result;
}

}  // namespace win32
