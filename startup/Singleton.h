#pragma once
// Lazily created process-wide singletons. Instances live until the process ends.
#include <new>
#include "startup/Locks.h"

namespace detail {
// A critical section that is usable before any constructor has run: initialised on first
// use through a one-time init, so singletons may be reached from static initialisers.
class StaticCriticalSection {
 public:
  void Enter() { ::InitOnceExecuteOnce(&once_, &Init, &cs_, nullptr); ::EnterCriticalSection(&cs_); }
  void Leave() { ::LeaveCriticalSection(&cs_); }
 private:
  static BOOL CALLBACK Init(PINIT_ONCE, PVOID cs, PVOID*) {
    ::InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(cs));
    return TRUE;
  }
  INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
  CRITICAL_SECTION cs_{};
};
}  // namespace detail

template <class T>
class CSingletonT {
 public:
  // The instance, created on first call; null only when its lock cannot be allocated.
  static T* Instance() {
    if (!lock_) {
      creation_guard_.Enter();
      if (!lock_) lock_ = new (std::nothrow) _BaseModule::CCriticalSection;
      creation_guard_.Leave();
      if (!lock_) return nullptr;
    }
    if (T* existing = instance_) return existing;
    _BaseModule::CAutoLocker hold(lock_);
    if (!instance_) {
      T* created = new T;
      ::MemoryBarrier();
      instance_ = created;
    }
    return instance_;
  }

 protected:
  CSingletonT() = default;
  ~CSingletonT() = default;

 private:
  static T* volatile instance_;
  static _BaseModule::CCriticalSection* volatile lock_;
  static detail::StaticCriticalSection creation_guard_;
};

template <class T> T* volatile CSingletonT<T>::instance_ = nullptr;
template <class T> _BaseModule::CCriticalSection* volatile CSingletonT<T>::lock_ = nullptr;
template <class T> detail::StaticCriticalSection CSingletonT<T>::creation_guard_;
