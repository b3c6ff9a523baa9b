#pragma once
// The first instance's work: a private copy of the uninstaller in a fresh temporary cache
// directory, started with "/READYUNINSTALL", so that the install directory can be emptied.
#include <string>

// "path" of the application key (32-bit view), at most 260 characters; false when it cannot be
// read or is empty.
bool ReadInstallDirectory(std::wstring& directory);
// Replaces "path" with the directory (REG_SZ).
bool RepairInstallDirectory(const std::wstring& directory);

bool PathIsDirectory(const std::wstring& path);
bool PathIsFile(const std::wstring& path);
// The directory with exactly one trailing backslash, then the name.
std::wstring JoinPath(const std::wstring& directory, const std::wstring& name);

// Full image path of the process that started this one (at most 259 characters); empty when
// it cannot be found.
std::wstring GetParentProcessPath();
// The system's "major.minor" from the native version query; empty when unavailable.
std::wstring NativeOsVersionText();

// The machine identifier text, the cipher key of the caller token.
std::wstring MachineIdText();
// The caller word encrypted under the machine identifier.
std::wstring MakeCallerToken();
// The caller check of the command-line singleton (see IsLegalCallToken).
bool IsLegalCall();

// Copies the uninstaller and its libraries, reports "uninstall_from" synchronously, and starts
// the signed copy. False when the copy could not be made or started.
bool RelaunchFromTemp(const std::wstring& command_line);
// Asks whether to download the product again; Yes opens the download page.
void OfferReinstall();
