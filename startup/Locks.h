#pragma once
// Lock interface, a re-entrant critical-section lock and a scoped locker.
#include <windows.h>

namespace _BaseModule {

class ILocker {
 public:
  virtual bool Lock() = 0;
  virtual bool Unlock() = 0;
 protected:
  ~ILocker() = default;
};

class CCriticalSection : public ILocker {
 public:
  CCriticalSection() { ::InitializeCriticalSection(&cs_); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;
  bool Lock() override { ::EnterCriticalSection(&cs_); return true; }
  bool Unlock() override { ::LeaveCriticalSection(&cs_); return true; }
  virtual ~CCriticalSection() { ::DeleteCriticalSection(&cs_); }
 private:
  CRITICAL_SECTION cs_;
};

class CAutoLocker {
 public:
  explicit CAutoLocker(ILocker* locker) : locker_(locker) { if (locker_) locker_->Lock(); }
  CAutoLocker(const CAutoLocker&) = delete;
  CAutoLocker& operator=(const CAutoLocker&) = delete;
  virtual ~CAutoLocker() {
    if (locker_) locker_->Unlock();
    locker_ = nullptr;
  }
 private:
  ILocker* locker_;
};

}  // namespace _BaseModule
