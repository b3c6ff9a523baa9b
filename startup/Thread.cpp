#include "startup/Thread.h"

#include <objbase.h>

CXThread::~CXThread() {
  // The worker normally lives until the process ends; a thread object that goes out of
  // scope earlier (tests) lets its worker finish the current run and leave.
  if (stop_event_) {
    ::SetEvent(stop_event_.get());
    if (worker_) ::WaitForSingleObject(worker_.get(), INFINITE);
  }
}

bool CXThread::Initialise(IThreadCallback* callback) {
  wake_event_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  stop_event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!wake_event_ || !stop_event_) return false;
  callback_ = callback;
  worker_.reset(::CreateThread(nullptr, 0, &CXThread::WorkerMain, this, 0, nullptr));
  if (!worker_) return false;
  ::InterlockedExchange(&initialised_, 1);
  return true;
}

bool CXThread::Start(DWORD_PTR parameter, IThreadCallback* callback) {
  if (::InterlockedCompareExchange(&running_, 0, 0) != 0) return false;
  if (::InterlockedCompareExchange(&initialised_, 0, 0) == 0 && !Initialise(callback)) return false;
  ::InterlockedExchange(&parameter_, static_cast<LONG>(parameter));
  // Marked running before the worker wakes, so that a second Start in between is refused.
  ::InterlockedExchange(&running_, 1);
  ::SetEvent(wake_event_.get());
  return true;
}

DWORD WINAPI CXThread::WorkerMain(LPVOID self_ptr) {
  auto* self = static_cast<CXThread*>(self_ptr);
  HANDLE waits[] = {self->stop_event_.get(), self->wake_event_.get()};
  for (;;) {
    DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0 + 1) break;
    self->Execute(static_cast<DWORD_PTR>(::InterlockedCompareExchange(&self->parameter_, 0, 0)),
                  self->wake_event_.get());
  }
  self->CloseHandle(self->wake_event_.get());
  return 0;
}

HRESULT CXThread::Execute(DWORD_PTR parameter, HANDLE) {
  HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ::InterlockedExchange(&running_, 1);
  if (callback_) callback_->Run(parameter);
  ::InterlockedExchange(&running_, 0);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return S_OK;
}

HRESULT CXThread::CloseHandle(HANDLE) { return S_OK; }

CSimpleThread::~CSimpleThread() {
  handle_.reset();
  id_ = static_cast<DWORD>(-1);
}

bool CSimpleThread::Start(LPTHREAD_START_ROUTINE body, void* parameter) {
  DWORD id = 0;
  handle_.reset(::CreateThread(nullptr, 0, body, parameter, 0, &id));
  if (!handle_) return false;
  id_ = id;
  running_ = true;
  return true;
}

bool CSimpleThread::IsRunning() const {
  return running_ && handle_ && ::WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT;
}
