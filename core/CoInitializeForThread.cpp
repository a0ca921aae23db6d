#include "core/CoInitializeForThread.h"

#include "platform/Com.h"
#include "platform/Sync.h"

win32::HRESULT CoInitializeForThread()
{
    using CoInitializeExFunction = win32::HRESULT (*)(void*, win32::DWORD);
    const win32::FARPROC entry = win32::GetProcAddress(win32::GetModuleHandle("ole32.dll"), "CoInitializeEx");
    if (entry != nullptr) {
        return reinterpret_cast<CoInitializeExFunction>(entry)(nullptr, win32::COINIT_MULTITHREADED);
    }
    return win32::CoInitialize(nullptr);
}

void CoUninitializeForThread()
{
    win32::CoUninitialize();
}
