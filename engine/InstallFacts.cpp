#include "engine/InstallFacts.h"

#include <cwchar>
#include <cwctype>
#include <vector>

#include "common/UniqueHandle.h"

bool ReadRegText(HKEY root, const wchar_t* sub_key, const wchar_t* name, REGSAM view, std::wstring& out) {
  win::UniqueKey key;
  if (::RegOpenKeyExW(root, sub_key, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return false;
  wchar_t buffer[MAX_PATH] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  size_t length = size / sizeof(wchar_t);
  // A value that fills the whole buffer has no room for its terminator: too long.
  while (length && buffer[length - 1] == 0) --length;
  if (length >= MAX_PATH) return false;
  out.assign(buffer, length);
  return true;
}

std::wstring ReadInstallDir() {
  std::wstring dir;
  if (!ReadRegText(HKEY_LOCAL_MACHINE, kApplicationKey, L"path", KEY_WOW64_32KEY, dir)) return std::wstring();
  DWORD attributes = ::GetFileAttributesW(dir.c_str());
  if (dir.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::wstring();
  return dir;
}

std::wstring ReadPid() {
  std::wstring pid;
  if (!ReadRegText(HKEY_CURRENT_USER, L"Software\\orbWallPaper", L"pid", 0, pid)) return std::wstring();
  size_t end = pid.size();
  while (end && std::iswspace(pid[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && std::iswspace(pid[begin])) ++begin;
  return pid.substr(begin, end - begin);
}

bool ReadGameCenterOwned() {
  std::wstring vendor;
  if (!ReadRegText(HKEY_LOCAL_MACHINE, kGameCenterKey, L"VendorID", KEY_WOW64_32KEY, vendor)) return false;
  for (wchar_t& c : vendor) c = static_cast<wchar_t>(std::towlower(c));
  return vendor.find(L"tarvo") != std::wstring::npos;
}

bool ReadGameCenterUnplayed() {
  std::wstring played;
  if (!ReadRegText(HKEY_LOCAL_MACHINE, kGameCenterKey, L"Played", KEY_WOW64_32KEY, played)) return true;
  return played.empty();
}

bool IsSystem64Bit() {
  static const bool answer = [] {
    using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
    using Wow64Process2 = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return sizeof(void*) == 8;
    if (auto native = reinterpret_cast<NativeInfo>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "GetNativeSystemInfo")))) {
      SYSTEM_INFO info{};
      native(&info);
      WORD arch = info.wProcessorArchitecture;
      if (arch == PROCESSOR_ARCHITECTURE_IA64 || arch == PROCESSOR_ARCHITECTURE_AMD64 || arch == 12) return true;
    }
    if (auto wow2 = reinterpret_cast<Wow64Process2>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process2")))) {
      USHORT process = 0, machine = 0;
      if (wow2(::GetCurrentProcess(), &process, &machine) && machine == 0xAA64) return true;
    }
    return sizeof(void*) == 8;  // a 64-bit build only runs on a 64-bit system
  }();
  return answer;
}

bool IsWindows10OrLater(DWORD major, DWORD minor) { return major > 9 || (major == 6 && minor == 4); }

namespace {

bool RunningOnWindows10() {
  static const bool answer = [] {
    using Numbers = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto get = ntdll ? reinterpret_cast<Numbers>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetNtVersionNumbers")))
                     : nullptr;
    if (!get) return false;
    DWORD major = 0, minor = 0, build = 0;
    get(&major, &minor, &build);
    return IsWindows10OrLater(major, minor);
  }();
  return answer;
}

}  // namespace

bool VersionTextFromInfo(const void* info, bool use_string_version, std::wstring& out) {
  if (use_string_version) {
    struct Translation {
      WORD language, code_page;
    };
    Translation* pairs = nullptr;
    UINT size = 0;
    if (::VerQueryValueW(info, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pairs), &size) && pairs) {
      for (UINT i = 0; i < size / sizeof(Translation); ++i) {
        wchar_t query[64];
        ::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", pairs[i].language, pairs[i].code_page);
        wchar_t* text = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(info, query, reinterpret_cast<void**>(&text), &length) || !text) continue;
        std::wstring version;
        for (const wchar_t* p = text; *p; ++p) {
          if (*p == L' ') continue;
          version.push_back(*p == L',' ? L'.' : *p);
        }
        if (!version.empty()) {
          out = version;
          return true;
        }
      }
    }
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  if (!::VerQueryValueW(info, L"\\", reinterpret_cast<void**>(&fixed), &size) || !fixed || size < sizeof(*fixed))
    return false;
  wchar_t text[64];
  ::swprintf(text, 64, L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
             HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  out = text;
  return true;
}

bool GetProductVersionText(const wchar_t* path, std::wstring& out) {
  if (!path) return false;
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  if (!size) return false;
  std::vector<BYTE> info(size);
  if (!::GetFileVersionInfoW(path, 0, size, info.data())) return false;
  return VersionTextFromInfo(info.data(), RunningOnWindows10() && !IsSystem64Bit(), out);
}
