#pragma once
// The windows' log lines: formatted into at most 511 characters, then written through the
// uninstall task.
void WindowLog(const wchar_t* format, ...);
