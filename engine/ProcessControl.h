#pragma once
// Making the product's programs go away before their files are deleted: a polite request
// (the broadcast quit message and the configured window messages), then termination of every
// process whose image lies in the install directory, then of the known executables by path.
#include <windows.h>

#include <string>

class ISetupConfig;

void CloseAllPrograms(const ISetupConfig* config, const wchar_t* install_dir);
void KillProcessesInInstallPath(const wchar_t* directory);
// Terminates the processes whose image lies inside the directory, except this process, its
// parent and the spare program; always 0.
int KillProcessesUnder(const wchar_t* directory, int* killed = nullptr);
// Terminates every process whose image is exactly the path (any case); always 0.
int KillProcessByPath(const wchar_t* path);
// Length of the image path reported by the system, 0 on failure; capacity at least 100.
DWORD GetProcessImagePath(DWORD pid, wchar_t* buffer, DWORD capacity);
bool EnableDebugPrivilege();

// The rules of the directory test, free of process handling.
namespace process_rules {
// Upper-cased image and directory: the image lies inside the directory, whose name must end
// at a separator in the image ("C:\A\LUMETTA2\X.EXE" is not inside "C:\A\LUMETTA").
bool IsInside(const std::wstring& upper_image, const std::wstring& upper_directory);
// Whether the image is the spare program of the directory ("<dir>\ZavAdo\ZavAdo.exe").
bool IsSpared(const std::wstring& image, const std::wstring& directory);
}  // namespace process_rules
