#pragma once
// Starting a helper program, optionally only when it is signed by the product's publishers.
#include <windows.h>

// Starts path (at most 260 characters, must exist) with the parameters through the shell's
// "open" verb. With verify set nothing is started unless the file passes IsSignedByMaker.
// With wait set, waits at most timeout_ms for the process. When exit_code is given it
// receives GetExitCodeProcess (STILL_ACTIVE after a time-out) and a failed start fails.
// Returns whether the program started.
bool RunProgram(const wchar_t* path, const wchar_t* parameters, int show, bool verify, bool wait,
                DWORD* exit_code, DWORD timeout_ms);
