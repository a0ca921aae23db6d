// A wait on several handles that also returns (with the code count) when input arrives for the calling thread.
// Uses the system's MsgWaitForMultipleObjectsEx when present, else emulates it in slices of at most 250 ms.
#pragma once

#include "platform/Win32Types.h"

win32::DWORD MsgWaitMultiple(win32::DWORD count, const win32::HANDLE* handles, win32::DWORD timeout,
                             win32::DWORD wakeMask, win32::DWORD flags);
