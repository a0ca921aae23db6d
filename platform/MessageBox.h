// Message boxes: block the calling thread until the user closes them. The Linux backend writes the caption and
// text to stderr (UTF-8) and, in a graphical session with zenity and without VUVED_NO_GUI=1, shows a dialog.
#pragma once

#include <functional>
#include <string_view>

#include "platform/Win32Types.h"

namespace win32 {

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONSTOP = 0x00000010;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr int IDOK = 1;

// text and caption in the ANSI code page.
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

// Replaces the backend (tests record the boxes instead); texts reach the handler as UTF-8. An empty function
// restores the default.
using MessageBoxHandler = std::function<int(std::string_view textUtf8, std::string_view captionUtf8, UINT type)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace win32
