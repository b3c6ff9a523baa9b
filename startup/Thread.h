#pragma once
// A reusable worker thread that runs a callback per start, and a plain thread holder.
#include <windows.h>
#include "common/UniqueHandle.h"

class IThreadCallback {
 public:
  virtual void Run(DWORD_PTR parameter) = 0;
 protected:
  ~IThreadCallback() = default;
};

// The worker-thread client role: the worker calls Execute once per signal of the
// registered event.
class IWorkerThreadClient {
 public:
  virtual HRESULT Execute(DWORD_PTR parameter, HANDLE object) = 0;
  virtual HRESULT CloseHandle(HANDLE handle) = 0;
 protected:
  ~IWorkerThreadClient() = default;
};

class CXThread : public IWorkerThreadClient {
 public:
  CXThread() = default;
  CXThread(const CXThread&) = delete;
  CXThread& operator=(const CXThread&) = delete;
  virtual ~CXThread();

  // Starts a run with the parameter; false while a run is in progress or when the worker
  // cannot be created. The callback is taken at the first start only.
  bool Start(DWORD_PTR parameter, IThreadCallback* callback);
  bool IsRunning() const { return ::InterlockedCompareExchange(&running_, 0, 0) != 0; }

  HRESULT Execute(DWORD_PTR parameter, HANDLE object) override;
  HRESULT CloseHandle(HANDLE handle) override;

 private:
  bool Initialise(IThreadCallback* callback);
  static DWORD WINAPI WorkerMain(LPVOID self);

  volatile LONG initialised_ = 0;
  mutable volatile LONG running_ = 0;
  volatile LONG parameter_ = 0;
  win::UniqueHandle wake_event_;
  win::UniqueHandle stop_event_;
  win::UniqueHandle worker_;
  IThreadCallback* callback_ = nullptr;
};

class CSimpleThread {
 public:
  CSimpleThread() = default;
  CSimpleThread(const CSimpleThread&) = delete;
  CSimpleThread& operator=(const CSimpleThread&) = delete;
  // Closes the handle without waiting for the thread.
  ~CSimpleThread();

  bool Start(LPTHREAD_START_ROUTINE body, void* parameter);
  HANDLE Handle() const { return handle_.get(); }
  DWORD Id() const { return id_; }
  bool IsRunning() const;

 private:
  win::UniqueHandle handle_;
  DWORD id_ = static_cast<DWORD>(-1);
  bool running_ = false;
};
