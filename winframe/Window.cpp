#include "winframe/Window.h"



namespace wf {

HINSTANCE ModuleInstance() {
  // The module that holds this code, which is also the one holding its resources.
  static HINSTANCE instance = [] {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
    return static_cast<HINSTANCE>(module);
  }();
  return instance;
}

ATOM RegisterWindowClass(const wchar_t* class_name, UINT style, HBRUSH background, WNDPROC proc,
                         HCURSOR cursor) {
  WNDCLASSEXW existing{sizeof(existing)};
  if (::GetClassInfoExW(ModuleInstance(), class_name, &existing)) return 1;
  WNDCLASSEXW wc{sizeof(wc)};
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = sizeof(void*);
  wc.hInstance = ModuleInstance();
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.lpszClassName = class_name;
  ATOM atom = ::RegisterClassExW(&wc);
  if (!atom && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return 1;
  return atom;
}

BOOL CWindow::CenterWindow(HWND relative) const {
  RECT self = WindowRect();
  RECT area{};
  if (relative && ::IsWindow(relative)) {
    ::GetWindowRect(relative, &area);
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  int w = self.right - self.left, h = self.bottom - self.top;
  int x = area.left + ((area.right - area.left) - w) / 2;
  int y = area.top + ((area.bottom - area.top) - h) / 2;
  return ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK CWindowImplRoot::WindowProc(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<CWindowImplRoot*>(::GetWindowLongPtrW(wnd, 0));
  if (!self && msg == WM_NCCREATE) {
    self = static_cast<CWindowImplRoot*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    if (self) {
      ::SetWindowLongPtrW(wnd, 0, reinterpret_cast<LONG_PTR>(self));
      self->m_hWnd = wnd;
    }
  }
  if (!self) return ::DefWindowProcW(wnd, msg, w, l);

  MSG current{wnd, msg, w, l, 0, {0, 0}};
  const MSG* outer = self->current_;
  self->current_ = &current;
  LRESULT result = 0;
  BOOL handled = self->ProcessWindowMessage(wnd, msg, w, l, result, 0);
  self->current_ = outer;
  if (!handled) result = ::DefWindowProcW(wnd, msg, w, l);
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrW(wnd, 0, 0);
    self->m_hWnd = nullptr;
    self->OnFinalMessage(wnd);
  }
  return result;
}

INT_PTR CALLBACK CDialogImplRoot::DialogProc(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<CDialogImplRoot*>(::GetWindowLongPtrW(wnd, DWLP_USER));
  if (!self && msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialogImplRoot*>(l);
    ::SetWindowLongPtrW(wnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->m_hWnd = wnd;
  }
  if (!self) return FALSE;
  LRESULT result = 0;
  BOOL handled = self->ProcessWindowMessage(wnd, msg, w, l, result, 0);
  if (msg == WM_NCDESTROY) self->m_hWnd = nullptr;
  if (!handled) return FALSE;
  switch (msg) {  // messages whose result is the return value itself
    case WM_INITDIALOG: case WM_CTLCOLORDLG: case WM_CTLCOLORSTATIC: case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORSCROLLBAR: case WM_CHARTOITEM:
    case WM_VKEYTOITEM: case WM_QUERYDRAGICON: case WM_COMPAREITEM:
      return static_cast<INT_PTR>(result);
    default:
      ::SetWindowLongPtrW(wnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

INT_PTR CDialogImplRoot::DoModalTemplate(HINSTANCE instance, const wchar_t* templ, HWND parent) {
  return ::DialogBoxParamW(instance, templ, parent, &CDialogImplRoot::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND CDialogImplRoot::CreateTemplate(HINSTANCE instance, const wchar_t* templ, HWND parent) {
  return ::CreateDialogParamW(instance, templ, parent, &CDialogImplRoot::DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

}  // namespace wf
