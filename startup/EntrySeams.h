#pragma once
// The entry's calls into the user interface. Those not part of this program yet say
// plainly what they do instead, so that nothing looks as if it worked.
#include <windows.h>

constexpr int kEntryBoxOk = 0;     // one OK button
constexpr int kEntryBoxYesNo = 4;  // Yes returns IDYES (6)

// The program's message box; -1 without showing anything while suppressed (silent runs).
int ShowEntryMessage(const wchar_t* text, int style);
void SetEntryMessagesSuppressed(bool suppressed);

// The UI face, and the fonts, images and hand cursor of the resource cache (GDI+ must run).
void InitUiResources();
void ReleaseUiResources();

// The dialogue and its message loop. A silent run uninstalls at once and returns when the
// uninstall is over; an interactive run returns at once (its main window is not built yet).
void RunMainWindow(HINSTANCE instance);
