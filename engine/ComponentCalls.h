#pragma once
// Asking the product's components to undo their own registrations: starting a component's
// program with its uninstall parameters, or calling an export of its library. Every launch
// and every load is preceded by a signature test unless the caller clears it.
#include <windows.h>

#include <string>
#include <vector>

#include "config/ISetupConfig.h"

void CallExe(const wchar_t* path, const wchar_t* command, bool verify, bool sync, DWORD timeout_ms);
void CallDllExport(const wchar_t* path, const char* export_name, const wchar_t* text, bool verify);
std::wstring CallDllInterfaceEx(const wchar_t* path, const char* export_name, const wchar_t* text, bool verify);
bool CallProgramsOnUninst(const ISetupConfig* config, const wchar_t* install_dir);
bool RundllUnRegister(const std::vector<UnregisterRecord>& items, const wchar_t* install_dir);
void GuardRelease(const wchar_t* install_dir);
void GameCenterUninstall(const wchar_t* install_dir, bool uninstall_game_center);
void RunListUninstall(const wchar_t* install_dir);
void FilePeUninstall(const wchar_t* install_dir);

// What the calls depend on from elsewhere: by default the publisher and named-signer tests,
// and the code and pid of the product detected next to the running program.
// Program starts through RunProgram with verify set always use the publisher test.
struct ComponentCallDeps {
  bool (*isSignedByMaker)(const wchar_t* path);
  bool (*isSignedBy)(const wchar_t* path, const wchar_t* signer);
  std::wstring (*productCode)();  // code of the running product, may be empty
  std::wstring (*productPid)();   // pid of the running product, may be empty
};
void SetComponentCallDeps(const ComponentCallDeps& deps);
const ComponentCallDeps& GetComponentCallDeps();

// The texts and limits of the calls, free of process and registry handling.
namespace component_rules {
// The wait for a configured program: 50000 ms when 0 or above 50000.
DWORD ProgramTimeout(INT32 wait_time);
// "/Pid=tarvo_oem" when the OEM marker starts with "2", else "/Pid=tarvo".
std::wstring GuardPidPart(const std::wstring& oem_marker);
std::wstring GuardCommandLine(const std::wstring& guard_path, const std::wstring& oem_marker);
std::wstring GameCenterParameters(bool uninstall_game_center);
std::wstring RundllCommand(const std::wstring& library, const std::wstring& entry, const std::wstring& cmdline);
std::wstring RunListExeCommand(const std::wstring& parameters, const std::wstring& product_code,
                               const std::wstring& pid);
// run_list parameters with "/Regtest" are run without a signature test.
bool RunListNeedsSignature(const std::wstring& parameters);
// Extension of the path with its dot, as written ("" when none).
std::wstring ExtensionOf(const std::wstring& path);
std::wstring JoinPath(const std::wstring& directory, const std::wstring& relative);
}  // namespace component_rules
