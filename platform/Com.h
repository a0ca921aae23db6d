// Per-thread COM apartment bookkeeping; later also the component layer (class lookup by ProgID, instance creation).
#pragma once

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

}  // namespace win32
