// The operating-system probe: the highest of the three sources, by version numbers.
#include <gtest/gtest.h>

#include <windows.h>
#include <string>

#include "identity/OSVersion.h"

namespace {

using identity::OSVersionSources;

struct Version {
  DWORD major, minor, build;
};

struct Case {
  const char* what;
  Version plain;         // GetVersionExW (possibly shimmed)
  bool has_native;
  Version native;        // RtlGetVersion
  bool has_image;
  Version image;         // product version of ntoskrnl.exe
  bool wow64;
  Version expected;
  int state;
};

OSVersionSources Fake(const Case& c, std::wstring* image_seen) {
  OSVersionSources s;
  s.getVersionEx = [c](OSVERSIONINFOEXW& v) {
    v.dwMajorVersion = c.plain.major;
    v.dwMinorVersion = c.plain.minor;
    v.dwBuildNumber = c.plain.build;
    v.wServicePackMajor = 1;  // from the plain query, must survive a kernel-image raise
    return true;
  };
  s.rtlGetVersion = [c](OSVERSIONINFOEXW& v) {
    if (!c.has_native) return false;
    EXPECT_EQ(v.dwOSVersionInfoSize, 284u);
    v.dwMajorVersion = c.native.major;
    v.dwMinorVersion = c.native.minor;
    v.dwBuildNumber = c.native.build;
    v.wServicePackMajor = 1;
    return true;
  };
  s.windowsDirectory = [] { return std::wstring(L"C:\\windows"); };
  s.imageProductVersion = [c, image_seen](const std::wstring& image, WORD& major, WORD& minor, WORD& build) {
    if (image_seen) *image_seen = image;
    if (!c.has_image) return false;
    major = WORD(c.image.major);
    minor = WORD(c.image.minor);
    build = WORD(c.image.build);
    return true;
  };
  s.isWow64 = [c] { return c.wow64; };
  return s;
}

TEST(QueryVersionWith, TakesTheHighestSource) {
  const Case cases[] = {
      {"shimmed 6.2, native 10.0", {6, 2, 9200}, true, {10, 0, 19045}, true, {10, 0, 19041}, false, {10, 0, 19045}, 0},
      {"shimmed 6.2, native missing, image 10.0", {6, 2, 9200}, false, {}, true, {10, 0, 19041}, false,
       {10, 0, 19041}, 1},
      {"native 6.3 beats plain, image 10.0 beats both", {6, 2, 9200}, true, {6, 3, 9600}, true, {10, 0, 17763},
       false, {10, 0, 17763}, 1},
      {"all agree", {6, 1, 7601}, true, {6, 1, 7601}, true, {6, 1, 7601}, false, {6, 1, 7601}, 0},
      {"image older than native", {6, 2, 9200}, true, {10, 0, 22631}, true, {6, 3, 9600}, false, {10, 0, 22631}, 0},
      {"no source but the plain query", {6, 0, 6002}, false, {}, false, {}, false, {6, 0, 6002}, 0},
      {"XP x64 under WOW64: plain query only", {5, 2, 3790}, true, {6, 0, 1}, true, {6, 0, 1}, true, {5, 2, 3790}, 0},
      {"XP without WOW64 is refined", {5, 1, 2600}, true, {5, 2, 3790}, false, {}, false, {5, 2, 3790}, 0},
  };
  for (const Case& c : cases) {
    OSVERSIONINFOEXW v;
    int state = identity::QueryVersionWith(Fake(c, nullptr), v);
    EXPECT_EQ(v.dwOSVersionInfoSize, 284u) << c.what;
    EXPECT_EQ(v.dwMajorVersion, c.expected.major) << c.what;
    EXPECT_EQ(v.dwMinorVersion, c.expected.minor) << c.what;
    EXPECT_EQ(v.dwBuildNumber, c.expected.build) << c.what;
    EXPECT_EQ(v.wServicePackMajor, 1) << c.what;
    EXPECT_EQ(state, c.state) << c.what;
  }
}

TEST(QueryVersionWith, ReadsTheKernelImageThroughSysNativeUnderWow64) {
  Case c = {"", {6, 2, 9200}, false, {}, true, {10, 0, 1}, true, {}, 0};
  std::wstring seen;
  OSVERSIONINFOEXW v;
  identity::QueryVersionWith(Fake(c, &seen), v);
  EXPECT_EQ(seen, L"C:\\windows\\SysNative\\ntoskrnl.exe");
  c.wow64 = false;
  identity::QueryVersionWith(Fake(c, &seen), v);
  EXPECT_EQ(seen, L"C:\\windows\\System32\\ntoskrnl.exe");
}

TEST(KernelImagePath, SkipsEmptyAndOverlongDirectories) {
  EXPECT_EQ(identity::KernelImagePath(L"", false), L"");
  EXPECT_EQ(identity::KernelImagePath(std::wstring(260, L'a'), false), L"");
  // 259 characters is accepted on its own but the joined path no longer fits.
  EXPECT_EQ(identity::KernelImagePath(L"C:\\" + std::wstring(256, L'a'), false), L"");
  EXPECT_EQ(identity::KernelImagePath(L"D:\\WINNT", true), L"D:\\WINNT\\SysNative\\ntoskrnl.exe");
}

TEST(QueryVersionWith, OverlongWindowsDirectorySkipsTheImage) {
  Case c = {"", {6, 2, 9200}, false, {}, true, {10, 0, 1}, false, {}, 0};
  OSVersionSources s = Fake(c, nullptr);
  s.windowsDirectory = [] { return std::wstring(260, L'x'); };
  OSVERSIONINFOEXW v;
  EXPECT_EQ(identity::QueryVersionWith(s, v), 0);
  EXPECT_EQ(v.dwMajorVersion, 6u);
  EXPECT_EQ(v.dwMinorVersion, 2u);
}

TEST(COSVersionCheck, SystemProbeIsNeverBelowThePlainQuery) {
  identity::COSVersionCheck& check = identity::COSVersionCheck::Instance();
  EXPECT_EQ(&check, &identity::COSVersionCheck::Instance());
  EXPECT_NE(check.State(), -1);
  OSVERSIONINFOEXW plain = {};
  plain.dwOSVersionInfoSize = sizeof(plain);
  ASSERT_TRUE(::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&plain)));
  const OSVERSIONINFOEXW& v = check.Version();
  EXPECT_GE(v.dwMajorVersion * 10 + v.dwMinorVersion, plain.dwMajorVersion * 10 + plain.dwMinorVersion);
  EXPECT_GE(v.dwMajorVersion, 5u);
  DWORD major = 0, minor = 0;
  identity::GetOSVersionNumbers(major, minor);
  EXPECT_EQ(major, v.dwMajorVersion);
  EXPECT_EQ(minor, v.dwMinorVersion);
}

}  // namespace
