#include "winframe/MessageLoop.h"

#include <algorithm>

namespace wf {

CAppModule _Module;

namespace {
template <class T>
bool AddUnique(std::vector<T*>& list, T* item) {
  if (!item || std::find(list.begin(), list.end(), item) != list.end()) return false;
  list.push_back(item);
  return true;
}
template <class T>
bool RemoveItem(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}
}  // namespace

bool CMessageLoop::AddMessageFilter(CMessageFilter* filter) { return AddUnique(filters_, filter); }
bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) { return RemoveItem(filters_, filter); }
bool CMessageLoop::AddIdleHandler(CIdleHandler* handler) { return AddUnique(idle_handlers_, handler); }
bool CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) { return RemoveItem(idle_handlers_, handler); }

BOOL CMessageLoop::PreTranslateMessage(MSG* msg) {
  // A filter may remove itself while it runs: iterate over a copy.
  std::vector<CMessageFilter*> filters(filters_.rbegin(), filters_.rend());
  for (CMessageFilter* filter : filters)
    if (filter->PreTranslateMessage(msg)) return TRUE;
  return FALSE;
}

BOOL CMessageLoop::OnIdle(int) {
  std::vector<CIdleHandler*> handlers(idle_handlers_);
  BOOL more = FALSE;
  for (CIdleHandler* handler : handlers) more |= handler->OnIdle();
  return more;
}

bool CMessageLoop::IsIdleMessage(const MSG& msg) {
  // Mouse moves and caret blinks repeat without end; they do not restart idle processing.
  return msg.message != WM_MOUSEMOVE && msg.message != WM_NCMOUSEMOVE && msg.message != WM_PAINT &&
         msg.message != 0x0118 /* WM_SYSTIMER */;
}

int CMessageLoop::Run() {
  bool do_idle = true;
  int idle_count = 0;
  MSG msg{};
  for (;;) {
    while (do_idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(idle_count++)) do_idle = false;
    }
    BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) continue;  // an invalid window handle: nothing to dispatch
    if (!got) break;          // WM_QUIT
    if (!PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (IsIdleMessage(msg)) { do_idle = true; idle_count = 0; }
  }
  return static_cast<int>(msg.wParam);
}

HRESULT CAppModule::Init(HINSTANCE instance) {
  instance_ = instance;
  return S_OK;
}

void CAppModule::Term() {
  _BaseModule::CAutoLocker hold(&lock_);
  loops_.clear();
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
  _BaseModule::CAutoLocker hold(&lock_);
  return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop() {
  _BaseModule::CAutoLocker hold(&lock_);
  return loops_.erase(::GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD thread_id) {
  _BaseModule::CAutoLocker hold(&lock_);
  auto it = loops_.find(thread_id);
  return it == loops_.end() ? nullptr : it->second;
}

}  // namespace wf
