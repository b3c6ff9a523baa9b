#pragma once
// Borderless windows painted entirely from a control tree: off-screen composition into a
// 32-bit bitmap, a cached background, layered (per-pixel alpha) updates, tooltip, timers,
// and dragging by any point not covered by an interactive control.
#include <windows.h>
#include <commctrl.h>
#include <map>
#include <memory>
#include <string>
#include "common/UniqueHandle.h"
#include "layerui/LayerControl.h"
#include "layerui/LayerWindowDefs.h"
#include "winframe/Window.h"

template <DWORD Style, DWORD ExStyle>
struct CWinTraits {
  static DWORD GetWndStyle(DWORD style) { return style ? style : Style; }
  static DWORD GetWndExStyle(DWORD ex_style) { return ex_style ? ex_style : ExStyle; }
};
using CLayerWinTraits = CWinTraits<0x86020000, 0>;
using CLayeredWinTraits = CWinTraits<0x86020000, WS_EX_LAYERED>;

namespace layer_detail {
DWORD OsMajorVersion();
// A 32-bit DIB section of the given size (bottom-up) or null.
HBITMAP CreateRenderBitmap(int width, int height);
SIZE BitmapSize(HBITMAP bitmap);
}  // namespace layer_detail

template <class T, class TWinTraits = CLayerWinTraits>
class CLayerWindowBase : public wf::CWindowImpl<T>, public ILayerWindow {
 public:
  using wf::CWindow::m_hWnd;
  CLayerWindowBase() : m_pRootView(std::make_unique<CLayerControlRootView>()) {}
  ~CLayerWindowBase() override {
    if (m_hRenderBitmap) ::DeleteObject(m_hRenderBitmap);
    if (m_hBackgroundBitmap) ::DeleteObject(m_hBackgroundBitmap);
  }

  // Creates the window with the traits' styles unless others are given.
  HWND CreateLayer(HWND parent, DWORD style = 0, DWORD ex_style = 0) {
    return this->Create(parent, nullptr, L"", TWinTraits::GetWndStyle(style), TWinTraits::GetWndExStyle(ex_style));
  }

  // ILayerWindow
  int GetShowBounds() override { return m_bShowBounds; }
  int SetShowBounds(BOOL show) override { m_bShowBounds = show; return 1; }
  HWND GetHWnd() override { return m_hWnd; }
  int ShowToolTip(BOOL show, const std::wstring& text) override;
  int SetLayerTimer(UINT id, UINT ms) override;
  int KillLayerTimer(UINT id) override;
  int PostLayerMessage(UINT msg, WPARAM w, LPARAM l) override { return ::PostMessageW(m_hWnd, msg, w, l); }
  int SendLayerMessage(UINT msg, WPARAM w, LPARAM l) override {
    return static_cast<int>(::SendMessageW(m_hWnd, msg, w, l));
  }
  int InvalidateLayer(RECT* rect, BOOL redrawBackground) override {
    m_bBackgroundDirty = redrawBackground;  // the last call wins
    if (!::PostMessageW(m_hWnd, WM_LAYER_INVALIDATE, 0, reinterpret_cast<LPARAM>(rect))) {
      delete rect;
      return 0;
    }
    return 1;
  }

  CLayerControlRootView* GetRootView() const { return m_pRootView.get(); }
  HWND GetToolTipWnd() const { return m_hToolTip; }
  BOOL IsBackgroundDirty() const { return m_bBackgroundDirty; }
  size_t TimerCount() const { return m_timers.size(); }
  void SetDragEnabled(BOOL on) { m_bDragEnabled = on; }
  void SetLayerAlpha(BYTE alpha) { m_byAlpha = alpha; }

  BEGIN_MSG_MAP(CLayerWindowBase)
    MESSAGE_HANDLER(WM_CREATE, OnCreateMsg)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroyMsg)
    MESSAGE_HANDLER(WM_SIZE, OnSizeMsg)
    MESSAGE_HANDLER(WM_PAINT, OnPaintMsg)
    MESSAGE_HANDLER(WM_PRINTCLIENT, OnPaintMsg)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursorMsg)
    MESSAGE_HANDLER(WM_NCHITTEST, OnNcHitTestMsg)
    MESSAGE_HANDLER(WM_TIMER, OnTimerMsg)
    MESSAGE_RANGE_HANDLER(WM_MOUSEMOVE, 0x20D, OnMouseMsg)
    MESSAGE_HANDLER(WM_MOUSEHOVER, OnMouseHoverMsg)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeaveMsg)
    MESSAGE_HANDLER(WM_LAYER_INVALIDATE, OnLayerInvalidateMsg)
  END_MSG_MAP()

 protected:
  virtual void OnLayerCreate() {}
  virtual void OnLayerDestroy() {}
  virtual void OnLayerSize(RECT) {}
  virtual void OnLayerTimer(UINT) {}
  virtual void OnLayerMouseMove(WPARAM, int, int) {}
  virtual void OnLayerMouseHover(WPARAM, int, int) {}
  virtual void OnLayerMouseLeave() {}
  virtual void OnLayerLButtonDown(WPARAM, int, int) {}
  virtual void OnLayerLButtonUp(WPARAM, int, int) {}
  virtual void OnLayerLButtonDblClk(WPARAM, int, int) {}
  virtual void OnLayerRButtonDown(WPARAM, int, int) {}
  virtual void OnLayerRButtonUp(WPARAM, int, int) {}
  virtual void OnLayerNcHitTest(int, int) {}
  virtual void DrawBackground(HDC hdc, RECT rect) { FillLayerRect(hdc, rect, RGB(0, 255, 0), 254); }
  virtual void DrawBeforeControls(HDC, RECT) {}
  virtual void DrawControls(HDC hdc, RECT) { m_pRootView->Paint(hdc); }
  virtual void DrawAfterControls(HDC, RECT) {}
  virtual void StartMouseTracking() {
    TRACKMOUSEEVENT tme{sizeof(tme), TME_HOVER | TME_LEAVE, m_hWnd, HOVER_DEFAULT};
    ::TrackMouseEvent(&tme);
  }

  bool IsLayered() const { return (::GetWindowLongW(m_hWnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }
  // Gets (or re-creates at the client size) the render bitmap.
  bool EnsureRenderBitmap(const RECT& client);
  // Background cache, then the three drawing hooks, into the render DC.
  void Compose(HDC render_dc, const RECT& client);

  LRESULT OnCreateMsg(UINT, WPARAM, LPARAM, BOOL&) {
    m_bMouseOutside = TRUE;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    m_pRootView->Create(m_hWnd, this, -1, client, 0);
    OnLayerCreate();
    InvalidateLayer(nullptr, TRUE);
    return 0;
  }
  LRESULT OnDestroyMsg(UINT, WPARAM, LPARAM, BOOL&) {
    if (!m_timers.empty() && ::IsWindow(m_hWnd)) {
      for (const auto& t : m_timers) ::KillTimer(m_hWnd, t.first);
      m_timers.clear();
    }
    if (m_hToolTip) ::DestroyWindow(m_hToolTip);
    m_hToolTip = nullptr;
    m_strToolTip.clear();
    OnLayerDestroy();
    m_pRootView->OnDestroy();
    return 0;
  }
  LRESULT OnSizeMsg(UINT, WPARAM, LPARAM l, BOOL&) {
    RECT r{0, 0, static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
    m_pRootView->OnRectChanged(r.left, r.top, r.right, r.bottom);
    OnLayerSize(r);
    return 0;
  }
  LRESULT OnPaintMsg(UINT, WPARAM w, LPARAM, BOOL&) {
    PAINTSTRUCT ps{};
    HDC dc = reinterpret_cast<HDC>(w);
    const bool own = dc == nullptr;
    if (own) dc = ::BeginPaint(m_hWnd, &ps);
    PaintInto(dc);
    if (own) ::EndPaint(m_hWnd, &ps);
    return 0;
  }
  LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT OnSetCursorMsg(UINT, WPARAM w, LPARAM l, BOOL& handled) {
    BOOL set = FALSE;
    m_pRootView->OnSetCursor(reinterpret_cast<HWND>(w), LOWORD(l), HIWORD(l), set);
    if (set) return 1;
    handled = FALSE;
    return 0;
  }
  LRESULT OnNcHitTestMsg(UINT msg, WPARAM w, LPARAM l, BOOL&) {
    LRESULT hit = ::DefWindowProcW(m_hWnd, msg, w, l);
    POINT pt{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
    OnLayerNcHitTest(pt.x, pt.y);
    if (hit == HTCLIENT && m_bDragEnabled) {
      ::ScreenToClient(m_hWnd, &pt);
      ILayerControl* c = m_pRootView->ChildFromPoint(pt.x, pt.y);
      if (!c || c->IsDragThrough()) hit = HTCAPTION;
    }
    return hit;
  }
  LRESULT OnTimerMsg(UINT, WPARAM w, LPARAM, BOOL&) {
    m_pRootView->OnTimer(static_cast<UINT>(w));
    OnLayerTimer(static_cast<UINT>(w));
    return 0;
  }
  LRESULT OnMouseMsg(UINT msg, WPARAM w, LPARAM l, BOOL& handled) {
    if (m_hToolTip) {
      MSG relay{m_hWnd, msg, w, l, 0, {0, 0}};
      ::SendMessageW(m_hToolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
    }
    const int x = static_cast<short>(LOWORD(l)), y = static_cast<short>(HIWORD(l));
    BOOL dummy = TRUE;
    switch (msg) {
      case WM_MOUSEMOVE:
        m_pRootView->OnMouseMove(w, x, y);
        OnLayerMouseMove(w, x, y);
        if (m_bMouseOutside) {
          StartMouseTracking();
          m_bMouseOutside = FALSE;
        }
        return 0;
      case WM_LBUTTONDOWN:
        ::SetCapture(m_hWnd);
        m_pRootView->OnLButtonDown(w, x, y, dummy);
        OnLayerLButtonDown(w, x, y);
        return 0;
      case WM_LBUTTONUP:
        m_pRootView->OnLButtonUp(w, x, y, dummy);
        OnLayerLButtonUp(w, x, y);
        ::ReleaseCapture();
        return 0;
      case WM_LBUTTONDBLCLK:
        m_pRootView->OnLButtonDblClk(w, x, y, dummy);
        OnLayerLButtonDblClk(w, x, y);
        return 0;
      case WM_RBUTTONDOWN:
        m_pRootView->OnRButtonDown(w, x, y, dummy);
        OnLayerRButtonDown(w, x, y);
        return 0;
      case WM_RBUTTONUP:
        m_pRootView->OnRButtonUp(w, x, y, dummy);
        OnLayerRButtonUp(w, x, y);
        return 0;
    }
    handled = FALSE;
    return 0;
  }
  LRESULT OnMouseHoverMsg(UINT, WPARAM w, LPARAM l, BOOL&) {
    const int x = static_cast<short>(LOWORD(l)), y = static_cast<short>(HIWORD(l));
    m_pRootView->OnMouseEnter(w, x, y);
    OnLayerMouseHover(w, x, y);
    return 0;
  }
  LRESULT OnMouseLeaveMsg(UINT, WPARAM, LPARAM, BOOL&) {
    if (!m_bMouseOutside) {
      m_pRootView->OnMouseLeave();
      OnLayerMouseLeave();
      m_bMouseOutside = TRUE;
    }
    return 0;
  }
  LRESULT OnLayerInvalidateMsg(UINT, WPARAM, LPARAM l, BOOL&) {
    std::unique_ptr<RECT> rect(reinterpret_cast<RECT*>(l));  // ours to free on every path
    if (!IsLayered()) {
      ::InvalidateRect(m_hWnd, rect.get(), FALSE);
      return 0;
    }
    LayeredUpdate(rect.get());
    return 0;
  }

  void PaintInto(HDC dc);
  void LayeredUpdate(const RECT* rect);

  BOOL m_bShowBounds = FALSE;
  HBITMAP m_hRenderBitmap = nullptr;
  HBITMAP m_hBackgroundBitmap = nullptr;
  BOOL m_bBackgroundDirty = TRUE;
  int m_byAlpha = 255;
  BOOL m_bMouseOutside = TRUE;
  std::unique_ptr<CLayerControlRootView> m_pRootView;
  std::map<UINT, int> m_timers;
  HWND m_hToolTip = nullptr;
  std::wstring m_strToolTip;
  BOOL m_bDragEnabled = TRUE;
};

template <class T, class TW>
int CLayerWindowBase<T, TW>::ShowToolTip(BOOL show, const std::wstring& text) {
  if (!::IsWindow(m_hToolTip)) {
    m_hToolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                   wf::ModuleInstance(), nullptr);
    if (m_hToolTip) {
      ::SendMessageW(m_hToolTip, TTM_SETMAXTIPWIDTH, 0, 300);
      ::SendMessageW(m_hToolTip, TTM_ACTIVATE, TRUE, 0);
    }
  }
  if (!::IsWindow(m_hToolTip)) return 0;
  TOOLINFOW ti{};
  // Older common controls reject the newer, larger structure.
  ti.cbSize = layer_detail::OsMajorVersion() >= 6 ? sizeof(TOOLINFOW) : TTTOOLINFOW_V2_SIZE;
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = ::GetParent(m_hWnd);
  ti.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
  ti.hinst = wf::ModuleInstance();
  if (show) {
    if (text == m_strToolTip) return 1;
    m_strToolTip = text;
    ti.lpszText = const_cast<wchar_t*>(m_strToolTip.c_str());
    ::SendMessageW(m_hToolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    ::SendMessageW(m_hToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  } else {
    ::SendMessageW(m_hToolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    m_strToolTip.clear();
  }
  return 1;
}

template <class T, class TW>
int CLayerWindowBase<T, TW>::SetLayerTimer(UINT id, UINT ms) {
  auto it = m_timers.find(id);
  if (it != m_timers.end()) {
    ++it->second;  // the running timer keeps its period
    return 1;
  }
  if (::IsWindow(m_hWnd) && ::SetTimer(m_hWnd, id, ms, nullptr)) {
    m_timers[id] = 1;
    return 1;
  }
  return 0;
}

template <class T, class TW>
int CLayerWindowBase<T, TW>::KillLayerTimer(UINT id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return 0;
  if (::IsWindow(m_hWnd)) ::KillTimer(m_hWnd, id);
  m_timers.erase(it);
  return 1;
}

template <class T, class TW>
bool CLayerWindowBase<T, TW>::EnsureRenderBitmap(const RECT& client) {
  const int w = client.right - client.left, h = client.bottom - client.top;
  if (m_hRenderBitmap) {
    SIZE s = layer_detail::BitmapSize(m_hRenderBitmap);
    if (s.cx != w || s.cy != h) {
      ::DeleteObject(m_hRenderBitmap);
      m_hRenderBitmap = nullptr;
    }
  }
  if (!m_hRenderBitmap) m_hRenderBitmap = layer_detail::CreateRenderBitmap(w, h);
  return m_hRenderBitmap != nullptr;
}

template <class T, class TW>
void CLayerWindowBase<T, TW>::Compose(HDC render_dc, const RECT& client) {
  const int w = client.right - client.left, h = client.bottom - client.top;
  if (m_hBackgroundBitmap) {
    SIZE s = layer_detail::BitmapSize(m_hBackgroundBitmap);
    if (s.cx != w || s.cy != h) {
      ::DeleteObject(m_hBackgroundBitmap);
      m_hBackgroundBitmap = nullptr;
      m_bBackgroundDirty = TRUE;
    }
  }
  if (!m_hBackgroundBitmap) {
    // A 32-bit DIB like the render bitmap, so a background drawn with alpha keeps it
    // (the layered window composes through the same cache).
    m_hBackgroundBitmap = layer_detail::CreateRenderBitmap(w, h);
    m_bBackgroundDirty = TRUE;
  }
  if (m_hBackgroundBitmap) {
    win::UniqueMemoryDc back_dc(::CreateCompatibleDC(render_dc));
    if (back_dc) {
      win::SelectObjectScope sel(back_dc.get(), m_hBackgroundBitmap);
      if (m_bBackgroundDirty) {
        const int saved = ::SaveDC(back_dc.get());
        DrawBackground(back_dc.get(), client);
        ::RestoreDC(back_dc.get(), saved);
        m_bBackgroundDirty = FALSE;
      }
      ::BitBlt(render_dc, 0, 0, w, h, back_dc.get(), 0, 0, SRCCOPY);
    }
  }
  DrawBeforeControls(render_dc, client);
  DrawControls(render_dc, client);
  DrawAfterControls(render_dc, client);
}

template <class T, class TW>
void CLayerWindowBase<T, TW>::PaintInto(HDC dc) {
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  if (!EnsureRenderBitmap(client)) return;
  win::WindowDc screen(nullptr);
  win::UniqueMemoryDc mem(::CreateCompatibleDC(screen.get()));
  if (!mem) return;
  {
    win::SelectObjectScope sel(mem.get(), m_hRenderBitmap);
    Compose(mem.get(), client);
    ::BitBlt(dc, 0, 0, client.right, client.bottom, mem.get(), 0, 0, SRCCOPY);
  }
}

template <class T, class TW>
void CLayerWindowBase<T, TW>::LayeredUpdate(const RECT* rect) {
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  if (!EnsureRenderBitmap(client)) return;
  win::WindowDc screen(nullptr);
  win::UniqueMemoryDc mem(::CreateCompatibleDC(screen.get()));
  if (!mem) return;
  win::SelectObjectScope sel(mem.get(), m_hRenderBitmap);
  win::UniqueGdiObject clip;
  if (rect) {
    clip.reset(::CreateRectRgnIndirect(rect));
    if (clip) ::SelectClipRgn(mem.get(), static_cast<HRGN>(clip.get()));
  }
  Compose(mem.get(), client);
  ::SelectClipRgn(mem.get(), nullptr);
  RECT wr{};
  ::GetWindowRect(m_hWnd, &wr);
  POINT dst{wr.left, wr.top}, src{0, 0};
  SIZE size{wr.right - wr.left, wr.bottom - wr.top};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(m_byAlpha), AC_SRC_ALPHA};
  ::UpdateLayeredWindow(m_hWnd, screen.get(), &dst, &size, mem.get(), &src, 0, &blend, ULW_ALPHA);
}
