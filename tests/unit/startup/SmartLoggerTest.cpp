#include "startup/SmartLogger.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <clocale>
#include <fstream>
#include <iterator>
#include <string>

#include "common/UniqueHandle.h"
#include "tests/unit/TestSupport.h"

namespace {

class SmartLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::_wsetlocale(LC_ALL, L"chs");
    dir_ = test_support::MakeScratchDir(L"logger");
    path_ = dir_ + L"\\tarvo_uninst.log";
  }
  std::wstring dir_, path_;
};

TEST_F(SmartLoggerTest, WritesGbkTextWithCrLfAndOneHeader) {
  CSmartLogger log;
  log.SetLogPath(path_);
  log.AddLine(L"卸载开始");
  ASSERT_TRUE(log.Flush());
  log.AddLine(L"second line\n");  // already ends with a line feed: no second one
  ASSERT_TRUE(log.Flush());
  std::string bytes = test_support::ReadFileBytes(path_);

  EXPECT_EQ(bytes.rfind("\r\r\n================== Start Log:", 0), 0u) << bytes;
  EXPECT_EQ(test_support::CountOf(bytes, "Start Log:"), 1u);
  // "卸载开始" in code page 936, then CR LF.
  EXPECT_NE(bytes.find("\xD0\xB6\xD4\xD8\xBF\xAA\xCA\xBC\r\n"), std::string::npos);
  EXPECT_NE(bytes.find(" second line\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("\r\n\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("\n\n"), std::string::npos);
}

TEST_F(SmartLoggerTest, LinesWaitForAPathAndKeepTheirOrder) {
  CSmartLogger log;
  log.AddLine(L"early one");
  log.AddLine(L"early two");
  EXPECT_FALSE(log.Flush());  // no path yet: kept
  log.SetLogPath(path_);
  ASSERT_TRUE(log.Flush());
  std::string bytes = test_support::ReadFileBytes(path_);
  size_t one = bytes.find("early one"), two = bytes.find("early two");
  ASSERT_NE(one, std::string::npos);
  ASSERT_NE(two, std::string::npos);
  EXPECT_LT(one, two);
}

TEST_F(SmartLoggerTest, EmptyMessageIsAStampOnly) {
  CSmartLogger log;
  log.SetLogPath(path_);
  log.AddLine(L"");
  log.AddLine(L"after");
  ASSERT_TRUE(log.Flush());
  std::string bytes = test_support::ReadFileBytes(path_);
  // The empty line's stamp ("YYYY-MM-DD hh:mm:ss ") runs straight into the next stamp.
  size_t after = bytes.find("after");
  ASSERT_NE(after, std::string::npos);
  ASSERT_GE(after, 40u);
  std::string two_stamps = bytes.substr(after - 40, 40);
  EXPECT_EQ(two_stamps[4], '-');
  EXPECT_EQ(two_stamps[19], ' ');
  EXPECT_EQ(two_stamps[24], '-');
}

TEST_F(SmartLoggerTest, MissingDirectoryIsCreated) {
  CSmartLogger log;
  std::wstring nested = dir_ + L"\\a\\b\\log.txt";
  log.SetLogPath(nested);
  log.AddLine(L"x");
  EXPECT_TRUE(log.Flush());
  EXPECT_NE(::GetFileAttributesW(nested.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SmartLoggerTest, FileOverOneGibibyteIsDeletedWhenThePathIsSet) {
  struct { unsigned long long size; bool kept; } cases[] = {{kLogSizeLimit, true}, {kLogSizeLimit + 1, false}};
  for (const auto& c : cases) {
    test_support::MakeSparseFile(path_, c.size);
    CSmartLogger log;
    log.SetLogPath(path_);
    EXPECT_EQ(::GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES, c.kept) << c.size;
    ::DeleteFileW(path_.c_str());
  }
}

TEST_F(SmartLoggerTest, FileHeldByAnotherProcessCountsAsEmptyAndStays) {
  test_support::MakeSparseFile(path_, kLogSizeLimit + 1);
  win::UniqueFile held(::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  CSmartLogger log;
  log.SetLogPath(path_);
  held.reset();
  EXPECT_NE(::GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SmartLoggerTest, LogPrintfLimitAndPercentSigns) {
  ProcessLog().SetLogPath(path_);
  std::wstring fits(511, L'a'), too_long(512, L'b');
  LogPrintf(L"%s", fits.c_str());
  LogPrintf(L"%s", too_long.c_str());
  LogPrintf(L"path %s and %d", L"C:\\100%\\%s%d", 7);
  TaskLogPrintf(L"task %s", L"line");
  std::string bytes = test_support::ReadFileBytes(path_);
  EXPECT_NE(bytes.find(std::string(511, 'a') + "\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("bbbb"), std::string::npos);
  EXPECT_NE(bytes.find("path C:\\100%\\%s%d and 7\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("task line\r\n"), std::string::npos);
}

TEST_F(SmartLoggerTest, TwoProcessesEachWriteTheirOwnHeader) {
  for (int i = 0; i < 2; ++i) {
    std::wstring args = L"\"" + path_ + L"\" \"line from process " + std::to_wstring(i) + L"\"";
    ASSERT_EQ(test_support::RunFixture(L"log_writer.exe", args), 0u);
  }
  std::string bytes = test_support::ReadFileBytes(path_);
  EXPECT_EQ(test_support::CountOf(bytes, "================== Start Log:"), 2u);
  size_t first = bytes.find("line from process 0"), second = bytes.find("line from process 1");
  size_t second_header = bytes.find("Start Log:", bytes.find("Start Log:") + 1);
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second_header);
  EXPECT_LT(second_header, second);
}

}  // namespace
