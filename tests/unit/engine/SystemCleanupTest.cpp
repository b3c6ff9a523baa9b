#include "engine/SystemCleanup.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <taskschd.h>

#include <string>
#include <vector>

#include "common/ComPtr.h"
#include "common/UniqueHandle.h"
#include "config/SetupConfig.h"
#include "startup/SmartLogger.h"
#include "tests/unit/TestSupport.h"
#include "tests/unit/config/ConfigTestUtil.h"
#include "tests/support/RegAppPathConfig.h"
#include "tests/unit/engine/RegistryTestUtil.h"

namespace {

using namespace cleanup_test;

TEST(TaskDelayText, MinutesAndSeconds) {
  struct Case { int seconds; const wchar_t* text; } cases[] = {
      {60, L"PT1M0S"}, {125, L"PT2M5S"}, {0, L"PT0M0S"}, {59, L"PT0M59S"}, {3600, L"PT60M0S"}, {-5, L"PT0M0S"}};
  for (const auto& c : cases) EXPECT_EQ(TaskDelayText(c.seconds), c.text) << c.seconds;
}

TEST(QuotedProgramText, QuotesAreNeverDoubled) {
  struct Case { const wchar_t* in; const wchar_t* out; } cases[] = {
      {L"C:\\a b\\p.exe", L"\"C:\\a b\\p.exe\""},
      {L"\"C:\\a b\\p.exe\"", L"\"C:\\a b\\p.exe\""},
      {L"\"C:\\p.exe", L"\"C:\\p.exe\""},
      {L"C:\\p.exe\"", L"\"C:\\p.exe\""},
  };
  for (const auto& c : cases) EXPECT_EQ(QuotedProgramText(c.in), c.out) << c.in;
}

TEST(RemoveDesktopShortcuts, BothDesktopsLoseOnlyTheProductsShortcuts) {
  const wchar_t* names[] = {L"orb壁纸.lnk", L"Lumetta.lnk", L"LumettaLite.lnk"};
  std::wstring desktops[] = {SpecialDir(CSIDL_COMMON_DESKTOPDIRECTORY), SpecialDir(CSIDL_DESKTOPDIRECTORY)};
  for (const auto& d : desktops) {
    for (const wchar_t* n : names) ASSERT_TRUE(test_support::WriteFileBytes(d + L"\\" + n, "lnk"));
    ASSERT_TRUE(test_support::WriteFileBytes(d + L"\\Mine.lnk", "lnk"));
  }
  RemoveDesktopShortcuts();
  for (const auto& d : desktops) {
    for (const wchar_t* n : names) EXPECT_FALSE(Exists(d + L"\\" + n)) << n;
    EXPECT_TRUE(Exists(d + L"\\Mine.lnk"));
    ::DeleteFileW((d + L"\\Mine.lnk").c_str());
  }
}

TEST(RemoveMenuFolders, SharedFolderAndUsersMenuSurvive) {
  std::wstring common = SpecialDir(CSIDL_COMMON_PROGRAMS), user = SpecialDir(CSIDL_PROGRAMS);
  const std::wstring files[] = {common + L"\\Lumetta\\Lumetta.lnk", common + L"\\orb安全中心\\orb壁纸\\orb壁纸.lnk",
                                common + L"\\orb安全中心\\orb卫士\\orb卫士.lnk", user + L"\\Lumetta\\Lumetta.lnk"};
  for (const auto& f : files) ASSERT_TRUE(MakeFile(f)) << Narrow(f);

  RemoveMenuFolders();
  EXPECT_FALSE(Exists(common + L"\\Lumetta"));
  EXPECT_FALSE(Exists(common + L"\\orb安全中心\\orb壁纸"));
  EXPECT_TRUE(Exists(files[2]));  // another product's entry in the shared folder
  EXPECT_TRUE(Exists(files[3]));  // the user's own programs menu is not touched

  RemoveMenuFolders();  // nothing left to remove is silent
  RemoveTree(common + L"\\orb安全中心");
  RemoveTree(user + L"\\Lumetta");
}

class ProductKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kAppKey, L"path", L"C:\\x"));
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, std::wstring(kAppKey) + L"\\file_list", L"a.dll", L""));
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, std::wstring(kAppKey) + L"\\file_pe\\deep", L"b", L""));
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kUserSettingsKey, L"pid", L"p1"));
    ASSERT_TRUE(SetText(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\shell", L"", L"x"));
  }
  void TearDown() override {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kAppKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kUserSettingsKey);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kClassKey);
  }
};

TEST_F(ProductKeys, AllThreeKeysGoWithTheirSubKeys) {
  RemoveProductKeys(RegAppPathConfig(HKEY_LOCAL_MACHINE, kAppKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserSettingsKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths"));
}

TEST_F(ProductKeys, EmptySubKeySkipsTheWholeStep) {
  RemoveProductKeys(RegAppPathConfig(HKEY_LOCAL_MACHINE, L""));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kAppKey) + L"\\file_pe\\deep"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUserSettingsKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
}

// Through the configuration the package is read into: a RegAppPath without a sub-key, or no
// RegAppPath at all, leaves every key; naming the application key takes all three.
TEST_F(ProductKeys, TheLoadedSetupConfigurationDecides) {
  win::ComInitScope com;
  std::wstring dir = test_support::MakeScratchDir(L"regapppath");
  ASSERT_TRUE(config_test::WriteUtf16(dir + L"\\roots.xml", config_test::Doc(L"<RootDirFiles/>")));
  struct Case { std::wstring reg_app_path; bool removed; } cases[] = {
      {L"<RegAppPath HKEY=\"HKEY_LOCAL_MACHINE\" SubKey=\"\" Value=\"path\"/>", false},
      {L"<RegAppPath HKEY=\"HKEY_LOCAL_MACHINE\" Value=\"path\"/>", false},
      {L"", false},
      {L"<RegAppPath HKEY=\"HKEY_LOCAL_MACHINE\" SubKey=\"" + std::wstring(kAppKey) + L"\" Value=\"path\"/>", true},
  };
  for (const auto& c : cases) {
    std::wstring document = dir + L"\\setup.mvkprj";
    ASSERT_TRUE(config_test::WriteUtf16(
        document, config_test::Doc(L"<Setup><UninstallRootDirFileList File=\"roots.xml\"/>" + c.reg_app_path + L"</Setup>")));
    CSetupConfig config;
    ASSERT_TRUE(config.Load(document.c_str())) << Narrow(c.reg_app_path);
    RemoveProductKeys(config);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kAppKey) + L"\\file_pe\\deep"), !c.removed) << Narrow(c.reg_app_path);
    EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, kUserSettingsKey), !c.removed) << Narrow(c.reg_app_path);
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, kClassKey), !c.removed) << Narrow(c.reg_app_path);
  }
  RemoveTree(dir);
}

// A task registered from XML: Wine keeps the task even though it drops its triggers and actions.
bool RegisterPlainTask(const wchar_t* name) {
  win::ComInitScope com;
  win::ComPtr<ITaskService> service;
  win::ComPtr<ITaskFolder> root;
  if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                service.put_void())))
    return false;
  VARIANT empty;
  ::VariantInit(&empty);
  win::Bstr slash(L"\\");
  if (FAILED(service->Connect(empty, empty, empty, empty)) || FAILED(service->GetFolder(slash.get(), root.put())))
    return false;
  win::Bstr task_name(name), xml(
      L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>"
      L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
      L"<Actions><Exec><Command>C:\\windows\\notepad.exe</Command></Exec></Actions></Task>");
  win::ComPtr<IRegisteredTask> task;
  return SUCCEEDED(root->RegisterTask(task_name.get(), xml.get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                      TASK_LOGON_INTERACTIVE_TOKEN, empty, task.put()));
}

HRESULT GetTaskResult(const wchar_t* name) {
  win::ComInitScope com;
  win::ComPtr<ITaskService> service;
  win::ComPtr<ITaskFolder> root;
  HRESULT hr = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                  service.put_void());
  if (FAILED(hr)) return hr;
  VARIANT empty;
  ::VariantInit(&empty);
  win::Bstr slash(L"\\"), task_name(name);
  if (FAILED(hr = service->Connect(empty, empty, empty, empty))) return hr;
  if (FAILED(hr = service->GetFolder(slash.get(), root.put()))) return hr;
  win::ComPtr<IRegisteredTask> task;
  return root->GetTask(task_name.get(), task.put());
}

TEST(DeleteAutorunTask, RemovesAnExistingTaskAndIgnoresAnAbsentOne) {
  ASSERT_TRUE(RegisterPlainTask(kAutorunName));
  ASSERT_EQ(GetTaskResult(kAutorunName), S_OK);
  EXPECT_TRUE(DeleteAutorunTask(kAutorunName));
  EXPECT_EQ(GetTaskResult(kAutorunName), kTaskNotFound);
  EXPECT_TRUE(DeleteAutorunTask(kAutorunName));  // absent: still reached the folder
}

class Autorun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_support::MakeScratchDir(L"autorun");
    log_ = dir_ + L"\\log.txt";
    ProcessLog().SetLogPath(log_);
  }
  void TearDown() override {
    ProcessLog().SetLogPath(L"");
    DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_32KEY);
    DeleteValue(HKEY_CURRENT_USER, kRunKey, kAutorunName, 0);
    RemoveTree(dir_);
  }
  std::string Log() const { return test_support::ReadFileBytes(log_); }
  std::wstring dir_, log_;
};

TEST_F(Autorun, RemoveAutorunClearsEveryEntry) {
  std::wstring config = dir_ + L"\\config.set";
  ASSERT_TRUE(test_support::WriteFileBytes(config, "[auto_run]\r\nopen=1\r\n"));
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kRunKey, kAutorunName, L"x"));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, L"x", KEY_WOW64_32KEY));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kRunKey, L"wpapp", L"x", KEY_WOW64_32KEY));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kRunKey, L"wpapp", L"y", KEY_WOW64_64KEY));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kRunKey, L"Other", L"z", KEY_WOW64_32KEY));
  ASSERT_TRUE(RegisterPlainTask(kAutorunName));

  RemoveAutorun(dir_.c_str());

  wchar_t open[8] = {};
  ::GetPrivateProfileStringW(L"auto_run", L"open", L"", open, 8, config.c_str());
  EXPECT_STREQ(open, L"0");
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, kAutorunName, 0));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_32KEY));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, L"wpapp", KEY_WOW64_32KEY));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, L"wpapp", KEY_WOW64_64KEY));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, L"Other", KEY_WOW64_32KEY));
  EXPECT_EQ(GetTaskResult(kAutorunName), kTaskNotFound);
  std::string log = Log();
  EXPECT_NE(log.find("Delete AutoRun Registry, ret = 1"), std::string::npos) << log;
  EXPECT_NE(log.find("Delete AutoRun Task Schedule, ret = 1"), std::string::npos) << log;
  DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, L"Other", KEY_WOW64_32KEY);
}

// Wine's task scheduler has no logon trigger, so the task cannot be made and the Run value is
// what registers the program.
TEST_F(Autorun, SetAutorunFallsBackToTheRunValue) {
  struct Case { const wchar_t* program; } cases[] = {{L"C:\\Program Files (x86)\\Lumetta\\rodozivo.exe"},
                                                      {L"\"C:\\Program Files (x86)\\Lumetta\\rodozivo.exe\""}};
  for (const auto& c : cases) {
    EXPECT_FALSE(CreateAutorunTask(kAutorunName, c.program, L"", kAutorunArguments, kAutorunDescription, 60));
    EXPECT_TRUE(SetAutorun(true, c.program, nullptr, nullptr, 60));
    DWORD type = 0;
    std::wstring data = RawValue(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_32KEY, &type);
    std::wstring expected = L"\"C:\\Program Files (x86)\\Lumetta\\rodozivo.exe\" /autorun --from=task";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, expected + L'\0') << "written with its terminating NUL";
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_64KEY));
  }
  EXPECT_NE(Log().find("Add auto run register, C:\\Program Files (x86)\\Lumetta\\rodozivo.exe"), std::string::npos);
  EXPECT_FALSE(SetAutorun(true, nullptr, nullptr, nullptr, 60));

  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kRunKey, kAutorunName, L"x"));
  EXPECT_TRUE(SetAutorun(false, L"C:\\any.exe", nullptr, nullptr, 0));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_32KEY));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, kAutorunName, 0));
}

TEST_F(Autorun, SetRunValueKeepsAValueThatDiffersOnlyInCase) {
  std::wstring upper = L"\"C:\\P\\RODOZIVO.EXE\" /AUTORUN --FROM=TASK";
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, upper, KEY_WOW64_32KEY, REG_EXPAND_SZ));
  EXPECT_TRUE(SetRunValue(kAutorunName, L"\"C:\\P\\rodozivo.exe\"", kAutorunArguments));
  DWORD type = 0;
  EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_32KEY, &type), upper + L'\0');
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));

  EXPECT_TRUE(SetRunValue(kAutorunName, L"\"C:\\Q\\rodozivo.exe\"", kAutorunArguments));
  EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, KEY_WOW64_32KEY, &type),
            std::wstring(L"\"C:\\Q\\rodozivo.exe\" /autorun --from=task") + L'\0');
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(Autorun, UninstallRegistrationGoesWithItsSubKeys) {
  std::wstring key = kUninstallRegistrationKey;
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, key, L"DisplayName", L"x", KEY_WOW64_32KEY));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, key + L"\\sub", L"v", L"x", KEY_WOW64_32KEY));
  EXPECT_TRUE(RemoveUninstallRegistration());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY));
  EXPECT_TRUE(RemoveUninstallRegistration());
  EXPECT_EQ(test_support::CountOf(Log(), "Delete uninstall registry"), 2u);
}

bool CreateKernelService(const wchar_t* name) {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  win::UniqueService service(::CreateServiceW(manager.get(), name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                              SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                              L"C:\\windows\\system32\\drivers\\none.sys", nullptr, nullptr, nullptr,
                                              nullptr, nullptr));
  return static_cast<bool>(service);
}

bool ServiceExists(const wchar_t* name) {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  win::UniqueService service(manager ? ::OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS) : nullptr);
  return static_cast<bool>(service);
}

TEST(RemoveService, DeletesTheProtectionServices) {
  for (const wchar_t* name : {L"ZentrikLock", L"ZentrikLockWp", L"VivazavoDirazazIv", L"RuvediduruveZI"}) {
    ASSERT_TRUE(CreateKernelService(name)) << ::GetLastError();
    EXPECT_TRUE(RemoveService(name));
    EXPECT_FALSE(ServiceExists(name));
    EXPECT_FALSE(RemoveService(name)) << "an absent service is not reported as deleted";
  }
  EXPECT_FALSE(RemoveService(nullptr));
}

}  // namespace
