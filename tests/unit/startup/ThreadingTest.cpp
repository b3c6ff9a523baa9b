#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/UniqueHandle.h"
#include "startup/Singleton.h"
#include "startup/Thread.h"
#include "startup/UIThreadWindow.h"

namespace {

std::atomic<int> g_constructions{0};

class SlowSingleton : public CSingletonT<SlowSingleton> {
 public:
  SlowSingleton() {
    ++g_constructions;
    ::Sleep(50);  // widens the window in which a second caller could construct again
  }
};

TEST(Singleton, RacingThreadsGetOneObjectConstructedOnce) {
  constexpr int kThreads = 8;
  std::vector<SlowSingleton*> seen(kThreads, nullptr);
  win::UniqueHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      ::WaitForSingleObject(go.get(), INFINITE);
      seen[i] = SlowSingleton::Instance();
    });
  ::SetEvent(go.get());
  for (auto& t : threads) t.join();
  EXPECT_EQ(g_constructions.load(), 1);
  for (SlowSingleton* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_NE(seen[0], nullptr);
}

class RecordingCallback : public IThreadCallback {
 public:
  RecordingCallback() : release_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
                        entered_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
                        done_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  void Run(DWORD_PTR parameter) override {
    parameters.push_back(parameter);
    thread_id = ::GetCurrentThreadId();
    ::SetEvent(entered_.get());
    ::WaitForSingleObject(release_.get(), INFINITE);
    ::SetEvent(done_.get());
  }
  std::vector<DWORD_PTR> parameters;
  DWORD thread_id = 0;
  win::UniqueHandle release_, entered_, done_;
};

TEST(XThread, SecondStartDuringARunIsRefusedThenANewRunUsesTheFirstCallback) {
  RecordingCallback first, second;
  CXThread thread;
  ASSERT_TRUE(thread.Start(7, &first));
  EXPECT_FALSE(thread.Start(8, &first));  // refused before the worker even woke up
  ASSERT_EQ(::WaitForSingleObject(first.entered_.get(), 5000), WAIT_OBJECT_0);
  EXPECT_FALSE(thread.Start(9, &second));
  EXPECT_TRUE(thread.IsRunning());
  ::SetEvent(first.release_.get());
  ASSERT_EQ(::WaitForSingleObject(first.done_.get(), 5000), WAIT_OBJECT_0);
  for (int i = 0; i < 100 && thread.IsRunning(); ++i) ::Sleep(10);
  ASSERT_FALSE(thread.IsRunning());

  ASSERT_TRUE(thread.Start(10, &second));  // the callback of the first start stays
  ASSERT_EQ(::WaitForSingleObject(first.done_.get(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(first.parameters, (std::vector<DWORD_PTR>{7, 10}));
  EXPECT_TRUE(second.parameters.empty());
  EXPECT_NE(first.thread_id, ::GetCurrentThreadId());
}

class UiCallRecorder {
 public:
  void Record() { thread_id = ::GetCurrentThreadId(); ++calls; }
  void RecordValue(int v) { value = v; thread_id = ::GetCurrentThreadId(); ++calls; }
  DWORD thread_id = 0;
  int calls = 0;
  int value = 0;
};

// The hidden window is created once per process: the test before creation must run first.
TEST(UIThreadCall, DoesNothingBeforeTheWindowExists) {
  UiCallRecorder recorder;
  mf_bind_t<UiCallRecorder, UiCallRecorder*, void> call(&UiCallRecorder::Record, &recorder);
  RunOnUIThread(&call);
  EXPECT_EQ(recorder.calls, 0);
}

TEST(UIThreadCall, WorkerCallRunsOnTheUIThreadWhileTheWorkerWaits) {
  ASSERT_TRUE(CreateUIThreadWindow());
  ASSERT_TRUE(CreateUIThreadWindow());  // once only
  UiCallRecorder recorder;
  mf_bind_t_1<UiCallRecorder, UiCallRecorder*, void, int> call(&UiCallRecorder::RecordValue, &recorder, 42);
  std::atomic<bool> worker_returned{false};
  int calls_seen_by_worker = -1;
  std::thread worker([&] {
    RunOnUIThread(&call);
    calls_seen_by_worker = recorder.calls;  // the call has run when RunOnUIThread returns
    worker_returned = true;
  });
  // Pump messages on this (UI) thread until the worker is through.
  DWORD deadline = ::GetTickCount() + 5000;
  while (!worker_returned && ::GetTickCount() < deadline) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  worker.join();
  EXPECT_EQ(calls_seen_by_worker, 1);
  EXPECT_EQ(recorder.value, 42);
  EXPECT_EQ(recorder.thread_id, ::GetCurrentThreadId());
}

TEST(UIThreadCall, CallFromTheUIThreadRunsDirectly) {
  ASSERT_TRUE(CreateUIThreadWindow());
  UiCallRecorder recorder;
  mf_bind_t<UiCallRecorder, UiCallRecorder*, void> call(&UiCallRecorder::Record, &recorder);
  RunOnUIThread(&call);
  EXPECT_EQ(recorder.calls, 1);
  EXPECT_EQ(recorder.thread_id, ::GetCurrentThreadId());
}

DWORD WINAPI SetFlag(LPVOID flag) {
  static_cast<std::atomic<bool>*>(flag)->store(true);
  return 0;
}

TEST(SimpleThread, RunsItsBodyAndForgetsTheIdOnDestruction) {
  std::atomic<bool> ran{false};
  {
    CSimpleThread thread;
    EXPECT_EQ(thread.Id(), static_cast<DWORD>(-1));
    ASSERT_TRUE(thread.Start(&SetFlag, &ran));
    EXPECT_NE(thread.Id(), static_cast<DWORD>(-1));
    ASSERT_EQ(::WaitForSingleObject(thread.Handle(), 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(thread.IsRunning());
  }
  EXPECT_TRUE(ran);
}

}  // namespace
