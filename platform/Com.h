// Per-thread COM apartment bookkeeping, and the component layer: interface identifiers, IUnknown, BSTR strings, the
// class table by ProgID and instance creation. The application enters the classes it installs into the table.
#pragma once

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Win32Types.h"

namespace win32 {

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// Joins the calling thread to an apartment; S_OK the first time, S_FALSE when already joined (each successful
// call is balanced by CoUninitialize).
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// Whether the calling thread has joined an apartment (for assertions and tests).
bool IsCoInitialized();

// ---- Component layer: interface identifiers, IUnknown, BSTR strings, classes found by ProgID ----

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

using ULONG = std::uint32_t;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);

// The root of every component interface: reference counted, asked for other interfaces by identifier.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Length-prefixed UTF-16 strings as components exchange them; a null BSTR is the empty string.
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
BSTR SysAllocString(LPCOLESTR text);
BSTR SysAllocStringLen(LPCOLESTR text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

// A class that CoCreateInstance can create: its ProgID, class identifier, the contexts it is served in, and a
// factory that makes one instance and hands out the asked-for interface (an HRESULT of failure otherwise).
struct ComponentClass {
    std::u16string progId;
    CLSID clsid;
    DWORD context;
    std::function<HRESULT(REFIID iid, void** object)> create;
};

// The classes known to the process: those installed with it (registered on first use) plus any registered at
// run time. Registering a ProgID that is known replaces its class; the replaced class is returned so that the
// caller can put it back. Callable from any thread.
std::optional<ComponentClass> RegisterComponentClass(ComponentClass componentClass);
std::optional<ComponentClass> UnregisterComponentClass(std::u16string_view progId);

// As on Windows: CO_E_CLASSSTRING for an unknown ProgID; REGDB_E_CLASSNOTREG for an unknown class or one not
// served in the asked contexts; CLASS_E_NOAGGREGATION with an outer object; CO_E_NOTINITIALIZED on a thread that
// has not joined an apartment; E_POINTER for a missing out-pointer (which is nulled on every failure).
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid, void** object);

}  // namespace win32
