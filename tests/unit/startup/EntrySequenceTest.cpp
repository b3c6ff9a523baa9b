#include "startup/EntrySequence.h"

#include <gtest/gtest.h>

#include <set>

#include "services/Codecs.h"

using namespace entry;

TEST(CopyParameters, AppendsReadyUninstallAfterTwoSpacesAndTheTokenOnlyWhenSilent) {
  struct Case {
    const wchar_t* command_line;
    bool silent;
    const wchar_t* token;
    const wchar_t* expected;
  } cases[] = {
      {L"", false, L"", L"  /READYUNINSTALL"},
      {L"/extra=1 \"C:\\a b\"", false, L"ignored", L"/extra=1 \"C:\\a b\"  /READYUNINSTALL"},
      {L"/s", true, L"Ab+/9=", L"/s  /READYUNINSTALL  /CHK=Ab+/9="},
      {L"/Z /K", true, L"", L"/Z /K  /READYUNINSTALL  /CHK="},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildCopyParameters(c.command_line, c.silent, c.token), c.expected);
}

TEST(CommandLineArguments, DropsTheProgramNameQuotedOrNot) {
  EXPECT_EQ(ArgumentsOfCommandLine(L"\"C:\\Program Files (x86)\\Lumetta\\Uninstall.exe\"  /S /x=1"), L"/S /x=1");
  EXPECT_EQ(ArgumentsOfCommandLine(L"Uninstall.exe\t/K"), L"/K");
  EXPECT_EQ(ArgumentsOfCommandLine(L"Uninstall.exe"), L"");
  EXPECT_EQ(ArgumentsOfCommandLine(nullptr), L"");
}

// The token a silent first instance makes must pass the copy's check under the same key, and
// nothing else may.
TEST(CallerToken, OnlyTheCallerWordUnderTheSameKeyPassesASilentCopy) {
  const std::wstring key = L"0123456789abcdef0123456789abcdef";
  auto decrypt = [](const std::wstring& cipher, const std::wstring& k) { return DecryptTextW(cipher, k); };
  const std::wstring token = EncryptTextW(kCallerWord, key);
  ASSERT_FALSE(token.empty());
  struct Case {
    bool silent, relaunched;
    std::wstring token, key;
    bool legal;
  } cases[] = {
      {false, true, L"", key, true},             // interactive copy: no token needed
      {true, false, L"", key, true},             // silent first instance
      {true, true, token, key, true},
      {true, true, EncryptTextW(L"STILLEN", key), key, true},  // letter case ignored
      {true, true, L"", key, false},
      {true, true, token, L"fedcba9876543210fedcba9876543210", false},
      {true, true, EncryptTextW(L"stillen2", key), key, false},
      {true, true, EncryptTextW(L"still", key), key, false},
      {true, true, L"not base64!", key, false},
      {true, true, L"stillen", key, false},       // the word itself is not a token
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsLegalCallToken(c.silent, c.relaunched, c.token, c.key, decrypt), c.legal)
        << c.silent << c.relaunched << " token " << std::string(c.token.begin(), c.token.end());
  }
}

TEST(CallerToken, WithoutADecryptFunctionASilentCopyFails) {
  EXPECT_FALSE(IsLegalCallToken(true, true, L"abc", L"k", nullptr));
}

TEST(TemporaryCacheDir, TakesTheFirstFreeNameOfAtMostTenAttempts) {
  int generated = 0;
  auto names = [&generated] { return L"n" + std::to_wstring(generated++); };
  std::set<std::wstring> taken = {L"T\\n0", L"T\\n1"};
  auto exists = [&taken](const std::wstring& p) { return taken.count(p) != 0; };
  EXPECT_EQ(ChooseTemporaryCacheDir(L"T\\", names, exists), L"T\\n2");

  generated = 0;
  auto all_exist = [](const std::wstring&) { return true; };
  EXPECT_EQ(ChooseTemporaryCacheDir(L"T\\", names, all_exist), L"");
  EXPECT_EQ(generated, 10);
}

TEST(UninstallFromReport, ProgramNameAndVersionTexts) {
  struct Case {
    const wchar_t* path;
    const wchar_t* name;
  } cases[] = {
      {L"C:\\Program Files (x86)\\Lumetta\\vantel.exe", L"vantel"},
      {L"C:\\x\\setup.v2.exe", L"setup.v2"},
      {L"C:\\x\\noext", L"noext"},
      {L"explorer.exe", L"explorer"},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgramNameOfPath(c.path), c.name) << c.path;
  EXPECT_EQ(UninstallFromExtra(L"explorer", L"6.1"), L"&ex1=explorer&ex2=6.1");
  EXPECT_EQ(UninstallFromExtra(L"", L""), L"&ex1=&ex2=");
  EXPECT_EQ(OsVersionText(true, 10, 0), L"10.0");
  EXPECT_EQ(OsVersionText(false, 10, 0), L"");
}

TEST(PreInitFailure, TextAndReportExtraPerCode) {
  EXPECT_EQ(PreInitFailureText(2), kBrokenUninstallerText);
  EXPECT_EQ(PreInitFailureText(3), kBroken7zText);
  EXPECT_EQ(PreInitFailureText(1), L"");
  EXPECT_EQ(PreInitFailureExtra(3), L"&{720260B5-154E-483f-A485-0B46C3D6C50D}=PreInitCheck:3");
}
