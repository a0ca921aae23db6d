// The debug-trace hook: operations hand it a fixed trace text (and the values it names); no trace output exists,
// so it does nothing. Any thread.
#pragma once

template <typename... Values>
inline void DebugTrace(const char* /*text*/, const Values&... /*values*/)
{
}
