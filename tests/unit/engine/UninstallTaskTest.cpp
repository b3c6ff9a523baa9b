#include "engine/UninstallTask.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/UniqueHandle.h"
#include "engine/InstallFacts.h"

namespace {

void SetVendor(const wchar_t* vendor) {
  win::UniqueKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kGameCenterKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  if (vendor)
    ::RegSetValueExW(key.get(), L"VendorID", 0, REG_SZ, reinterpret_cast<const BYTE*>(vendor),
                     static_cast<DWORD>((wcslen(vendor) + 1) * sizeof(wchar_t)));
  else
    ::RegDeleteValueW(key.get(), L"VendorID");
}

TEST(UninstallTask, UninstallGameCenterNeedsOwnershipFirst) {
  SetVendor(L"Tarvo");
  CUninstallTask task;
  task.SetUninstallGameCenter(true);  // not yet known to be owned: ignored
  EXPECT_EQ(task.Driver().GameCenterParameters(), L"/S /PID=tarvo /NOUNINSTALL");
  EXPECT_TRUE(task.IsGameCenterOwned());
  task.SetUninstallGameCenter(true);
  EXPECT_EQ(task.Driver().GameCenterParameters(), L"/S /PID=tarvo /UNINSTALL");
  SetVendor(nullptr);
  EXPECT_FALSE(task.IsGameCenterOwned());
}

TEST(UninstallTask, GetInstallDirNeedsRoomForTheTerminator) {
  CUninstallTask task;
  wchar_t buffer[8] = L"keep";
  task.GetInstallDir(buffer, 8);  // empty directory: untouched
  EXPECT_STREQ(buffer, L"keep");
  task.SetInstallDir(L"C:\\abcde");  // 8 characters
  task.GetInstallDir(buffer, 8);
  EXPECT_STREQ(buffer, L"keep");
  wchar_t bigger[9] = {};
  task.GetInstallDir(bigger, 9);
  EXPECT_STREQ(bigger, L"C:\\abcde");
  task.SetInstallDir(nullptr);
  EXPECT_EQ(task.Driver().InstallDir(), L"");
  EXPECT_TRUE(task.QueryFlag());
}

TEST(UninstallTask, AccessorsReturnTheStaticObjectsParts) {
  auto* task = static_cast<CUninstallTask*>(GetUninstallTask());
  EXPECT_EQ(GetSetupConfig(), static_cast<ISetupConfig*>(&task->Config()));
  EXPECT_EQ(GetUninstallTask(), GetUninstallTask());
}

}  // namespace
