#include "startup/ProductRestore.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "common/ComPtr.h"
#include "engine/SystemCleanup.h"
#include "tests/support/ShellLinkFields.h"
#include "tests/unit/TestSupport.h"
#include "tests/unit/engine/RegistryTestUtil.h"

namespace {

using namespace cleanup_test;

std::wstring ShortPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n && n < MAX_PATH ? buffer : path;
}

const wchar_t* const kValueNames[] = {L"DisplayIcon", L"DisplayName", L"DisplayVersion", L"InstallLocation",
                                      L"Publisher", L"UninstallString", L"URLInfoAbout"};

class Restore : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_support::MakeScratchDir(L"restore");
    desktop_ = SpecialDir(CSIDL_COMMON_DESKTOPDIRECTORY);
    user_desktop_ = SpecialDir(CSIDL_DESKTOPDIRECTORY);
    programs_ = SpecialDir(CSIDL_COMMON_PROGRAMS);
    user_programs_ = SpecialDir(CSIDL_PROGRAMS);
    // The test program carries version 1.2.3.4: it plays the main program.
    ASSERT_TRUE(::CopyFileW((test_support::ExeDir() + L"cleanup_tests.exe").c_str(), Main().c_str(), FALSE));
    ASSERT_TRUE(test_support::WriteFileBytes(dir_ + L"\\Uninstall.exe", "MZ"));
    ASSERT_TRUE(test_support::WriteFileBytes(dir_ + L"\\config.set", "[auto_run]\r\nopen=0\r\n"));
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kAppKey, L"path", dir_));
  }
  void TearDown() override {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kAppKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallRegistrationKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kUserSettingsKey);
    DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_32KEY);
    for (const auto& d : {desktop_, user_desktop_})
      for (const wchar_t* n : {L"orb壁纸.lnk", L"Lumetta.lnk", L"LumettaLite.lnk"}) ::DeleteFileW((d + L"\\" + n).c_str());
    for (const auto& p : {programs_, user_programs_}) {
      RemoveTree(p + L"\\Lumetta");
      RemoveTree(p + L"\\orb安全中心");
    }
    RemoveTree(dir_);
  }
  void Run() {
    CProductRestore restore;
    ASSERT_EQ(restore.InstallDir(), dir_);
    restore.RestoreRegistration();
    restore.EnableAutorun();
  }
  std::wstring Main() const { return dir_ + L"\\vantel.exe"; }
  std::wstring Open() const {
    wchar_t open[8] = {};
    ::GetPrivateProfileStringW(L"auto_run", L"open", L"", open, 8, (dir_ + L"\\config.set").c_str());
    return open;
  }
  void ExpectLink(const std::wstring& link, const std::wstring& target, int icon_index) {
    ShellLinkFields f = ReadShellLink(link);
    ASSERT_TRUE(f.loaded) << Narrow(link);
    EXPECT_EQ(f.path, target);
    EXPECT_EQ(f.arguments, L"");
    EXPECT_EQ(f.working_dir, dir_);
    EXPECT_EQ(f.icon, ShortPath(target));
    EXPECT_EQ(f.icon_index, icon_index);
    // A link keeps only normal, maximised or minimised: SW_SHOW reads back as SW_SHOWNORMAL.
    EXPECT_EQ(f.show, SW_SHOWNORMAL);
  }
  // Every registration value holds exactly its text: no terminating zero.
  void ExpectRegistration(const std::wstring (&expected)[7]) {
    for (int i = 0; i < 7; ++i) {
      DWORD type = 0, bytes = ~0u;
      std::wstring data = RawValue(HKEY_LOCAL_MACHINE, kUninstallRegistrationKey, kValueNames[i], KEY_WOW64_32KEY,
                                   &type, &bytes);
      EXPECT_EQ(data, expected[i]) << Narrow(kValueNames[i]);
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(bytes, expected[i].size() * sizeof(wchar_t)) << Narrow(kValueNames[i]);
    }
  }
  void ExpectAutorun() {
    EXPECT_EQ(Open(), L"1");
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_32KEY),
              L"\"" + dir_ + L"\\rodozivo.exe\" /autorun --from=task" + L'\0');
  }

  std::wstring dir_, desktop_, user_desktop_, programs_, user_programs_;
};

TEST_F(Restore, OwnEdition) {
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kAppKey, L"ProductName", L"LUMETTA"));
  // Old entries of both editions, on both desktops, go first.
  for (const auto& d : {desktop_, user_desktop_}) ASSERT_TRUE(MakeFile(d + L"\\orb壁纸.lnk"));
  ASSERT_TRUE(MakeFile(user_programs_ + L"\\orb安全中心\\orb壁纸\\orb壁纸.lnk"));
  Run();
  ExpectLink(desktop_ + L"\\Lumetta.lnk", Main(), 1);
  ExpectLink(programs_ + L"\\Lumetta\\Lumetta.lnk", Main(), 1);
  ExpectLink(programs_ + L"\\Lumetta\\卸载Lumetta.lnk", dir_ + L"\\Uninstall.exe", 0);
  EXPECT_FALSE(Exists(desktop_ + L"\\LumettaLite.lnk"));
  EXPECT_FALSE(Exists(desktop_ + L"\\orb壁纸.lnk"));
  EXPECT_FALSE(Exists(user_desktop_ + L"\\orb壁纸.lnk"));
  EXPECT_FALSE(Exists(user_programs_ + L"\\orb安全中心")) << "emptied, so removed";
  ExpectRegistration({dir_ + L"\\Utils\\lumetta.ico", L"Lumetta", L"1.2.3.4", dir_, L"", dir_ + L"\\Uninstall.exe", L""});
  ExpectAutorun();
}

TEST_F(Restore, OwnEditionLiteDesktopShortcutForItsPid) {
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kAppKey, L"ProductName", L"lumetta"));
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kUserSettingsKey, L"pid", L"  ZORIZIRAV \t"));
  Run();
  ExpectLink(desktop_ + L"\\LumettaLite.lnk", Main(), 1);
  EXPECT_FALSE(Exists(desktop_ + L"\\Lumetta.lnk"));
}

TEST_F(Restore, PartnerEditionWhenProductNameIsMissing) {
  // Another product's entry keeps the shared folder.
  ASSERT_TRUE(MakeFile(programs_ + L"\\orb安全中心\\orb卫士\\orb卫士.lnk"));
  ASSERT_TRUE(MakeFile(programs_ + L"\\Lumetta\\old.lnk"));
  Run();
  ExpectLink(desktop_ + L"\\orb壁纸.lnk", Main(), 0);
  ExpectLink(programs_ + L"\\orb安全中心\\orb壁纸\\orb壁纸.lnk", Main(), 0);
  ExpectLink(programs_ + L"\\orb安全中心\\orb壁纸\\卸载orb壁纸.lnk", dir_ + L"\\Uninstall.exe", 0);
  EXPECT_TRUE(Exists(programs_ + L"\\orb安全中心\\orb卫士\\orb卫士.lnk"));
  EXPECT_FALSE(Exists(programs_ + L"\\Lumetta"));
  ExpectRegistration({Main(), L"orb壁纸", L"1.2.3.4", dir_, L"orb互联网安全中心", dir_ + L"\\Uninstall.exe",
                      kPartnerHomePage});
  ExpectAutorun();
}

TEST_F(Restore, WithoutTheMainProgramOnlyAutorunIsWritten) {
  ASSERT_TRUE(::DeleteFileW(Main().c_str()));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kAppKey, L"ProductName", L"Lumetta"));
  Run();
  EXPECT_FALSE(Exists(desktop_ + L"\\Lumetta.lnk"));
  EXPECT_FALSE(Exists(programs_ + L"\\Lumetta\\Lumetta.lnk"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallRegistrationKey));
  ExpectAutorun();
}

TEST_F(Restore, MissingInstallDirectoryWritesNothing) {
  RemoveTree(dir_);
  Run();
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallRegistrationKey));
  EXPECT_FALSE(Exists(desktop_ + L"\\orb壁纸.lnk"));
}

TEST(CreateShortcut, MissingTargetFailsAndArgumentsAreKept) {
  std::wstring dir = test_support::MakeScratchDir(L"link");
  std::wstring target = dir + L"\\t.exe", link = dir + L"\\t.lnk";
  EXPECT_FALSE(CProductRestore::CreateShortcut(target.c_str(), nullptr, link.c_str(), target.c_str(), 0, false));
  EXPECT_FALSE(Exists(link));
  ASSERT_TRUE(test_support::WriteFileBytes(target, "MZ"));
  EXPECT_TRUE(CProductRestore::CreateShortcut(target.c_str(), L"/a b", link.c_str(), target.c_str(), -1, true));
  ShellLinkFields f = ReadShellLink(link);
  EXPECT_EQ(f.path, target);
  EXPECT_EQ(f.arguments, L"/a b");
  EXPECT_EQ(f.working_dir, dir);
  EXPECT_EQ(f.icon, L"") << "a negative index sets no icon";
  RemoveTree(dir);
}

}  // namespace
