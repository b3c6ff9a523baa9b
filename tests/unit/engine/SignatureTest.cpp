// The two signature tests over one table of signed, unsigned and broken files, and
// RunProgram's refusal to start what fails the publisher test.
#include <gtest/gtest.h>

#include <windows.h>
#include <string>

#include "engine/RunProgram.h"
#include "engine/Signature.h"
#include "tests/unit/TestSupport.h"

namespace {

const wchar_t kListed[] = L"Lumetta Software Co., Ltd.";

std::wstring Sample(const wchar_t* name) { return test_support::ExeDir() + L"signed\\" + name; }

struct SignatureCase {
  const wchar_t* file;
  bool by_maker;
  const wchar_t* signer;  // for IsSignedBy
  bool by_signer;
};

const SignatureCase kCases[] = {
    {L"unsigned.exe", false, kListed, false},
    {L"publisher.exe", true, kListed, true},
    {L"publisher.exe", true, L"LUMETTA software co., ltd.", true},  // named signer ignores case
    {L"publisher.exe", true, L"Another Signer Ltd.", false},
    {L"unlisted.exe", false, L"Unlisted Sample Publisher Ltd.", true},
    {L"expired.exe", true, kListed, true},
    {L"untrusted.exe", true, kListed, false},  // untrusted root: publisher test only
    {L"tampered.exe", false, kListed, false},
    {L"a directory.exe", false, kListed, false},
    {L"casefold.exe", false, kListed, true},  // "LUMETTA SOFTWARE CO., LTD." is not in the list
    {L"missing.exe", false, kListed, false},
};

TEST(Signature, BothTestsOverTheSampleTable) {
  ASSERT_NE(::GetFileAttributesW(Sample(L"publisher.exe").c_str()), INVALID_FILE_ATTRIBUTES)
      << "signature samples not built";
  for (const auto& c : kCases) {
    std::wstring path = Sample(c.file);
    std::string name(path.begin(), path.end());
    EXPECT_EQ(IsSignedByMaker(path.c_str()), c.by_maker) << name;
    EXPECT_EQ(IsSignedBy(path.c_str(), c.signer), c.by_signer) << name;
  }
}

TEST(Signature, NullArguments) {
  EXPECT_FALSE(IsSignedByMaker(nullptr));
  EXPECT_FALSE(IsSignedByMaker(L""));
  EXPECT_TRUE(IsSignedBy(Sample(L"unsigned.exe").c_str(), nullptr));  // no signer named: passes at once
  EXPECT_TRUE(IsSignedBy(nullptr, nullptr));
  EXPECT_FALSE(IsSignedBy(nullptr, kListed));
}

TEST(Signature, PublisherListHas18DistinctNames) {
  for (size_t i = 0; i < 18; ++i)
    for (size_t j = i + 1; j < 18; ++j) EXPECT_NE(std::wstring(signature::kPublishers[i]), signature::kPublishers[j]);
  EXPECT_TRUE(signature::IsPublisherName(kListed));
  EXPECT_FALSE(signature::IsPublisherName(L"lumetta software co., ltd."));
}

TEST(RunProgram, VerifiedStartRunsOnlySignedPrograms) {
  DWORD code = 1234;
  EXPECT_TRUE(RunProgram(Sample(L"publisher.exe").c_str(), L"10", SW_HIDE, true, true, &code, 20000));
  EXPECT_EQ(code, 0u);
  code = 1234;
  EXPECT_FALSE(RunProgram(Sample(L"unsigned.exe").c_str(), L"10", SW_HIDE, true, true, &code, 20000));
  EXPECT_EQ(code, 1234u);  // nothing started, nothing read
  EXPECT_FALSE(RunProgram(Sample(L"tampered.exe").c_str(), L"10", SW_HIDE, true, true, nullptr, 20000));
  // Without verification the unsigned program starts.
  EXPECT_TRUE(RunProgram(Sample(L"unsigned.exe").c_str(), L"10", SW_HIDE, false, true, &code, 20000));
  EXPECT_EQ(code, 0u);
}

TEST(RunProgram, TimeOutLeavesTheProcessRunningAndReportsStillActive) {
  DWORD code = 0;
  EXPECT_TRUE(RunProgram(Sample(L"unsigned.exe").c_str(), L"1500", SW_HIDE, false, true, &code, 50));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  ::Sleep(1700);
}

TEST(RunProgram, RefusesBadPaths) {
  EXPECT_FALSE(RunProgram(nullptr, L"", SW_HIDE, false, false, nullptr, 0));
  EXPECT_FALSE(RunProgram(L"", L"", SW_HIDE, false, false, nullptr, 0));
  EXPECT_FALSE(RunProgram(Sample(L"missing.exe").c_str(), L"", SW_HIDE, false, false, nullptr, 0));
  std::wstring long_path = L"C:\\" + std::wstring(300, L'a') + L".exe";
  EXPECT_FALSE(RunProgram(long_path.c_str(), L"", SW_HIDE, false, false, nullptr, 0));
}

}  // namespace
