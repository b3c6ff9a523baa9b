#pragma once
// The application module and a message loop with idle handlers and message filters.
#include <windows.h>
#include <map>
#include <vector>

#include "startup/Locks.h"

namespace wf {

class CMessageFilter {
 public:
  // True when the message was consumed and must not be dispatched.
  virtual BOOL PreTranslateMessage(MSG* msg) = 0;
 protected:
  ~CMessageFilter() = default;
};

class CIdleHandler {
 public:
  virtual BOOL OnIdle() = 0;
 protected:
  ~CIdleHandler() = default;
};

class CMessageLoop {
 public:
  bool AddMessageFilter(CMessageFilter* filter);
  bool RemoveMessageFilter(CMessageFilter* filter);
  bool AddIdleHandler(CIdleHandler* handler);
  bool RemoveIdleHandler(CIdleHandler* handler);

  // Pumps messages until WM_QUIT; returns the quit code.
  int Run();
  // Filters see every message first, the last added first.
  BOOL PreTranslateMessage(MSG* msg);
  // Runs the idle handlers; true when any asked for more idle time.
  BOOL OnIdle(int idle_count);

 private:
  static bool IsIdleMessage(const MSG& msg);
  std::vector<CMessageFilter*> filters_;
  std::vector<CIdleHandler*> idle_handlers_;
};

// Process-wide module bookkeeping: the instance and each UI thread's message loop.
class CAppModule {
 public:
  HRESULT Init(HINSTANCE instance);
  void Term();
  HINSTANCE GetModuleInstance() const { return instance_; }

  bool AddMessageLoop(CMessageLoop* loop);  // for the calling thread
  bool RemoveMessageLoop();
  CMessageLoop* GetMessageLoop(DWORD thread_id = ::GetCurrentThreadId());

 private:
  HINSTANCE instance_ = nullptr;
  _BaseModule::CCriticalSection lock_;
  std::map<DWORD, CMessageLoop*> loops_;
};

extern CAppModule _Module;

}  // namespace wf
