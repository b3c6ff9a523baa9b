#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "ConfigTestUtil.h"
#include "config/SetupConfig.h"

using config_test::Doc;

TEST(SetupConfigMapping, MessageNames) {
  struct Case { const wchar_t* name; UINT32 message; } cases[] = {
      {L"WM_CLOSE", 16}, {L"WM_QUIT", 18}, {L"WM_COMMAND", 273}, {L"wm_command", 16}, {L"", 16}, {L"WM_USER", 16},
  };
  for (const Case& c : cases) EXPECT_EQ(MapCloseMessage(c.name), c.message) << testing::PrintToString(std::wstring(c.name));
}

TEST(SetupConfigMapping, RootKeys) {
  struct Case { const wchar_t* name; HKEY key; } cases[] = {
      {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"hkey_current_user", HKEY_CURRENT_USER},
      {L"HKEY_USERS", HKEY_USERS}, {L"Hkey_Classes_Root", HKEY_CLASSES_ROOT},
      {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {L"HKCU", HKEY_LOCAL_MACHINE}, {L"", HKEY_LOCAL_MACHINE},
  };
  for (const Case& c : cases) EXPECT_EQ(MapRootKey(c.name), c.key) << testing::PrintToString(std::wstring(c.name));
}

TEST(SetupConfigMapping, SystemFilter) {
  struct Case { const wchar_t* system; bool on32; bool on64; } cases[] = {
      {L"", true, true}, {L"32", true, false}, {L"64", false, true}, {L"86", false, false}, {L" 64", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeepForSystem(c.system, false), c.on32) << testing::PrintToString(std::wstring(c.system));
    EXPECT_EQ(KeepForSystem(c.system, true), c.on64) << testing::PrintToString(std::wstring(c.system));
  }
}

class SetupConfigTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_support::MakeScratchDir(L"setupcfg");
    config_test::WriteUtf16(dir_ + L"\\roots.xml", Doc(L"<RootDirFiles><File><Item Name=\"vantel.exe\"/></File></RootDirFiles>"));
  }
  std::wstring Write(const std::wstring& body) {
    std::wstring path = dir_ + L"\\setup.mvkprj";
    EXPECT_TRUE(config_test::WriteUtf16(path, Doc(L"<Setup><UninstallRootDirFileList File=\"roots.xml\"/>" + body + L"</Setup>")));
    return path;
  }
  config_test::ComScope com_;
  std::wstring dir_;
};

TEST_F(SetupConfigTest, DefaultsWhenSectionsAreMissing) {
  CSetupConfig config;
  ASSERT_TRUE(config.Load(Write(L"").c_str()));
  EXPECT_EQ(config.GetMinimizeSpace(), 100);
  EXPECT_EQ(config.GetFileCount(), 200);
  EXPECT_EQ(config.GetRegRoot(), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(config.GetCloseProgramCount(), 0);
  EXPECT_EQ(config.GetUninstallProgramCount(), 0);
  EXPECT_EQ(config.GetCheckFileCount(), 0);
  EXPECT_EQ(config.GetInstallProgramCount(), 0);
  EXPECT_TRUE(config.GetRootDirList()->Contains(L"VANTEL.EXE"));
  wchar_t buffer[8] = L"junk";
  EXPECT_TRUE(config.GetVersion(buffer, 8));
  EXPECT_STREQ(buffer, L"");
}

TEST_F(SetupConfigTest, EntriesDefaultsAndDroppedOverlongTexts) {
  std::wstring longClass(196, L'c');
  std::wstring longName(260, L'f');
  config_test::WriteUtf16(dir_ + L"\\roots.xml", Doc(L"<RootDirFiles/>"));
  CSetupConfig config;
  config.SetSystemIs64BitForTesting(false);
  ASSERT_TRUE(config.Load(Write(
      L"<Main Version=\"3.2\" MinimizeSpace=\"0x10\"/><FileList FileCount=\"9\" File=\"files.xml\"/>"
      L"<RegAppPath HKEY=\"hkey_current_user\" SubKey=\"Software\\Lumetta\" Value=\"path\"/>"
      L"<Application MainApp=\"vantel.exe\"/>"
      L"<CloseAllPrograms><Program WindowClass=\"A\" Message=\"wm_command\"/>"
      L"<Program WindowClass=\"" + longClass + L"\" Message=\"WM_QUIT\"/>"
      L"<Program WindowClass=\"" + longClass.substr(1) + L"\" Message=\"WM_COMMAND\" WPARAM=\"0x9C4B\" LPARAM=\"7\" Timeout=\"50\"/>"
      L"</CloseAllPrograms>"
      L"<RundllUnRegisterOnUnInst><Item FileName=\"x32.dll\" System=\"32\"/><Item FileName=\"x64.dll\" System=\"64\"/>"
      L"<Item FileName=\"any.dll\" Entry=\"E\" WaitTime=\"9\"/><Item FileName=\"bad.dll\" System=\"amd64\"/>"
      L"<Item FileName=\"" + longName + L"\"/></RundllUnRegisterOnUnInst>"
      L"<CallProgramOnUninst><Program FileName=\"a.exe\" Type=\"exe\"/>"
      L"<Program FileName=\"b.dll\" Cmdline=\"" + longName + L"\"/>"
      L"<Program FileName=\"c.dll\" Type=\"dll\" FuncName=\"F\" WaitTime=\"0x10\" Sync=\"0\"/></CallProgramOnUninst>").c_str()));

  EXPECT_EQ(config.GetMinimizeSpace(), 16);
  EXPECT_EQ(config.GetFileCount(), 9);
  EXPECT_EQ(config.GetFileListPath(), dir_ + L"\\files.xml");
  EXPECT_EQ(config.GetRegRoot(), HKEY_CURRENT_USER);

  ASSERT_EQ(config.GetCloseProgramCount(), 2);
  CloseProgramRecord close{};
  ASSERT_TRUE(config.GetCloseProgram(0, &close));
  EXPECT_STREQ(close.windowClass, L"A");
  EXPECT_EQ(close.message, 16u);
  EXPECT_EQ(close.wParam, 0x168u);
  EXPECT_EQ(close.lParam, 0x168u);
  EXPECT_EQ(close.timeout, 2000u);
  ASSERT_TRUE(config.GetCloseProgram(1, &close));
  EXPECT_EQ(std::wstring(close.windowClass).size(), 195u);
  EXPECT_EQ(close.message, 273u);
  EXPECT_EQ(close.wParam, 40011u);
  EXPECT_EQ(close.lParam, 7u);
  EXPECT_EQ(close.timeout, 50u);
  EXPECT_FALSE(config.GetCloseProgram(2, &close));
  EXPECT_STREQ(close.windowClass, L"");

  const auto& items = config.GetUnregisterList();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_STREQ(items[0].fileName, L"x32.dll");
  EXPECT_STREQ(items[1].fileName, L"any.dll");
  EXPECT_EQ(items[1].waitTime, 9);

  ASSERT_EQ(config.GetUninstallProgramCount(), 2);
  ProgramRecord program{};
  ASSERT_TRUE(config.GetUninstallProgram(0, &program));
  EXPECT_STREQ(program.fileName, L"a.exe");
  EXPECT_EQ(program.sync, 1);
  EXPECT_EQ(program.waitTime, 0);
  ASSERT_TRUE(config.GetUninstallProgram(1, &program));
  EXPECT_STREQ(program.funcName, L"F");
  EXPECT_EQ(program.waitTime, 16);
  EXPECT_EQ(program.sync, 0);
}

TEST_F(SetupConfigTest, SixtyFourBitSystemKeepsOnlyItsItems) {
  config_test::WriteUtf16(dir_ + L"\\roots.xml", Doc(L"<RootDirFiles/>"));
  CSetupConfig config;
  config.SetSystemIs64BitForTesting(true);
  ASSERT_TRUE(config.Load(Write(L"<RundllUnRegisterOnUnInst><Item FileName=\"x32.dll\" System=\"32\"/>"
                                L"<Item FileName=\"x64.dll\" System=\"64\"/><Item FileName=\"any.dll\"/></RundllUnRegisterOnUnInst>").c_str()));
  const auto& items = config.GetUnregisterList();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_STREQ(items[0].fileName, L"x64.dll");
  EXPECT_STREQ(items[1].fileName, L"any.dll");
}

TEST_F(SetupConfigTest, TextBufferRules) {
  CSetupConfig config;
  ASSERT_TRUE(config.Load(Write(L"<Application MainApp=\"vantel.exe\"/>").c_str()));
  wchar_t exact[10];  // "vantel.exe" has 10 characters: no room for the terminator
  std::fill(std::begin(exact), std::end(exact), L'x');
  EXPECT_FALSE(config.GetMainApp(exact, 10));
  EXPECT_EQ(exact[0], L'\0');
  wchar_t roomy[11];
  EXPECT_TRUE(config.GetMainApp(roomy, 11));
  EXPECT_STREQ(roomy, L"vantel.exe");
  EXPECT_FALSE(config.GetMainApp(nullptr, 11));
  wchar_t check[4] = L"abc";
  EXPECT_FALSE(config.GetCheckFile(0, check, 4));
  EXPECT_STREQ(check, L"");
}

TEST_F(SetupConfigTest, LoadFailures) {
  CSetupConfig config;
  EXPECT_FALSE(config.Load(nullptr));
  EXPECT_FALSE(config.Load((dir_ + L"\\missing.mvkprj").c_str()));
  EXPECT_FALSE(config.Load((dir_ + L"\\" + std::wstring(520, L'p')).c_str()));
  // The allow list named by the document must exist.
  std::wstring path = dir_ + L"\\noroots.mvkprj";
  config_test::WriteUtf16(path, Doc(L"<Setup><UninstallRootDirFileList File=\"gone.xml\"/></Setup>"));
  EXPECT_FALSE(config.Load(path.c_str()));
  config_test::WriteUtf16(path, Doc(L"<Setup><Main"));
  EXPECT_FALSE(config.Load(path.c_str()));
}
