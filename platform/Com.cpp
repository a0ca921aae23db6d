// Apartment bookkeeping on Linux: there is no apartment, only the per-thread count of balanced
// initialisations that the callers rely on.
#include "platform/Com.h"

namespace win32 {

namespace {

thread_local unsigned apartmentJoins = 0;

}  // namespace

HRESULT CoInitializeEx(void*, DWORD)
{
    return apartmentJoins++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(void* reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize()
{
    if (apartmentJoins > 0) {
        --apartmentJoins;
    }
}

bool IsCoInitialized()
{
    return apartmentJoins > 0;
}

}  // namespace win32
