#include "engine/ProcessControl.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <vector>

#include "common/UniqueHandle.h"
#include "config/ISetupConfig.h"
#include "startup/SmartLogger.h"

namespace {

const wchar_t kQuitMessageName[] = L"orbwallpaper_quit";
const wchar_t kWidgetWindowClass[] = L"orbWallPaperCtrlCls";
const wchar_t* const kKnownExecutables[] = {L"\\kestotray.exe", L"\\vantelmain.exe", L"\\Lumetta.exe",
                                            L"\\rodozivo.exe",  L"\\dazovoze.exe",   L"\\vantel.exe"};
const wchar_t kSpareProgram[] = L"ZavAdo\\ZavAdo.exe";
const DWORD kMaxProcesses = 2048;
const DWORD kImageCapacity = 1024;
// The widget window redraws the desktop as it goes; give it time before the kill stage.
const DWORD kWidgetPauseMs = 2000;

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

bool EnumerateProcesses(std::vector<DWORD>& ids) {
  ids.assign(kMaxProcesses, 0);
  DWORD bytes = 0;
  if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return false;
  ids.resize(bytes / sizeof(DWORD));
  return true;
}

// The parent's id from the basic information record; 0 when it cannot be read.
DWORD ParentProcessId() {
  using QueryFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return 0;
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
  if (!query) return 0;
  win::UniqueHandle self(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()));
  if (!self) return 0;
  // The record's layout follows the platform: six pointer-sized fields, the last the parent.
  ULONG_PTR info[6] = {};
  ULONG returned = 0;
  if (query(self.get(), 0 /* ProcessBasicInformation */, info, sizeof(info), &returned) < 0) return 0;
  return static_cast<DWORD>(info[5]);
}

std::wstring ImagePathOf(DWORD pid) {
  std::vector<wchar_t> buffer(kImageCapacity + 1, L'\0');
  if (GetProcessImagePath(pid, buffer.data(), kImageCapacity) == 0) return std::wstring();
  buffer[kImageCapacity] = L'\0';
  return buffer.data();
}

void Terminate(DWORD pid, const std::wstring& image) {
  win::UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  if (process) TerminateProcess(process.get(), 0);
  LogPrintf(L"Kill process: %s", image.c_str());
}

}  // namespace

namespace process_rules {

bool IsInside(const std::wstring& upper_image, const std::wstring& upper_directory) {
  size_t n = upper_directory.size();
  if (n == 0 || upper_image.size() <= n || upper_image.compare(0, n, upper_directory) != 0) return false;
  wchar_t last = upper_directory[n - 1];
  if (last == L'\\' || last == L'/') return true;
  return upper_image[n] == L'\\' || upper_image[n] == L'/';
}

bool IsSpared(const std::wstring& image, const std::wstring& directory) {
  std::wstring spare = directory;
  if (!spare.empty() && spare.back() != L'\\' && spare.back() != L'/') spare += L'\\';
  spare += kSpareProgram;
  return lstrcmpiW(image.c_str(), spare.c_str()) == 0;
}

}  // namespace process_rules

bool EnableDebugPrivilege() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return false;
  win::UniqueHandle token(raw);
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return false;
  return AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr) != FALSE;
}

DWORD GetProcessImagePath(DWORD pid, wchar_t* buffer, DWORD capacity) {
  if (!buffer || capacity < 100) return 0;
  win::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) {
    LogPrintf(L"[kill] OpenProcess Failed: pid = %d, error = %d", static_cast<int>(pid),
              static_cast<int>(GetLastError()));
    return 0;
  }
  std::vector<wchar_t> name(kImageCapacity, L'\0');
  DWORD length = GetModuleFileNameExW(process.get(), nullptr, name.data(), kImageCapacity);
  if (length == 0) {
    LogPrintf(L"[kill] GetModuleFileNameEx Failed: pid = %d, error = %d", static_cast<int>(pid),
              static_cast<int>(GetLastError()));
  }
  std::wstring image(name.data(), std::min<DWORD>(length, kImageCapacity));
  if (image.find(L'~') != std::wstring::npos) {
    std::vector<wchar_t> long_name(kImageCapacity, L'\0');
    DWORD n = GetLongPathNameW(image.c_str(), long_name.data(), kImageCapacity);
    if (n >= 1 && n < kImageCapacity) image.assign(long_name.data(), n);
  }
  size_t copied = std::min<size_t>(image.size(), capacity - 1);
  image.copy(buffer, copied);
  buffer[copied] = L'\0';
  return length;
}

int KillProcessesUnder(const wchar_t* directory, int* killed) {
  LogPrintf(L"enter KillMultiProcesses");
  if (!directory) return 0;
  size_t length = wcslen(directory);
  if (length < 4 || length > MAX_PATH) return 0;
  if (killed) *killed = 0;
  EnableDebugPrivilege();

  std::vector<DWORD> ids;
  if (!EnumerateProcesses(ids)) {
    LogPrintf(L"EnumProcesses fail dwError = %lu", GetLastError());
    return 0;
  }
  const std::wstring dir(directory);
  const std::wstring upper_dir = Upper(dir);
  const DWORD self = GetCurrentProcessId();
  const DWORD parent = ParentProcessId();
  int count = 0;
  for (DWORD pid : ids) {
    if (pid == 0 || pid == self || (parent != 0 && pid == parent)) continue;
    std::wstring image = ImagePathOf(pid);
    if (image.empty() || !process_rules::IsInside(Upper(image), upper_dir)) continue;
    if (process_rules::IsSpared(image, dir)) {
      LogPrintf(L"Ignore process : %s", image.c_str());
      continue;
    }
    win::UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (process) TerminateProcess(process.get(), 0);
    LogPrintf(L"Kill process: %s", image.c_str());
    ++count;
  }
  if (killed) *killed = count;
  LogPrintf(L"end KillMultiProcesses");
  return 0;
}

int KillProcessByPath(const wchar_t* path) {
  if (!path || wcslen(path) > MAX_PATH) return 0;
  EnableDebugPrivilege();
  std::vector<DWORD> ids;
  if (!EnumerateProcesses(ids)) return 0;
  const std::wstring upper_path = Upper(path);
  for (DWORD pid : ids) {
    if (pid == 0) continue;
    std::wstring image = ImagePathOf(pid);
    if (!image.empty() && Upper(image) == upper_path) Terminate(pid, image);
  }
  return 0;
}

void KillProcessesInInstallPath(const wchar_t* directory) {
  LogPrintf(L"enter KillProcessesInInstallPath szTargetDir=%s", directory ? directory : L"");
  if (!directory || wcslen(directory) <= 4) return;
  KillProcessesUnder(directory);
  for (const wchar_t* name : kKnownExecutables) {
    std::wstring path = std::wstring(directory) + name;
    KillProcessByPath(path.c_str());
  }
  LogPrintf(L"end KillProcessesInInstallPath");
}

void CloseAllPrograms(const ISetupConfig* config, const wchar_t* install_dir) {
  UINT quit = RegisterWindowMessageW(kQuitMessageName);
  if (quit != 0) SendNotifyMessageW(HWND_BROADCAST, quit, 0, 0);
  int count = config ? config->GetCloseProgramCount() : 0;
  for (int i = 0; i < count; ++i) {
    CloseProgramRecord record;
    if (!config->GetCloseProgram(i, &record)) continue;
    HWND window = FindWindowW(record.windowClass, nullptr);
    if (!window) continue;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, record.message, static_cast<WPARAM>(record.wParam),
                        static_cast<LPARAM>(record.lParam), SMTO_NORMAL, record.timeout, &ignored);
    if (lstrcmpiW(record.windowClass, kWidgetWindowClass) == 0) Sleep(kWidgetPauseMs);
    LogPrintf(L"Send msg to %s wnd", record.windowClass);
  }
  KillProcessesInInstallPath(install_dir);
}
