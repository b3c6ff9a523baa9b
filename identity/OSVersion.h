#pragma once
// The Windows version, more reliably than the compatibility-shimmed version query: the highest
// of GetVersionExW, the native RtlGetVersion and the product version of the kernel image.
#include <windows.h>

#include <functional>
#include <string>

namespace identity {

// The three sources and the WOW64 test, replaceable so the decision can be tested with
// version numbers the test machine does not have.
struct OSVersionSources {
  std::function<bool(OSVERSIONINFOEXW&)> getVersionEx;
  std::function<bool(OSVERSIONINFOEXW&)> rtlGetVersion;  // false when missing or failing
  std::function<std::wstring()> windowsDirectory;         // empty when unavailable
  // Product version of a PE image's version resource: major, minor, build.
  std::function<bool(const std::wstring& image, WORD& major, WORD& minor, WORD& build)> imageProductVersion;
  std::function<bool()> isWow64;
};
OSVersionSources SystemOSVersionSources();

// "<windows>\SysNative\ntoskrnl.exe" under WOW64 (the redirected System32 would show the
// 32-bit view), else "<windows>\System32\ntoskrnl.exe"; empty when the directory is not 1 to
// 259 characters or the joined path does not fit.
std::wstring KernelImagePath(const std::wstring& windows_dir, bool wow64);

// Fills out from the sources; returns the state: 0 from the version queries, 1 when the kernel
// image's product version raised it. Never worse than getVersionEx.
int QueryVersionWith(const OSVersionSources& sources, OSVERSIONINFOEXW& out);

// Process-wide probe, created once on first use and destroyed at exit.
class COSVersionCheck {
 public:
  static COSVersionCheck& Instance();
  virtual ~COSVersionCheck() = default;

  // Always true; also sets the state.
  bool QueryVersion(OSVERSIONINFOEXW& out);
  // IsWow64Process of this process, resolved at run time; false when missing or failing.
  static bool IsWow64();

  int State() const { return state_; }  // -1 until a version was determined
  const OSVERSIONINFOEXW& Version() const { return version_; }

  COSVersionCheck(const COSVersionCheck&) = delete;
  COSVersionCheck& operator=(const COSVersionCheck&) = delete;

 private:
  COSVersionCheck();
  int state_ = -1;
  OSVERSIONINFOEXW version_{};
};

// Major and minor version of the probe (the stored record, or a fresh query while none).
void GetOSVersionNumbers(DWORD& major, DWORD& minor);

}  // namespace identity
