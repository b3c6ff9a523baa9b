#include "engine/InstallFacts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "tests/unit/TestSupport.h"

namespace {

// Sets a REG_SZ value for one test and puts the previous state back afterwards.
class ScopedValue {
 public:
  ScopedValue(HKEY root, const wchar_t* sub_key, const wchar_t* name, const std::wstring* value, REGSAM view)
      : root_(root), sub_key_(sub_key), name_(name), view_(view) {
    ::RegCreateKeyExW(root, sub_key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key_.put(), nullptr);
    DWORD size = sizeof(old_);
    had_ = ::RegQueryValueExW(key_.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(old_), &size) == ERROR_SUCCESS;
    old_size_ = size;
    if (value)
      ::RegSetValueExW(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
    else
      ::RegDeleteValueW(key_.get(), name);
  }
  ~ScopedValue() {
    if (had_)
      ::RegSetValueExW(key_.get(), name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(old_), old_size_);
    else
      ::RegDeleteValueW(key_.get(), name_);
  }

 private:
  HKEY root_;
  const wchar_t* sub_key_;
  const wchar_t* name_;
  REGSAM view_;
  win::UniqueKey key_;
  wchar_t old_[1024] = {};
  DWORD old_size_ = 0;
  bool had_ = false;
};

TEST(InstallFacts, PidLosesSurroundingWhiteSpace) {
  std::wstring value = L" \t abc123 \t ";
  ScopedValue pid(HKEY_CURRENT_USER, L"Software\\orbWallPaper", L"pid", &value, 0);
  EXPECT_EQ(ReadPid(), L"abc123");
}

TEST(InstallFacts, MissingPidIsEmpty) {
  ScopedValue pid(HKEY_CURRENT_USER, L"Software\\orbWallPaper", L"pid", nullptr, 0);
  EXPECT_EQ(ReadPid(), L"");
}

TEST(InstallFacts, GameCenterOwnershipIgnoresCaseAndPlayedTellsUse) {
  struct Case {
    const wchar_t* vendor;  // null: absent
    bool owned;
  } cases[] = {{L"tarvo", true}, {L"OEM_TARVO_2", true}, {L"other", false}, {nullptr, false}};
  for (const Case& c : cases) {
    std::wstring v = c.vendor ? c.vendor : L"";
    ScopedValue vendor(HKEY_LOCAL_MACHINE, kGameCenterKey, L"VendorID", c.vendor ? &v : nullptr, KEY_WOW64_32KEY);
    EXPECT_EQ(ReadGameCenterOwned(), c.owned) << (c.vendor ? "set" : "absent");
  }
  std::wstring empty, yes = L"1";
  {
    ScopedValue played(HKEY_LOCAL_MACHINE, kGameCenterKey, L"Played", nullptr, KEY_WOW64_32KEY);
    EXPECT_TRUE(ReadGameCenterUnplayed());
  }
  {
    ScopedValue played(HKEY_LOCAL_MACHINE, kGameCenterKey, L"Played", &empty, KEY_WOW64_32KEY);
    EXPECT_TRUE(ReadGameCenterUnplayed());
  }
  {
    ScopedValue played(HKEY_LOCAL_MACHINE, kGameCenterKey, L"Played", &yes, KEY_WOW64_32KEY);
    EXPECT_FALSE(ReadGameCenterUnplayed());
  }
}

TEST(InstallFacts, InstallDirMustExistAndFitTheBuffer) {
  std::wstring dir = test_support::MakeScratchDir(L"facts");
  {
    ScopedValue path(HKEY_LOCAL_MACHINE, kApplicationKey, L"path", &dir, KEY_WOW64_32KEY);
    EXPECT_EQ(ReadInstallDir(), dir);
  }
  std::wstring missing = dir + L"\\not-there";
  std::wstring too_long = dir + L"\\" + std::wstring(260, L'x');
  for (const std::wstring* value : {&missing, &too_long}) {
    ScopedValue path(HKEY_LOCAL_MACHINE, kApplicationKey, L"path", value, KEY_WOW64_32KEY);
    EXPECT_EQ(ReadInstallDir(), L"");
  }
}

std::vector<BYTE> VersionInfoOf(const std::wstring& path) {
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<BYTE> info(size);
  if (size) ::GetFileVersionInfoW(path.c_str(), 0, size, info.data());
  return info;
}

TEST(InstallFacts, StringVersionLosesCommasAndBlanksFixedVersionIsDotted) {
  std::wstring program = test_support::ExeDir() + L"sleeper.exe";
  std::vector<BYTE> info = VersionInfoOf(program);
  ASSERT_FALSE(info.empty());
  std::wstring text;
  ASSERT_TRUE(VersionTextFromInfo(info.data(), true, text));
  EXPECT_EQ(text, L"1.2.3.4");
  ASSERT_TRUE(VersionTextFromInfo(info.data(), false, text));
  EXPECT_EQ(text, L"5.6.7.8");
  // This machine is 64-bit, where the fixed numbers are used.
  ASSERT_TRUE(IsSystem64Bit());
  ASSERT_TRUE(GetProductVersionText(program.c_str(), text));
  EXPECT_EQ(text, L"5.6.7.8");
}

TEST(InstallFacts, NoVersionInformationFailsAndLeavesTheTextAlone) {
  std::wstring text = L"unchanged";
  EXPECT_FALSE(GetProductVersionText((test_support::ExeDir() + L"engine_tests.exe").c_str(), text));
  EXPECT_FALSE(GetProductVersionText(L"C:\\no\\such\\vantel.exe", text));
  EXPECT_EQ(text, L"unchanged");
}

TEST(InstallFacts, Windows10ByNativeNumbers) {
  struct Case {
    DWORD major, minor;
    bool ten;
  } cases[] = {{10, 0, true}, {6, 4, true}, {6, 3, false}, {6, 1, false}, {5, 1, false}, {11, 0, true}};
  for (const Case& c : cases) EXPECT_EQ(IsWindows10OrLater(c.major, c.minor), c.ten) << c.major << "." << c.minor;
}

}  // namespace
