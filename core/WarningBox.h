// The warning box the POP3 server shows for configuration errors: no owner, title "警告", stop icon, topmost and
// brought to the foreground. Blocks the calling thread until the user closes it.
#pragma once

// text in the ANSI code page (as loaded from the string table).
void ShowWarningBox(const char* text);
