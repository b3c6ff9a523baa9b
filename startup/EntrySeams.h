#pragma once
// The entry's calls into pieces that are not part of this program yet. Each one says plainly
// what it does instead, so that nothing looks as if it worked.
#include <windows.h>

constexpr int kEntryBoxOk = 0;     // one OK button
constexpr int kEntryBoxYesNo = 4;  // Yes returns IDYES (6)

// Message boxes: there is no layered message box yet, so no box is shown and the result is -1,
// as in a silent run.
int ShowEntryMessage(const wchar_t* text, int style);
void SetEntryMessagesSuppressed(bool suppressed);

// UI fonts, images and cursor of the resource cache: not built yet; nothing is registered.
void InitUiResources();
void ReleaseUiResources();

// The uninstall task's install directory: the task is not built yet; the directory is only kept.
void SetUninstallTaskInstallDir(const wchar_t* install_dir);
const wchar_t* UninstallTaskInstallDir();

// The main window and its message loop: not built yet. Returns at once, so the
// run ends without uninstalling.
void RunMainWindow(HINSTANCE instance);
