#include "engine/ComponentCalls.h"

#include <shlwapi.h>

#include <vector>

#include "common/UniqueHandle.h"
#include "engine/ProcessControl.h"
#include "engine/RunProgram.h"
#include "engine/Signature.h"
#include "identity/ProductTable.h"
#include "startup/SmartLogger.h"

namespace {

const wchar_t kAppKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe";
const DWORD kProgramTimeoutCapMs = 50000;
const DWORD kGuardTimeoutMs = 5000;
const DWORD kGameCenterTimeoutMs = 3000;
const DWORD kRunListTimeoutMs = 60000;
const DWORD kFilePeTimeoutMs = 50000;

// The product detected next to the running program (none in the temporary copy's folder).
std::wstring RunningProductCode() { return identity::GetProductCode(0); }
std::wstring RunningProductPid() { return identity::GetProductPid(0); }

ComponentCallDeps g_deps = {IsSignedByMaker, IsSignedBy, RunningProductCode, RunningProductPid};

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

using PlainExport = void(WINAPI*)(const wchar_t*);
using InterfaceExport = INT32(WINAPI*)(const wchar_t*, wchar_t*, UINT32);

template <class Fn>
Fn FindExport(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A REG_SZ value of an open key, read with the byte limit; false when absent or not text.
bool ReadText(HKEY key, const wchar_t* name, DWORD limit_bytes, std::wstring& text) {
  std::vector<wchar_t> buffer(limit_bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD type = 0, size = limit_bytes;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  text.assign(buffer.data(), wcsnlen(buffer.data(), size / sizeof(wchar_t)));
  return true;
}

win::UniqueKey OpenAppSubKey(const wchar_t* sub_key, REGSAM access) {
  std::wstring path = std::wstring(kAppKey) + (sub_key ? std::wstring(L"\\") + sub_key : std::wstring());
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | KEY_WOW64_32KEY, &raw) != ERROR_SUCCESS)
    return win::UniqueKey();
  return win::UniqueKey(raw);
}

std::vector<std::wstring> ValueNames(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    LONG rc = RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) continue;  // a name beyond the buffer cannot name a file of ours
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

std::wstring OemMarker() {
  win::UniqueKey key = OpenAppSubKey(nullptr, KEY_READ);
  std::wstring text;
  if (key) ReadText(key.get(), L"oem_f", 520, text);
  return text;
}

bool IsOneOf(const std::wstring& extension, std::initializer_list<const wchar_t*> candidates) {
  for (const wchar_t* c : candidates)
    if (lstrcmpiW(extension.c_str(), c) == 0) return true;
  return false;
}

std::string ToAnsi(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(n, '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(n - 1);
  return out;
}

}  // namespace

void SetComponentCallDeps(const ComponentCallDeps& deps) { g_deps = deps; }
const ComponentCallDeps& GetComponentCallDeps() { return g_deps; }

namespace component_rules {

DWORD ProgramTimeout(INT32 wait_time) {
  if (wait_time <= 0 || static_cast<DWORD>(wait_time) > kProgramTimeoutCapMs) return kProgramTimeoutCapMs;
  return static_cast<DWORD>(wait_time);
}

std::wstring GuardPidPart(const std::wstring& oem_marker) {
  return !oem_marker.empty() && oem_marker[0] == L'2' ? L"/Pid=tarvo_oem" : L"/Pid=tarvo";
}

std::wstring GuardCommandLine(const std::wstring& guard_path, const std::wstring& oem_marker) {
  return L"\"" + guard_path + L"\" /UnInstallDesk /LockHomePagePath=\"" + guard_path + L"\" " +
         GuardPidPart(oem_marker);
}

std::wstring GameCenterParameters(bool uninstall_game_center) {
  return std::wstring(L"/S /PID=tarvo") + (uninstall_game_center ? L" /UNINSTALL" : L" /NOUNINSTALL");
}

std::wstring RundllCommand(const std::wstring& library, const std::wstring& entry, const std::wstring& cmdline) {
  return L"--dll=\"" + library + L"\" --entry=" + entry + L" " + cmdline;
}

std::wstring RunListExeCommand(const std::wstring& parameters, const std::wstring& product_code,
                               const std::wstring& pid) {
  return parameters + L" --PRODUCT=" + product_code + L" --PID=" + pid;
}

bool RunListNeedsSignature(const std::wstring& parameters) {
  return parameters.find(L"/Regtest") == std::wstring::npos;
}

std::wstring ExtensionOf(const std::wstring& path) {
  const wchar_t* ext = PathFindExtensionW(path.c_str());
  return ext ? ext : L"";
}

std::wstring JoinPath(const std::wstring& directory, const std::wstring& relative) {
  if (directory.empty()) return relative;
  wchar_t last = directory.back();
  return (last == L'\\' || last == L'/') ? directory + relative : directory + L"\\" + relative;
}

}  // namespace component_rules

using namespace component_rules;

void CallExe(const wchar_t* path, const wchar_t* command, bool verify, bool sync, DWORD timeout_ms) {
  if (path && Exists(path)) KillProcessByPath(path);
  const wchar_t* shown_path = path ? path : L"";
  const wchar_t* shown_cmd = command ? command : L"";
  LogPrintf(L"call exe begin, path=[%s] cmd=[%s]", shown_path, shown_cmd);
  bool ok = RunProgram(path, command, SW_SHOWNORMAL, verify, sync, nullptr, timeout_ms);
  LogPrintf(L"call exe return [%d], path=[%s], cmd=[%s], sync[%d]", ok ? 1 : 0, shown_path, shown_cmd,
            sync ? 1 : 0);
}

void CallDllExport(const wchar_t* path, const char* export_name, const wchar_t* text, bool verify) {
  if (!path) return;
  if (verify && !g_deps.isSignedByMaker(path)) {
    LogPrintf(L"file[%s] check sign fail.", path);
    return;
  }
  win::UniqueModule library(LoadLibraryW(path));
  if (!library) return;
  if (auto function = FindExport<PlainExport>(library.get(), export_name)) {
    LogPrintf(L"call dll func start, path=[%s]", path);
    function(text ? text : L"");
    LogPrintf(L"call dll fun end, path=[%s]", path);
  }
}

std::wstring CallDllInterfaceEx(const wchar_t* path, const char* export_name, const wchar_t* text, bool verify) {
  LogPrintf(L"Call Dll Interface Ex ,path=[%s]", path ? path : L"");
  std::wstring answer;
  if (!path) return answer;
  if (verify && !g_deps.isSignedByMaker(path)) {
    LogPrintf(L"file[%s] check sign fail", path);
    return answer;
  }
  win::UniqueModule library(LoadLibraryW(path));
  if (!library) return answer;
  if (auto function = FindExport<InterfaceExport>(library.get(), export_name)) {
    LogPrintf(L"call dll func start, path=[%s]", path);
    const wchar_t* argument = text ? text : L"";
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    INT32 needed = function(argument, buffer.data(), MAX_PATH);
    buffer.back() = L'\0';  // a component that fills the whole buffer still yields a text
    answer = buffer.data();
    if (needed > 0) {
      std::vector<wchar_t> larger(static_cast<size_t>(needed) + 1, L'\0');
      function(argument, larger.data(), static_cast<UINT32>(needed) + 1);
      larger.back() = L'\0';
      answer = larger.data();
    }
    LogPrintf(L"call dll fun end, path=[%s]", path);
  }
  return answer;
}

bool CallProgramsOnUninst(const ISetupConfig* config, const wchar_t* install_dir) {
  if (!install_dir || !config) return true;
  for (int i = 0; i < config->GetUninstallProgramCount(); ++i) {
    ProgramRecord record;
    if (!config->GetUninstallProgram(i, &record)) continue;
    std::wstring path = JoinPath(install_dir, record.fileName);
    if (!Exists(path)) {
      LogPrintf(L"file[%s] is not exist", path.c_str());
      continue;
    }
    bool signed_ok = record.signType[0] ? g_deps.isSignedBy(path.c_str(), record.signType)
                                        : g_deps.isSignedByMaker(path.c_str());
    if (!signed_ok) {
      LogPrintf(L"check sign fail, signType[%s], filepath[%s]", record.signType, path.c_str());
      continue;
    }
    if (lstrcmpiW(record.type, L"exe") == 0) {
      CallExe(path.c_str(), record.cmdline, false, record.sync != 0, ProgramTimeout(record.waitTime));
    } else if (lstrcmpiW(record.type, L"dll") == 0) {
      CallDllExport(path.c_str(), ToAnsi(record.funcName).c_str(), record.para, false);
    }
  }
  return true;
}

bool RundllUnRegister(const std::vector<UnregisterRecord>& items, const wchar_t* install_dir) {
  if (!install_dir) return false;
  // The host's bitness must match the libraries it loads: a 64-bit system gets the 64-bit host.
  BOOL wow64 = FALSE;
  bool system64 = sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
  std::wstring host = JoinPath(install_dir, system64 ? L"Utils\\rundll64.exe" : L"Utils\\rundll.exe");
  if (!g_deps.isSignedByMaker(host.c_str())) return false;
  for (const UnregisterRecord& item : items) {
    std::wstring library = JoinPath(install_dir, item.fileName);
    if (!Exists(library)) {
      LogPrintf(L"file[%s] is not exist", library.c_str());
      continue;
    }
    std::wstring command = RundllCommand(library, item.entry, item.cmdline);
    CallExe(host.c_str(), command.c_str(), false, true, static_cast<DWORD>(item.waitTime));
  }
  return true;
}

void GuardRelease(const wchar_t* install_dir) {
  if (!install_dir) return;
  std::wstring path = JoinPath(install_dir, L"Utils\\daverud.exe");
  if (!g_deps.isSignedByMaker(path.c_str())) return;
  std::wstring command = GuardCommandLine(path, OemMarker());
  std::vector<wchar_t> writable(command.begin(), command.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return;
  win::UniqueHandle process(info.hProcess), thread(info.hThread);
  if (WaitForSingleObject(process.get(), kGuardTimeoutMs) == WAIT_TIMEOUT) LogPrintf(L"等待进程退出超时");
}

void GameCenterUninstall(const wchar_t* install_dir, bool uninstall_game_center) {
  if (!install_dir) return;
  std::wstring parameters = GameCenterParameters(uninstall_game_center);
  std::wstring library = JoinPath(install_dir, L"Utils\\mvkgamecenter_tarvo.dll");
  if (g_deps.isSignedByMaker(library.c_str())) {
    win::UniqueModule module(LoadLibraryW(library.c_str()));
    if (module) {
      if (auto start = FindExport<PlainExport>(module.get(), "Start4RunDll")) {
        start(parameters.c_str());
        // The game centre may keep working on its own threads: it stays loaded.
        module.release();
        return;
      }
    }
  }
  std::wstring program = JoinPath(install_dir, L"Utils\\mvkgamecenter_tarvo.exe");
  RunProgram(program.c_str(), parameters.c_str(), SW_SHOWNORMAL, true, true, nullptr, kGameCenterTimeoutMs);
  LogPrintf(L"Call exe:%s,param:%s", program.c_str(), parameters.c_str());
}

void RunListUninstall(const wchar_t* install_dir) {
  if (!install_dir || !Exists(install_dir)) return;
  win::UniqueKey key = OpenAppSubKey(L"run_list", KEY_ALL_ACCESS);
  if (!key) return;
  for (const std::wstring& name : ValueNames(key.get())) {
    std::wstring path = JoinPath(install_dir, name);
    if (!Exists(path)) continue;
    std::wstring parameters;
    ReadText(key.get(), name.c_str(), MAX_PATH, parameters);
    bool verify = RunListNeedsSignature(parameters);
    if (!verify) LogPrintf(L"Regtest, no need to check sign.");
    std::wstring extension = ExtensionOf(path);
    LogPrintf(L"file extension:%s", extension.c_str());
    if (IsOneOf(extension, {L".DLL", L".TPI"})) {
      std::wstring answer = CallDllInterfaceEx(path.c_str(), "Uninst", parameters.c_str(), verify);
      LogPrintf(L"CallDllInterfaceEx return value=%s", answer.c_str());
    } else if (IsOneOf(extension, {L".EXE"})) {
      std::wstring command = RunListExeCommand(parameters, g_deps.productCode(), g_deps.productPid());
      KillProcessByPath(path.c_str());
      LogPrintf(L"call exe begin, path=[%s] ,cmd=[%s]", path.c_str(), command.c_str());
      bool ok = RunProgram(path.c_str(), command.c_str(), SW_SHOWNORMAL, verify, true, nullptr, kRunListTimeoutMs);
      LogPrintf(L"call exe return [%d], path=[%s], cmd=[%s], sync[%d]", ok ? 1 : 0, path.c_str(), command.c_str(), 1);
    }
  }
}

void FilePeUninstall(const wchar_t* install_dir) {
  if (!install_dir || !Exists(install_dir)) return;
  win::UniqueKey key = OpenAppSubKey(L"file_pe", KEY_ALL_ACCESS);
  if (!key) return;
  for (const std::wstring& name : ValueNames(key.get())) {
    std::wstring path = JoinPath(install_dir, name);
    std::wstring data;
    if (!Exists(path) || !ReadText(key.get(), name.c_str(), 4096, data)) continue;
    std::wstring extension = ExtensionOf(path);
    if (IsOneOf(extension, {L".dll"})) {
      if (!g_deps.isSignedByMaker(path.c_str())) {
        LogPrintf(L"file[%s] check sign fail.", path.c_str());
        continue;
      }
      win::UniqueModule library(LoadLibraryW(path.c_str()));
      if (!library) continue;
      if (auto function = FindExport<PlainExport>(library.get(), "Uninst")) {
        LogPrintf(L"call dll func start, path=[%s]", path.c_str());
        function(data.c_str());
        LogPrintf(L"call dll fun end, path=[%s]", path.c_str());
      }
    } else if (IsOneOf(extension, {L".exe"})) {
      std::wstring command = data + L" /uninstall /product=tarvo";
      CallExe(path.c_str(), command.c_str(), true, true, kFilePeTimeoutMs);
    }
  }
}
