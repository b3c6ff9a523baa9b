#pragma once
// Undoing what the product registered outside its install directory: desktop shortcuts,
// programs-menu folders, registry keys, autorun entries (Run values and the logon task), the
// uninstall registration and the kernel services. Creating the autorun entry lives here too,
// because the restore mode re-creates it.
//
// HKLM locations are used in the 32-bit registry view, where the 32-bit product writes them,
// also when this code is built 64-bit.
#include <windows.h>

#include <string>

class ISetupConfig;

// Deletes "orb壁纸.lnk", "Lumetta.lnk" and "LumettaLite.lnk" on the all users' and the user's desktop.
void RemoveDesktopShortcuts();
// Removes "Lumetta" and "orb安全中心\orb壁纸" from the all users' programs menu.
void RemoveMenuFolders();
// Deletes the configuration's RegAppPath key, HKCU "Software\orbWallPaper" and HKCR "Lumetta";
// nothing at all when the configuration names no RegAppPath sub-key.
void RemoveProductKeys(const ISetupConfig& config);
// config.set "open"=0, the Run values, the logon task and the older "wpapp" Run value.
void RemoveAutorun(const wchar_t* install_dir);
// Deletes the uninstall registration; always true.
bool RemoveUninstallRegistration();
// Stops and deletes a kernel service; true when it was deleted.
bool RemoveService(const wchar_t* name);

// Registers (logon task, else Run value) or removes the autorun entry. Name and description
// default to "divov-srv" and "Starts orbwp-srv when a user logs on.". False for a null program.
bool SetAutorun(bool enable, const wchar_t* program, const wchar_t* name, const wchar_t* description,
                int delay_seconds);
bool CreateAutorunTask(const wchar_t* name, const wchar_t* program, const wchar_t* working_dir,
                       const wchar_t* arguments, const wchar_t* description, int delay_seconds);
// True when the task folder could be reached (whether or not the task existed).
bool DeleteAutorunTask(const wchar_t* name);
// Deletes the Run value of that name for the user and for the machine; always true.
bool DeleteRunValues(const wchar_t* name);
// Writes "<program> <arguments>" as the machine's Run value unless it is already there.
bool SetRunValue(const wchar_t* name, const wchar_t* program, const wchar_t* arguments);

// Pure helpers, exposed for tests.
// The logon trigger's delay as an XML duration: 125 seconds -> "PT2M5S".
std::wstring TaskDelayText(int delay_seconds);
// The program path enclosed in double quotes, an existing pair of quotes not doubled.
std::wstring QuotedProgramText(const wchar_t* path);
// The task scheduler's answer for an absent task (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)).
const HRESULT kTaskNotFound = static_cast<HRESULT>(0x80070002);

const wchar_t kAutorunName[] = L"divov-srv";
const wchar_t kAutorunArguments[] = L"/autorun --from=task";
const wchar_t kAutorunDescription[] = L"Starts orbwp-srv when a user logs on.";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kUninstallRegistrationKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\dazovoze";
const wchar_t kAppKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe";
const wchar_t kUserSettingsKey[] = L"Software\\orbWallPaper";
const wchar_t kClassKey[] = L"Lumetta";

// Deletes root\path with every sub-key; HKLM paths in the 32-bit view. True when it is gone.
bool DeleteKeyTree(HKEY root, const wchar_t* path);
