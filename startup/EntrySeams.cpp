#include "startup/EntrySeams.h"

#include <string>


namespace {
bool g_suppressed = false;
std::wstring g_install_dir;
}  // namespace

int ShowEntryMessage(const wchar_t*, int) { return -1; }

void SetEntryMessagesSuppressed(bool suppressed) { g_suppressed = suppressed; }

void InitUiResources() {}
void ReleaseUiResources() {}

void SetUninstallTaskInstallDir(const wchar_t* install_dir) { g_install_dir = install_dir ? install_dir : L""; }
const wchar_t* UninstallTaskInstallDir() { return g_install_dir.c_str(); }

// Returns at once: without the main window there is no dialogue and no uninstall to drive.
void RunMainWindow(HINSTANCE) {}
