// The component layer: BSTR strings, and the process's table of component classes by ProgID, through which
// CoCreateInstance finds a class. It starts empty: the application enters the classes it installs, and tests
// add or replace classes for their own lifetime.
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/Com.h"
#include "platform/ThreadSafety.h"

namespace win32 {

namespace {

// BSTR layout: a 32-bit byte count in front of the characters, and a NUL after them.
struct BstrHeader {
    std::uint32_t bytes;
};

class ComponentTable {
public:
    std::optional<ComponentClass> Register(ComponentClass componentClass)
    {
        LockGuard tableGuard(tableLock);
        std::optional<ComponentClass> replaced = Take(componentClass.progId);
        std::u16string progId = componentClass.progId;
        classes.emplace(std::move(progId), std::move(componentClass));
        return replaced;
    }

    std::optional<ComponentClass> Unregister(std::u16string_view progId)
    {
        LockGuard tableGuard(tableLock);
        return Take(progId);
    }

    std::optional<CLSID> FindClsid(std::u16string_view progId)
    {
        LockGuard tableGuard(tableLock);
        auto found = classes.find(std::u16string(progId));
        if (found == classes.end()) {
            return std::nullopt;
        }
        return found->second.clsid;
    }

    // A copy, so that the factory runs without the table's lock held.
    std::optional<ComponentClass> FindClass(REFCLSID clsid)
    {
        LockGuard tableGuard(tableLock);
        for (const auto& [progId, componentClass] : classes) {
            if (componentClass.clsid == clsid) {
                return componentClass;
            }
        }
        return std::nullopt;
    }

private:
    std::optional<ComponentClass> Take(std::u16string_view progId) REQUIRES(tableLock)
    {
        auto found = classes.find(std::u16string(progId));
        if (found == classes.end()) {
            return std::nullopt;
        }
        ComponentClass taken = std::move(found->second);
        classes.erase(found);
        return taken;
    }

    Mutex tableLock;
    std::map<std::u16string, ComponentClass> classes GUARDED_BY(tableLock);
};

ComponentTable& Table()
{
    static ComponentTable table;
    return table;
}

}  // namespace

BSTR SysAllocStringLen(LPCOLESTR text, UINT length)
{
    const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(BstrHeader) + bytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    reinterpret_cast<BstrHeader*>(block)->bytes = static_cast<std::uint32_t>(bytes);
    auto* characters = reinterpret_cast<OLECHAR*>(block + sizeof(BstrHeader));
    if (text != nullptr && length > 0) {
        std::memcpy(characters, text, bytes);
    } else if (length > 0) {
        std::memset(characters, 0, bytes);
    }
    characters[length] = u'\0';
    return characters;
}

BSTR SysAllocString(LPCOLESTR text)
{
    if (text == nullptr) {
        return nullptr;
    }
    return SysAllocStringLen(text, static_cast<UINT>(std::u16string_view(text).size()));
}

void SysFreeString(BSTR text)
{
    if (text != nullptr) {
        std::free(reinterpret_cast<unsigned char*>(text) - sizeof(BstrHeader));
    }
}

UINT SysStringLen(BSTR text)
{
    if (text == nullptr) {
        return 0;
    }
    const auto* header = reinterpret_cast<const BstrHeader*>(reinterpret_cast<unsigned char*>(text) -
                                                              sizeof(BstrHeader));
    return header->bytes / sizeof(OLECHAR);
}

std::optional<ComponentClass> RegisterComponentClass(ComponentClass componentClass)
{
    return Table().Register(std::move(componentClass));
}

std::optional<ComponentClass> UnregisterComponentClass(std::u16string_view progId)
{
    return Table().Unregister(progId);
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid)
{
    if (progId == nullptr || clsid == nullptr) {
        return E_INVALIDARG;
    }
    std::optional<CLSID> found = Table().FindClsid(progId);
    if (!found) {
        return CO_E_CLASSSTRING;
    }
    *clsid = *found;
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsCoInitialized()) {
        return CO_E_NOTINITIALIZED;
    }
    std::optional<ComponentClass> componentClass = Table().FindClass(clsid);
    if (!componentClass || (componentClass->context & clsContext) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    const HRESULT result = componentClass->create(iid, object);
    if (FAILED(result)) {
        *object = nullptr;
    }
    return result;
}

}  // namespace win32
