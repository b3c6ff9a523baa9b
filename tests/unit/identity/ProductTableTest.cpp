// Product detection next to the running program and the product's pid value.
#include <gtest/gtest.h>

#include <windows.h>
#include <string>

#include "tests/unit/TestSupport.h"
#include "common/UniqueHandle.h"
#include "identity/ProductTable.h"

namespace {

TEST(ProductDirectory, RemovesTheFileNameAndOneLevelPerLevel) {
  const std::wstring module = L"C:\\Program Files (x86)\\Lumetta\\Utils\\Uninstall.exe";
  struct {
    int levels;
    const wchar_t* expected;
  } cases[] = {
      {0, L"C:\\Program Files (x86)\\Lumetta\\Utils"},
      {1, L"C:\\Program Files (x86)\\Lumetta"},
      {2, L"C:\\Program Files (x86)"},
      {9, L"C:\\"},  // the root stays
  };
  for (const auto& c : cases) EXPECT_EQ(identity::ProductDirectory(module, c.levels), c.expected) << c.levels;
}

TEST(DetectProductIn, MainExecutableOrItsSecondName) {
  struct {
    const char* what;
    const wchar_t* file;  // nullptr: nothing
    bool as_directory;
    int expected;
  } cases[] = {
      {"empty directory (the temporary copy)", nullptr, false, 0},
      {"vantel.exe", L"vantel.exe", false, 3},
      {"only dazovoze.exe", L"dazovoze.exe", false, 3},
      {"name in other case", L"VANTEL.EXE", false, 3},
      {"a directory named like the program", L"vantel.exe", true, 0},
      {"another program", L"Uninstall.exe", false, 0},
  };
  for (const auto& c : cases) {
    std::wstring dir = test_support::MakeScratchDir(L"detect");
    if (c.file) {
      std::wstring path = dir + L"\\" + c.file;
      if (c.as_directory)
        ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)) << c.what;
      else
        ASSERT_TRUE(test_support::WriteFileBytes(path, "MZ")) << c.what;
    }
    EXPECT_EQ(identity::DetectProductIn(dir), c.expected) << c.what;
  }
}

TEST(DetectProduct, NegativeLevelsAndTheTestDirectory) {
  EXPECT_EQ(identity::DetectProduct(-1), 0);
  // The test executable's folder holds no product program: both texts are empty.
  ASSERT_EQ(identity::DetectProductIn(test_support::ExeDir()), 0);
  EXPECT_EQ(identity::DetectProduct(0), 0);
  EXPECT_EQ(identity::GetProductCode(0), L"");
  EXPECT_EQ(identity::GetProductPid(0), L"");
}

TEST(ProductTable, RowOfThisProduct) {
  const identity::ProductTable& t = identity::Products();
  EXPECT_EQ(t.mainExecutable.at(3), L"vantel.exe");
  EXPECT_EQ(t.productCode.at(3), L"tarvo");
  EXPECT_EQ(t.pidKey.at(3), L"Software\\orbWallPaper");
  EXPECT_EQ(t.productCode.count(0), 0u);  // "nothing detected" has no row
}

class PidValue : public ::testing::Test {
 protected:
  const wchar_t* path_ = L"Software\\UninstTests\\ProductPid";
  void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, path_); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, path_); }
  void Put(DWORD type, const void* data, DWORD size) {
    win::UniqueKey k;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path_, 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(k.get(), L"PID", 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }
};

TEST_F(PidValue, StringTypesOfAtMost520Bytes) {
  const wchar_t pid[] = L"oem_1234";
  std::wstring long_pid(260, L'7');  // 522 bytes with the NUL
  DWORD number = 1234;
  struct {
    const char* what;
    DWORD type;
    const void* data;
    DWORD size;
    const wchar_t* expected;
  } cases[] = {
      {"plain string", REG_SZ, pid, sizeof(pid), L"oem_1234"},
      {"expandable string", REG_EXPAND_SZ, pid, sizeof(pid), L"oem_1234"},
      {"empty", REG_SZ, L"", 0, L""},
      {"number", REG_DWORD, &number, sizeof(number), L""},
      {"binary", REG_BINARY, pid, sizeof(pid), L""},
      {"longer than 520 bytes", REG_SZ, long_pid.c_str(), DWORD((long_pid.size() + 1) * 2), L""},
  };
  for (const auto& c : cases) {
    SetUp();
    Put(c.type, c.data, c.size);
    EXPECT_EQ(identity::ReadProductPidValue(HKEY_CURRENT_USER, path_, 0), c.expected) << c.what;
  }
  SetUp();
  EXPECT_EQ(identity::ReadProductPidValue(HKEY_CURRENT_USER, path_, 0), L"") << "no key";
}

}  // namespace
