// Joins the calling worker thread to the multithreaded COM apartment, and leaves it again at the thread's end.
#pragma once

#include "platform/Win32Types.h"

// Uses CoInitializeEx when the system offers it, else the older CoInitialize.
win32::HRESULT CoInitializeForThread();
void CoUninitializeForThread();
