#pragma once
// A small window layer: a window wrapper, message maps, window and dialog implementations
// that route messages to member handlers.
#include <windows.h>

namespace wf {

// Thin non-owning wrapper of a window handle.
class CWindow {
 public:
  CWindow(HWND wnd = nullptr) : m_hWnd(wnd) {}
  operator HWND() const { return m_hWnd; }
  bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
  BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
  BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
  LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageW(m_hWnd, msg, w, l); }
  BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageW(m_hWnd, msg, w, l); }
  BOOL Invalidate(BOOL erase = FALSE) const { return ::InvalidateRect(m_hWnd, nullptr, erase); }
  RECT ClientRect() const { RECT r{}; ::GetClientRect(m_hWnd, &r); return r; }
  RECT WindowRect() const { RECT r{}; ::GetWindowRect(m_hWnd, &r); return r; }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  BOOL SetWindowText(const wchar_t* text) const { return ::SetWindowTextW(m_hWnd, text); }
  BOOL CenterWindow(HWND relative = nullptr) const;
  HWND m_hWnd;
};

// Anything that can take a message before the window procedure's default handling.
class CMessageMap {
 public:
  virtual BOOL ProcessWindowMessage(HWND wnd, UINT msg, WPARAM w, LPARAM l, LRESULT& result,
                                    DWORD map_id) = 0;
 protected:
  ~CMessageMap() = default;
};

}  // namespace wf

// Message maps in the familiar shape. A handler returns the message result and may clear
// bHandled to let the message go on to the next entry or to the default procedure.
#define BEGIN_MSG_MAP(theClass)                                                            \
 public:                                                                                   \
  BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,            \
                            LRESULT& lResult, DWORD dwMsgMapID = 0) override {             \
    BOOL bHandled = TRUE;                                                                  \
    (void)hWnd; (void)uMsg; (void)wParam; (void)lParam; (void)lResult; (void)dwMsgMapID;   \
    (void)bHandled;

#define MESSAGE_HANDLER(msg, func)                                                         \
  if (uMsg == (msg)) {                                                                     \
    bHandled = TRUE;                                                                       \
    lResult = func(uMsg, wParam, lParam, bHandled);                                        \
    if (bHandled) return TRUE;                                                             \
  }

#define MESSAGE_RANGE_HANDLER(first, last, func)                                           \
  if (uMsg >= (first) && uMsg <= (last)) {                                                 \
    bHandled = TRUE;                                                                       \
    lResult = func(uMsg, wParam, lParam, bHandled);                                        \
    if (bHandled) return TRUE;                                                             \
  }

#define COMMAND_ID_HANDLER(id, func)                                                       \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) {                                      \
    bHandled = TRUE;                                                                       \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                             \
  }

#define CHAIN_MSG_MAP(theChainClass)                                                       \
  if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, dwMsgMapID)) \
    return TRUE;

#define CHAIN_MSG_MAP_MEMBER(theChainMember)                                               \
  if ((theChainMember).ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, dwMsgMapID)) \
    return TRUE;

#define END_MSG_MAP()                                                                      \
  return FALSE;                                                                            \
  }

namespace wf {

// Registers window classes once per name and keeps the HINSTANCE they belong to.
HINSTANCE ModuleInstance();
ATOM RegisterWindowClass(const wchar_t* class_name, UINT style, HBRUSH background, WNDPROC proc,
                         HCURSOR cursor);

// Base of every window implementation; T supplies the message map. The object must outlive
// its window. The class name is T::GetWndClassName().
class CWindowImplRoot : public CWindow, public CMessageMap {
 public:
  CWindowImplRoot() = default;
  CWindowImplRoot(const CWindowImplRoot&) = delete;
  CWindowImplRoot& operator=(const CWindowImplRoot&) = delete;
  virtual ~CWindowImplRoot() = default;

  // Called after WM_NCDESTROY, when the handle is already gone.
  virtual void OnFinalMessage(HWND) {}
  // The message currently being handled (for DefWindowProc from handlers).
  const MSG* GetCurrentMessage() const { return current_; }
  LRESULT DefWindowProc(UINT msg, WPARAM w, LPARAM l) { return ::DefWindowProcW(m_hWnd, msg, w, l); }

 protected:
  static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM w, LPARAM l);
  const MSG* current_ = nullptr;
};

template <class T, class TBase = CWindowImplRoot>
class CWindowImpl : public TBase {
 public:
  static const wchar_t* GetWndClassName() { return L"wf_window"; }
  static UINT GetWndClassStyle() { return CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS; }
  static HBRUSH GetWndClassBackground() { return reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1); }

  HWND Create(HWND parent, const RECT* rect, const wchar_t* title, DWORD style, DWORD ex_style = 0,
              HMENU menu_or_id = nullptr) {
    if (!RegisterWindowClass(T::GetWndClassName(), T::GetWndClassStyle(), T::GetWndClassBackground(),
                             &CWindowImplRoot::WindowProc, ::LoadCursorW(nullptr, IDC_ARROW)))
      return nullptr;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, cx = CW_USEDEFAULT, cy = CW_USEDEFAULT;
    if (rect) { x = rect->left; y = rect->top; cx = rect->right - rect->left; cy = rect->bottom - rect->top; }
    CWindowImplRoot* self = this;
    return ::CreateWindowExW(ex_style, T::GetWndClassName(), title ? title : L"", style, x, y, cx, cy,
                             parent, menu_or_id, ModuleInstance(), self);
  }
};

#define DECLARE_WND_CLASS(name) \
  static const wchar_t* GetWndClassName() { return name; }

// Modal and modeless dialogs from a dialog template resource T::IDD.
class CDialogImplRoot : public CWindow, public CMessageMap {
 public:
  CDialogImplRoot() = default;
  CDialogImplRoot(const CDialogImplRoot&) = delete;
  CDialogImplRoot& operator=(const CDialogImplRoot&) = delete;
  virtual ~CDialogImplRoot() = default;
  BOOL EndDialog(INT_PTR result) { return ::EndDialog(m_hWnd, result); }

 protected:
  static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM w, LPARAM l);
  INT_PTR DoModalTemplate(HINSTANCE instance, const wchar_t* templ, HWND parent);
  HWND CreateTemplate(HINSTANCE instance, const wchar_t* templ, HWND parent);
};

template <class T>
class CDialogImpl : public CDialogImplRoot {
 public:
  INT_PTR DoModal(HWND parent = ::GetActiveWindow()) {
    return DoModalTemplate(ModuleInstance(), MAKEINTRESOURCEW(T::IDD), parent);
  }
  HWND Create(HWND parent) { return CreateTemplate(ModuleInstance(), MAKEINTRESOURCEW(T::IDD), parent); }
};

}  // namespace wf
