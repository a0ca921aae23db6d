// The automation interfaces of the type library VUVED3UZEROVADAVELib, their identifiers and the coclass
// ComVUVed3UzeroVadave, in vtable order (the notification window calls members by position).
#pragma once

#include "platform/Com.h"
#include "platform/Win32Types.h"

using win32::BSTR;
using win32::HRESULT;

// {00020400-0000-0000-C000-000000000046}
inline constexpr win32::IID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                             {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {DF0B3D60-548F-101B-8E65-08002B2BD119}
inline constexpr win32::IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B,
                                                     {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
// {E84D7029-2CFD-11D2-B23E-006008C3D39C}
inline constexpr win32::IID IID_IRiloVersion = {0xE84D7029, 0x2CFD, 0x11D2,
                                                {0xB2, 0x3E, 0x00, 0x60, 0x08, 0xC3, 0xD3, 0x9C}};
// {AB3E4251-C7FA-11D2-AB97-00E0292B5795}
inline constexpr win32::IID IID_IVUVed3UzeroVadave = {0xAB3E4251, 0xC7FA, 0x11D2,
                                                      {0xAB, 0x97, 0x00, 0xE0, 0x29, 0x2B, 0x57, 0x95}};
// {E84D702A-2CFD-11D2-B23E-006008C3D39C}
inline constexpr win32::IID IID_IAppletInterface = {0xE84D702A, 0x2CFD, 0x11D2,
                                                    {0xB2, 0x3E, 0x00, 0x60, 0x08, 0xC3, 0xD3, 0x9C}};
// {B0AB35D0-8C47-4028-9461-EF7222FF64B1}
inline constexpr win32::CLSID CLSID_ComVUVed3UzeroVadave = {0xB0AB35D0, 0x8C47, 0x4028,
                                                            {0x94, 0x61, 0xEF, 0x72, 0x22, 0xFF, 0x64, 0xB1}};
// {27999DC1-C79C-11D2-AB92-00E0292B5795}
inline constexpr win32::GUID LIBID_VUVED3UZEROVADAVELib = {0x27999DC1, 0xC79C, 0x11D2,
                                                           {0xAB, 0x92, 0x00, 0xE0, 0x29, 0x2B, 0x57, 0x95}};

// Automation's late-bound calls; the four slots follow IUnknown's three.
struct IDispatch : win32::IUnknown {
    virtual HRESULT GetTypeInfoCount(win32::UINT* count) = 0;
    virtual HRESULT GetTypeInfo(win32::UINT index, win32::DWORD locale, void** typeInfo) = 0;
    virtual HRESULT GetIDsOfNames(const win32::IID& iid, char16_t** names, win32::UINT count, win32::DWORD locale,
                                  win32::LONG* dispIds) = 0;
    virtual HRESULT Invoke(win32::LONG dispId, const win32::IID& iid, win32::DWORD locale, win32::WORD flags,
                           void* params, void* result, void* exception, win32::UINT* argumentError) = 0;

protected:
    ~IDispatch() = default;
};

struct IRiloVersion : IDispatch {
    virtual HRESULT GetVersion(BSTR* bstrTitle, BSTR* bstrPath, BSTR* bstrVersion) = 0;  // slot 7

protected:
    ~IRiloVersion() = default;
};

struct IVUVed3UzeroVadave : IRiloVersion {
    virtual HRESULT get_Running(long* pRunning) = 0;         // slot 8
    virtual HRESULT put_Running(long running) = 0;           // slot 9
    virtual HRESULT IsTranslating(long* pTranslate) = 0;     // slot 10
    virtual HRESULT HaveTranslateMail(long* pHave) = 0;      // slot 11
    virtual HRESULT GarbageCollection() = 0;                 // slot 12

protected:
    ~IVUVed3UzeroVadave() = default;
};

struct ISupportErrorInfo : win32::IUnknown {
    virtual HRESULT InterfaceSupportsErrorInfo(const win32::IID& iid) = 0;

protected:
    ~ISupportErrorInfo() = default;
};

// Class objects hand out instances and keep the server alive on request.
struct IClassFactory : win32::IUnknown {
    virtual HRESULT CreateInstance(win32::IUnknown* outer, const win32::IID& iid, void** object) = 0;
    virtual HRESULT LockServer(win32::BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

// The product's settings user interface, another component, as far as the notification window calls it.
// {93B7F827-4D1B-4ABA-A823-9DABE3BF8EF5}
inline constexpr win32::IID IID_ISettingsApplication = {0x93B7F827, 0x4D1B, 0x4ABA,
                                                        {0xA8, 0x23, 0x9D, 0xAB, 0xE3, 0xBF, 0x8E, 0xF5}};

// The notification window calls only Show and GetWindow; the three methods it never calls keep those two at the
// vtable slots the settings component serves them from (8 and 11).
struct ISettingsApplication : IDispatch {
    virtual HRESULT UnusedSlot7() = 0;
    virtual HRESULT Show() = 0;  // slot 8: shows the settings user interface
    virtual HRESULT UnusedSlot9() = 0;
    virtual HRESULT UnusedSlot10() = 0;
    virtual HRESULT GetWindow(win32::HWND* window) = 0;  // slot 11: the interface's window

protected:
    ~ISettingsApplication() = default;
};

