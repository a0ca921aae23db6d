#include "app/ClassFactory.h"

#include "app/ServerModule.h"

using namespace win32;

namespace {
// {00000001-0000-0000-C000-000000000046}
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}  // namespace

HRESULT ClassFactory::QueryInterface(const IID& iid, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *result = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, const IID& iid, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return object.QueryInterface(iid, result);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        module.Lock();
    } else {
        module.Unlock();
    }
    return S_OK;
}
