#include "identity/OSVersion.h"

#include <windows.h>
#include <shlwapi.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "common/UniqueHandle.h"

namespace identity {

namespace {

DWORD Rank(const OSVERSIONINFOEXW& v) { return v.dwMajorVersion * 10 + v.dwMinorVersion; }

void ClearRecord(OSVERSIONINFOEXW& v) {
  std::memset(&v, 0, sizeof(v));
  v.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);  // 284
}

bool SystemGetVersionEx(OSVERSIONINFOEXW& v) {
  return ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v)) != FALSE;
}

bool SystemRtlGetVersion(OSVERSIONINFOEXW& v) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll");
  if (!ntdll) return false;
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto fn = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  return fn && fn(reinterpret_cast<OSVERSIONINFOW*>(&v)) == 0;
}

std::wstring SystemWindowsDirectory() {
  wchar_t dir[MAX_PATH] = {};
  UINT length = ::GetSystemWindowsDirectoryW(dir, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(dir, length) : std::wstring();
}

bool SystemImageProductVersion(const std::wstring& image, WORD& major, WORD& minor, WORD& build) {
  std::vector<BYTE> block;
  {
    win::UniqueModule module(::LoadLibraryExW(image.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return false;
    HRSRC info = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16) /* RT_VERSION */);
    if (!info) return false;
    DWORD size = ::SizeofResource(module.get(), info);
    HGLOBAL loaded = ::LoadResource(module.get(), info);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size == 0) return false;
    // VerQueryValueW needs a writable copy that outlives the module.
    block.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO))
    return false;
  major = HIWORD(fixed->dwProductVersionMS);
  minor = LOWORD(fixed->dwProductVersionMS);
  build = HIWORD(fixed->dwProductVersionLS);
  return true;
}

}  // namespace

OSVersionSources SystemOSVersionSources() {
  return {SystemGetVersionEx, SystemRtlGetVersion, SystemWindowsDirectory, SystemImageProductVersion,
          &COSVersionCheck::IsWow64};
}

std::wstring KernelImagePath(const std::wstring& windows_dir, bool wow64) {
  if (windows_dir.empty() || windows_dir.size() >= MAX_PATH) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  if (!::PathCombineW(path, windows_dir.c_str(), wow64 ? L"SysNative\\ntoskrnl.exe" : L"System32\\ntoskrnl.exe"))
    return std::wstring();
  return path;
}

int QueryVersionWith(const OSVersionSources& sources, OSVERSIONINFOEXW& out) {
  ClearRecord(out);
  if (sources.getVersionEx) sources.getVersionEx(out);
  bool wow64 = sources.isWow64 && sources.isWow64();
  // 64-bit XP / Server 2003 under WOW64: the plain query is already right.
  if (out.dwMajorVersion == 5 && wow64) return 0;

  DWORD best = Rank(out);
  OSVERSIONINFOEXW native;
  ClearRecord(native);
  if (sources.rtlGetVersion && sources.rtlGetVersion(native) && Rank(native) > best) {
    out = native;
    best = Rank(native);
  }

  std::wstring image = KernelImagePath(sources.windowsDirectory ? sources.windowsDirectory() : std::wstring(), wow64);
  WORD major = 0, minor = 0, build = 0;
  if (!image.empty() && sources.imageProductVersion && sources.imageProductVersion(image, major, minor, build) &&
      DWORD(major) * 10 + minor > best) {
    out.dwMajorVersion = major;
    out.dwMinorVersion = minor;
    out.dwBuildNumber = build;
    return 1;
  }
  return 0;
}

COSVersionCheck::COSVersionCheck() { QueryVersion(version_); }

bool COSVersionCheck::QueryVersion(OSVERSIONINFOEXW& out) {
  state_ = QueryVersionWith(SystemOSVersionSources(), out);
  return true;
}

bool COSVersionCheck::IsWow64() {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32");
  if (!kernel) return false;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto fn = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  return fn && fn(::GetCurrentProcess(), &wow64) && wow64;
}

COSVersionCheck& COSVersionCheck::Instance() {
  // 0: none, 1: being created, 2: ready. Losers of the race wait for the winner.
  static std::atomic<long> state{0};
  static std::unique_ptr<COSVersionCheck> instance;  // destroyed at exit
  long expected = 0;
  if (state.compare_exchange_strong(expected, 1)) {
    instance.reset(new COSVersionCheck());
    state = 2;
  } else {
    while (state.load() != 2) ::Sleep(1);
  }
  return *instance;
}

void GetOSVersionNumbers(DWORD& major, DWORD& minor) {
  COSVersionCheck& check = COSVersionCheck::Instance();
  OSVERSIONINFOEXW own;
  const OSVERSIONINFOEXW* v = &check.Version();
  if (check.State() == -1) {
    check.QueryVersion(own);
    v = &own;
  }
  major = v->dwMajorVersion;
  minor = v->dwMinorVersion;
}

}  // namespace identity
