#pragma once
// A hidden window through which a worker thread runs a call on the UI thread and waits.
#include <windows.h>

#include "winframe/Window.h"

class ISimpleBind {
 public:
  virtual void Invoke() = 0;
 protected:
  ~ISimpleBind() = default;
};

// Binds a member function without arguments to an object.
template <class T, class TPtr, class R>
class mf_bind_t : public ISimpleBind {
 public:
  using method_type = R (T::*)();
  mf_bind_t(method_type method, TPtr object) : method_(method), object_(object) {}
  void Invoke() override { (object_->*method_)(); }
 private:
  method_type method_;
  TPtr object_;
};

// Binds a member function with one 32-bit argument to an object and the argument.
template <class T, class TPtr, class R, class A>
class mf_bind_t_1 : public ISimpleBind {
 public:
  using method_type = R (T::*)(A);
  mf_bind_t_1(method_type method, TPtr object, A argument)
      : method_(method), object_(object), argument_(argument) {}
  void Invoke() override { (object_->*method_)(argument_); }
 private:
  method_type method_;
  TPtr object_;
  A argument_;
};

class CUIThreadWindow : public wf::CWindowImpl<CUIThreadWindow> {
 public:
  static constexpr UINT kCallNow = 3002;
  DECLARE_WND_CLASS(L"UninstUIThreadWindow")

  BEGIN_MSG_MAP(CUIThreadWindow)
    MESSAGE_HANDLER(kCallNow, OnCallNow)
  END_MSG_MAP()

 private:
  LRESULT OnCallNow(UINT, WPARAM w, LPARAM, BOOL&) {
    if (auto* call = reinterpret_cast<ISimpleBind*>(w)) call->Invoke();
    return 1;
  }
};

// Creates the hidden window once, on the calling thread (the UI thread).
bool CreateUIThreadWindow();
// Runs the call on the UI thread and returns when it has run; nothing without the window.
void RunOnUIThread(ISimpleBind* call);
