#include "engine/Uninstaller.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "startup/SmartLogger.h"
#include "startup/UIThreadWindow.h"
#include "tests/unit/TestSupport.h"

namespace {

// Plays the progress window: records every call with the thread it arrived on.
class RecordingWindow : public IUninstallCallback {
 public:
  explicit RecordingWindow(CUninstaller* driver) : driver_(driver), end_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  void OnStart() override { Record("start", 0); }
  void OnProgress(int percent) override {
    Record("progress", percent);
    progress.push_back(percent);
    if (percent == detach_at) driver_->DetachCallback();
  }
  void OnFinish() override { Record("finish", 0); }
  void OnUninstallEnd() override {
    Record("end", 0);
    ::SetEvent(end_.get());
  }
  // Pumps messages (the driver's UI calls need it) until the end or the time-out.
  bool PumpUntilEnd(DWORD timeout_ms) {
    DWORD deadline = ::GetTickCount() + timeout_ms;
    for (;;) {
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
      if (::WaitForSingleObject(end_.get(), 0) == WAIT_OBJECT_0) return true;
      LONG left = static_cast<LONG>(deadline - ::GetTickCount());
      if (left <= 0) return false;
      HANDLE end = end_.get();
      ::MsgWaitForMultipleObjects(1, &end, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
  }
  struct Call {
    std::string what;
    int value;
    DWORD thread;
  };
  std::vector<Call> calls;
  std::vector<int> progress;
  int detach_at = -1;

 private:
  void Record(const char* what, int value) { calls.push_back({what, value, ::GetCurrentThreadId()}); }
  CUninstaller* driver_;
  win::UniqueHandle end_;
};

class UninstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateUIThreadWindow());
    root_ = test_support::MakeScratchDir(L"driver");
    dir_ = root_ + L"\\Lumetta";
    ::CreateDirectoryW(dir_.c_str(), nullptr);
    log_ = root_ + L"\\tarvo_uninst.log";
    ProcessLog().SetLogPath(log_);
    driver_ = std::make_unique<CUninstaller>();
    driver_->SetInstallDir(dir_.c_str());
    driver_->SetAllowListTest([](const std::wstring& upper) { return upper == L"VANTEL.EXE" || upper == L"UTILS"; });
    SetRestartScheduler(&NoSchedule);
  }
  void TearDown() override { SetRestartScheduler(nullptr); }
  static bool NoSchedule(const wchar_t*) { return true; }

  void Make(const std::wstring& rel) {
    std::wstring path = dir_ + L"\\" + rel;
    for (size_t at = path.find(L'\\', dir_.size() + 1); at != std::wstring::npos; at = path.find(L'\\', at + 1))
      ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    ASSERT_TRUE(test_support::WriteFileBytes(path, "x"));
  }
  std::string Log() { return test_support::ReadFileBytes(log_); }

  std::wstring root_, dir_, log_;
  std::unique_ptr<CUninstaller> driver_;
};

TEST_F(UninstallerTest, FullRunDeliversTheProgressSequenceOnTheUiThreadAndEndsOnTheWorker) {
  Make(L"vantel.exe");
  Make(L"Utils\\a.dll");
  Make(L"Utils\\b\\c.dat");
  Make(L"stranger.txt");
  RecordingWindow window(driver_.get());
  ASSERT_TRUE(driver_->Start(&window));
  ASSERT_TRUE(window.PumpUntilEnd(60000));

  EXPECT_EQ(window.progress, (std::vector<int>{1, 4, 5, 6, 7, 8, 9, 39, 68, 98, 97, 98, 99}));
  ASSERT_GE(window.calls.size(), 3u);
  EXPECT_EQ(window.calls.front().what, "start");
  EXPECT_EQ(window.calls[window.calls.size() - 2].what, "finish");
  EXPECT_EQ(window.calls.back().what, "end");
  DWORD ui = ::GetCurrentThreadId();
  for (size_t i = 0; i + 1 < window.calls.size(); ++i) EXPECT_EQ(window.calls[i].thread, ui) << window.calls[i].what;
  EXPECT_NE(window.calls.back().thread, ui);

  EXPECT_EQ(::GetFileAttributesW((dir_ + L"\\Utils").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(::GetFileAttributesW((dir_ + L"\\stranger.txt").c_str()), INVALID_FILE_ATTRIBUTES);

  // The sequence's own log lines, in order.
  std::string log = Log();
  std::string dir(dir_.begin(), dir_.end());
  const std::string lines[] = {"start uninstall thread...", "start call program", "start close all processes",
                               "remove desktop shortcuts", "remove start menu shortcuts", "remove cef cache",
                               "remove file by registry", "remove registry", "remove autorun", "delete ZentrikLock\r\n",
                               "delete ZentrikLockWp\r\n", "delete VivazavoDirazazIv\r\n",
                               "start delete all files in " + dir + "\r\n", "end delete all files in " + dir + "\r\n",
                               "start uninstall RuvediduruveZI.", "start create runonce bat", "re unistinfo ret=0\r\n"};
  size_t at = 0;
  for (const std::string& line : lines) {
    size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
    at = found + line.size();
  }
  EXPECT_EQ(log.find("remove appdata"), std::string::npos);  // only with the user-data flag
  // The protection services are not installed here: each deletion fails and says so.
  EXPECT_NE(log.find("delete ZentrikLock fail\r\n"), std::string::npos);
}

TEST_F(UninstallerTest, DetachedAtStepElevenNothingMoreArrivesButTheStepsComplete) {
  Make(L"vantel.exe");
  RecordingWindow window(driver_.get());
  window.detach_at = 4;
  ASSERT_TRUE(driver_->Start(&window));
  EXPECT_FALSE(window.PumpUntilEnd(3000));  // no end call ever comes
  for (int i = 0; i < 200 && Log().find("re unistinfo ret=") == std::string::npos; ++i) window.PumpUntilEnd(50);
  window.PumpUntilEnd(300);
  EXPECT_NE(Log().find("re unistinfo ret=0"), std::string::npos);
  EXPECT_EQ(window.progress, (std::vector<int>{1, 4}));
  EXPECT_EQ(window.calls.back().what, "progress");
  EXPECT_EQ(::GetFileAttributesW((dir_ + L"\\vantel.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(UninstallerFlags, GameCenterParametersFollowTheFlag) {
  CUninstaller driver;
  EXPECT_EQ(driver.GameCenterParameters(), L"/S /PID=tarvo /NOUNINSTALL");
  driver.SetUninstallGameCenter(true);
  EXPECT_EQ(driver.GameCenterParameters(), L"/S /PID=tarvo /UNINSTALL");
}

}  // namespace
