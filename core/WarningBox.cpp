#include "core/WarningBox.h"

#include "platform/MessageBox.h"

namespace {

// "警告" in code page 932, the code page of every text handed to the message box.
constexpr char kWarningTitle[] = "\x8C\x78\x8D\x90";
constexpr win32::UINT kWarningStyle = win32::MB_TOPMOST | win32::MB_SETFOREGROUND | win32::MB_ICONSTOP;
static_assert(kWarningStyle == 0x00050010);

}  // namespace

void ShowWarningBox(const char* text)
{
    win32::MessageBox(nullptr, text, kWarningTitle, kWarningStyle);
}
