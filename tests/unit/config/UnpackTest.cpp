// Unpacking through the real 7z.dll that lies beside this test program.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "ConfigTestUtil.h"
#include "config/ArchiveClients.h"
#include "config/ResourceUnpack.h"
#include "config/SetupConfig.h"

namespace {

std::wstring Package(const wchar_t* name) { return test_support::ExeDir() + L"cfgpkg\\" + name; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::set<std::wstring> TempEntries() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  std::set<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((std::wstring(temp) + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.insert(data.cFileName); while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

class UnpackTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadArchiveLibrary((test_support::ExeDir() + L"7z.dll").c_str())); }
  void SetUp() override { dir_ = test_support::MakeScratchDir(L"unpack"); }
  config_test::ComScope com_;
  std::wstring dir_;
};

}  // namespace

TEST(ArchiveLibrary, MissingLibraryFailsToLoad) {
  if (!IsArchiveLibraryLoaded()) {
    EXPECT_EQ(ExtractArchive(Package(L"good.7z").c_str(), test_support::MakeScratchDir(L"nolib").c_str()), -1);
    EXPECT_FALSE(LoadArchiveLibrary((test_support::ExeDir() + L"no-such-7z.dll").c_str()));
  }
}

TEST(MemberPaths, OnlyNamesBelowTheDirectory) {
  struct Case { const wchar_t* path; bool safe; } cases[] = {
      {L"tarvo.mvkprj", true}, {L"sub\\file.xml", true}, {L"a..b", true}, {L"..x", true},
      {L"..\\escaped.txt", false}, {L"../escaped.txt", false}, {L"sub\\..\\..\\x", false}, {L"..", false},
      {L"\\tmp\\x", false}, {L"/tmp/x", false}, {L"C:\\x", false}, {L"C:x", false}, {L"file:stream", false},
      {L"\\\\server\\share\\x", false}, {L".. \\x", false}, {L"...\\x", false}, {L"a\\\\b", false}, {L"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeMemberPath(c.path), c.safe) << testing::PrintToString(std::wstring(c.path));
}

TEST_F(UnpackTest, GoodPackageExtractsBothDocumentsWithTimesAndAttributes) {
  ASSERT_EQ(ExtractArchive(Package(L"good.7z").c_str(), (dir_ + L"\\out").c_str()), 0);
  for (const wchar_t* name : {L"tarvo.mvkprj", L"UninstallRootDirFileList.xml"}) {
    std::wstring path = dir_ + L"\\out\\" + name;
    WIN32_FILE_ATTRIBUTE_DATA info{};
    ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) << testing::PrintToString(path);
    EXPECT_TRUE(info.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE);
    std::string bytes = test_support::ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));  // UTF-16 documents
  }
}

TEST_F(UnpackTest, BadPackagesFailWithoutWritingOutside) {
  for (const wchar_t* name : {L"short.7z", L"damaged.7z", L"zip.7z", L"dotdot.7z", L"absolute.7z", L"missing.7z"}) {
    std::wstring out = dir_ + L"\\" + name + L".d\\inner";
    EXPECT_EQ(ExtractArchive(Package(name).c_str(), out.c_str()), -1) << testing::PrintToString(std::wstring(name));
    EXPECT_FALSE(Exists(dir_ + L"\\" + name + L".d\\escaped.txt"));
    EXPECT_FALSE(Exists(out + L"\\escaped.txt"));
  }
  EXPECT_FALSE(Exists(L"C:\\escaped.txt"));
}

TEST_F(UnpackTest, ExistingOutputIsReplacedButAnUndeletableOneAborts) {
  std::wstring out = dir_ + L"\\out";
  ASSERT_TRUE(CreateDirectoryChain(out));
  ASSERT_TRUE(test_support::WriteFileBytes(out + L"\\tarvo.mvkprj", "old"));
  ASSERT_EQ(ExtractArchive(Package(L"good.7z").c_str(), out.c_str()), 0);
  EXPECT_NE(test_support::ReadFileBytes(out + L"\\tarvo.mvkprj"), "old");

  // Held open without delete sharing: it can be neither deleted nor replaced.
  HANDLE held = ::CreateFileW((out + L"\\tarvo.mvkprj").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ExtractArchive(Package(L"good.7z").c_str(), out.c_str()), -1);
  ::CloseHandle(held);
}

TEST_F(UnpackTest, ResourceOfTheBuiltUninstallerLoadsTheProductConfiguration) {
  HMODULE exe = ::LoadLibraryExW(Package(L"Uninstall.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(exe, nullptr);
  std::set<std::wstring> before = TempEntries();
  std::wstring extractDir;
  {
    CSetupConfig config;
    ASSERT_TRUE(config.LoadFromResource(exe, 209, L"SETUPCONFIG", L"tarvo.mvkprj"));
    extractDir = config.GetExtractDir();
    std::set<std::wstring> after = TempEntries();
    std::vector<std::wstring> added;
    for (const auto& name : after) if (!before.count(name)) added.push_back(name);
    ASSERT_EQ(added.size(), 1u);  // the extraction directory, no package file
    EXPECT_NE(extractDir.find(added[0]), std::wstring::npos);
    EXPECT_NE(added[0].find(L"-TemporaryCache"), std::wstring::npos);

    wchar_t text[MAX_PATH];
    EXPECT_TRUE(config.GetVersion(text, MAX_PATH));
    EXPECT_STREQ(text, L"3.2.0.1185");
    EXPECT_EQ(config.GetMinimizeSpace(), 120);
    EXPECT_EQ(config.GetFileCount(), 236);
    EXPECT_TRUE(config.GetMainApp(text, MAX_PATH));
    EXPECT_STREQ(text, L"vantel.exe");
    EXPECT_EQ(config.GetRegRoot(), HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(config.GetRegSubKey(text, MAX_PATH));
    EXPECT_STREQ(text, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe");
    EXPECT_TRUE(config.GetRegValueName(text, MAX_PATH));
    EXPECT_STREQ(text, L"path");

    ASSERT_EQ(config.GetCloseProgramCount(), 4);
    CloseProgramRecord close{};
    ASSERT_TRUE(config.GetCloseProgram(1, &close));
    EXPECT_STREQ(close.windowClass, L"LumettaDesktopLayerWnd");
    EXPECT_EQ(close.message, static_cast<UINT32>(WM_COMMAND));
    EXPECT_EQ(close.wParam, 40011u);
    ASSERT_TRUE(config.GetCloseProgram(3, &close));
    EXPECT_EQ(close.message, static_cast<UINT32>(WM_CLOSE));
    EXPECT_EQ(close.timeout, 2000u);

    ASSERT_EQ(config.GetUninstallProgramCount(), 3);
    ProgramRecord program{};
    ASSERT_TRUE(config.GetUninstallProgram(1, &program));
    EXPECT_STREQ(program.type, L"dll");
    EXPECT_STREQ(program.funcName, L"UninstallCleanup");
    EXPECT_EQ(program.sync, 1);
    ASSERT_TRUE(config.GetUninstallProgram(2, &program));
    EXPECT_EQ(program.sync, 0);

    // This test program is 64-bit, so the system counts as 64-bit here.
    const auto& items = config.GetUnregisterList();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_STREQ(items[0].fileName, L"Utils\\x64\\TarvoShellExt64.dll");
    EXPECT_STREQ(items[1].entry, L"UnregisterDesktopHook");

    IUninstallRootDirList* roots = config.GetRootDirList();
    for (const wchar_t* name : {L"utils", L"VEVEVEVIVARUDIR", L"vantel.exe", L"Uninstall.exe", L"Rodudave.exe",
                                L"orbVuzOD.dll", L"config.set", L"rodozivo.exe", L"dazovoze.exe"}) {
      EXPECT_TRUE(roots->Contains(name)) << testing::PrintToString(std::wstring(name));
    }
    EXPECT_FALSE(roots->Contains(L"ZavAdo"));
    EXPECT_TRUE(Exists(extractDir));
  }
  EXPECT_FALSE(Exists(extractDir));  // removed with the configuration
  ::FreeLibrary(exe);
}

TEST_F(UnpackTest, MissingResourceFails) {
  CSetupConfig config;
  EXPECT_FALSE(config.LoadFromResource(::GetModuleHandleW(nullptr), 209, L"SETUPCONFIG", L"tarvo.mvkprj"));
  CResourceUnpack unpack;
  EXPECT_FALSE(unpack.Init(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(209), L"SETUPCONFIG"));
  std::wstring out;
  EXPECT_FALSE(unpack.Unpack(out));
}
