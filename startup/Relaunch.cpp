#include "startup/Relaunch.h"

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "common/RegistryText.h"
#include "common/UniqueHandle.h"
#include "engine/FileRemoval.h"
#include "engine/RunProgram.h"
#include "identity/Mid.h"
#include "services/Codecs.h"
#include "services/Statistic.h"
#include "startup/CommandParser.h"
#include "startup/EntrySeams.h"
#include "startup/EntrySequence.h"
#include "startup/SmartLogger.h"

namespace {

constexpr DWORD kPathChars = MAX_PATH;

std::wstring TempDirectoryForCopy() {
  std::vector<wchar_t> buffer(1024, L'\0');
  DWORD length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (!length || length >= buffer.size()) return std::wstring();
  return std::wstring(buffer.data(), length);
}

bool CopyOver(const std::wstring& from, const std::wstring& to) {
  return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

}  // namespace

bool ReadInstallDirectory(std::wstring& directory) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &raw) != ERROR_SUCCESS)
    return false;
  win::UniqueKey key(raw);
  // One spare character: a value written without its terminating zero still ends here.
  wchar_t buffer[kPathChars + 1] = {};
  DWORD type = 0;
  DWORD size = kPathChars * sizeof(wchar_t);
  if (::RegQueryValueExW(key.get(), L"path", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  buffer[kPathChars] = L'\0';
  directory = buffer;
  return !directory.empty();
}

bool RepairInstallDirectory(const std::wstring& directory) {
  HKEY raw = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                        &raw, nullptr) != ERROR_SUCCESS)
    return false;
  win::UniqueKey key(raw);
  ::RegDeleteValueW(key.get(), L"path");
  return win::SetUnterminatedText(key.get(), L"path", directory) == ERROR_SUCCESS;
}

bool PathIsDirectory(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathIsFile(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring JoinPath(const std::wstring& directory, const std::wstring& name) {
  std::wstring joined = directory;
  while (!joined.empty() && (joined.back() == L'\\' || joined.back() == L'/')) joined.pop_back();
  return joined + L"\\" + name;
}

std::wstring GetParentProcessPath() {
  struct BasicInformation {
    LONG_PTR exit_status;
    void* peb;
    ULONG_PTR affinity_mask;
    LONG_PTR base_priority;
    ULONG_PTR unique_process_id;
    ULONG_PTR inherited_from_unique_process_id;
  };
  using QueryFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return std::wstring();
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryInformationProcess")));
  if (!query) return std::wstring();
  BasicInformation info = {};
  ULONG returned = 0;
  if (query(::GetCurrentProcess(), 0, &info, sizeof(info), &returned) < 0) return std::wstring();
  if (info.inherited_from_unique_process_id == static_cast<ULONG_PTR>(-1)) return std::wstring();
  win::UniqueHandle parent(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                         static_cast<DWORD>(info.inherited_from_unique_process_id)));
  if (!parent) return std::wstring();
  std::vector<wchar_t> name(1024, L'\0');
  DWORD length = ::GetModuleFileNameExW(parent.get(), nullptr, name.data(), static_cast<DWORD>(name.size()));
  if (!length) return std::wstring();
  std::wstring path(name.data(), length < name.size() ? length : name.size() - 1);
  if (path.find(L'~') != std::wstring::npos) {
    std::vector<wchar_t> long_name(1024, L'\0');
    DWORD long_length = ::GetLongPathNameW(path.c_str(), long_name.data(), static_cast<DWORD>(long_name.size()));
    if (long_length && long_length < long_name.size()) path.assign(long_name.data(), long_length);
  }
  if (path.size() > MAX_PATH - 1) path.resize(MAX_PATH - 1);
  return path;
}

std::wstring NativeOsVersionText() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  auto get_version = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                                 reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
                           : nullptr;
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  bool known = get_version && get_version(&info) >= 0;
  return entry::OsVersionText(known, info.dwMajorVersion, info.dwMinorVersion);
}

std::wstring MachineIdText() {
  wchar_t buffer[MAX_PATH] = {};
  if (!GetMid(buffer, MAX_PATH)) return std::wstring();
  return buffer;
}

std::wstring MakeCallerToken() { return EncryptTextW(entry::kCallerWord, MachineIdText()); }

bool IsLegalCall() {
  CCommandParser* command_line = CCommandParser::Instance();
  if (!command_line) return false;
  std::wstring token;
  command_line->GetSwitchValue(entry::kCallerTokenSwitch, token);
  bool silent = command_line->IsSilent();
  bool relaunched = command_line->HasSwitch(entry::kReadyUninstall);
  if (!silent || !relaunched) return true;
  return entry::IsLegalCallToken(silent, relaunched, token, MachineIdText(),
                                 [](const std::wstring& cipher, const std::wstring& key) {
                                   return DecryptTextW(cipher, key);
                                 });
}

bool RelaunchFromTemp(const std::wstring& command_line) {
  // 1. The install directory; an installation whose key lost "path" is recognised by the main
  // program beside this executable.
  std::wstring install_dir;
  if (!ReadInstallDirectory(install_dir)) {
    std::wstring own_dir = RunningExeDirectory();
    if (!PathIsFile(own_dir + L"vantel.exe")) return false;
    while (!own_dir.empty() && own_dir.back() == L'\\') own_dir.pop_back();
    install_dir = own_dir;
    RepairInstallDirectory(install_dir);
  }

  // 2. A fresh temporary cache directory.
  std::wstring temp_dir = entry::ChooseTemporaryCacheDir(
      TempDirectoryForCopy(), [] { return NewTemporaryCacheName(); },
      [](const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; });
  if (temp_dir.empty()) return false;
  if (PathIsFile(temp_dir)) ::DeleteFileW(temp_dir.c_str());
  ::SHCreateDirectoryExW(nullptr, temp_dir.c_str(), nullptr);
  if (!PathIsDirectory(temp_dir)) return false;
  // A relaunch that fails from here on leaves no half-made copy behind.
  auto fail = [&temp_dir] {
    PurgeTree(temp_dir.c_str());
    return false;
  };

  // 3-5. The uninstaller and the two libraries it loads from its own directory.
  std::wstring source = JoinPath(install_dir, L"Uninstall.exe");
  if (!PathIsFile(source)) source = JoinPath(install_dir, L"Rodudave.exe");
  std::wstring copy = JoinPath(temp_dir, L"Uninstall.exe");
  if (!CopyOver(source, copy)) return fail();

  std::wstring http_library = JoinPath(install_dir, L"vevevevivarudir\\VuzOD.dll");
  if (!PathIsFile(http_library)) http_library = JoinPath(install_dir, L"orbVuzOD.dll");
  CopyOver(http_library, JoinPath(temp_dir, L"VuzOD.dll"));

  if (!CopyOver(JoinPath(install_dir, L"Utils\\7z.dll"), JoinPath(temp_dir, L"7z.dll"))) return fail();

  // 6. Who started the uninstall, reported before the copy runs.
  std::wstring parent = GetParentProcessPath();
  LogPrintf(L"parent process path= %s", parent.c_str());
  std::wstring extra = entry::UninstallFromExtra(entry::ProgramNameOfPath(parent), NativeOsVersionText());
  if (CStatistic* statistic = CStatistic::Instance()) statistic->Report(L"uninstall_from", extra.c_str(), true);

  // 7. The product's basic library.
  std::wstring utils = JoinPath(temp_dir, L"Utils");
  ::CreateDirectoryW(utils.c_str(), nullptr);
  CopyOver(JoinPath(install_dir, L"Utils\\MVKBasic.dll"), JoinPath(utils, L"MVKBasic.dll"));

  // 8-9. Only a copy signed by the product's publishers is started.
  CCommandParser* parser = CCommandParser::Instance();
  bool silent = parser && parser->IsSilent();
  std::wstring parameters = entry::BuildCopyParameters(command_line, silent, silent ? MakeCallerToken() : L"");
  if (!RunProgram(copy.c_str(), parameters.c_str(), SW_SHOWNORMAL, true, false, nullptr, 0)) return fail();
  return true;
}

void OfferReinstall() {
  if (ShowEntryMessage(entry::kBrokenUninstallerText, kEntryBoxYesNo) == IDYES) {
    ::ShellExecuteW(nullptr, L"open", entry::kReinstallPage, nullptr, nullptr, SW_SHOWNORMAL);
  }
}
