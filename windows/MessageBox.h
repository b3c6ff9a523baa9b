#pragma once
// The program's own message box: a 542 x 255 picture with a title, the message and up to
// two image buttons, modal on the calling thread.
#include <windows.h>
#include <memory>
#include <string>
#include "common/UniqueHandle.h"
#include "layerui/LayerControls.h"
#include "layerui/LayerWindowDefs.h"
#include "winframe/Window.h"

// Styles: 0 "确定" (1); 1 "取消" (2) and "确定" (1); 4 "是" (6) and "否" (7); others only the
// close button. Returns the pressed button's result, 8 for the close button or WM_CLOSE, and
// -1 while suppressed or when the box cannot be shown.
int LayerMessageBox(void* reserved, const wchar_t* text, int style);
// While set, every message box returns -1 at once without showing anything (silent runs).
void SetMessageBoxSuppressed(int suppressed);

class CMessageBox : public wf::CDialogImpl<CMessageBox>, public ILayerWindow {
 public:
  enum { IDD = 249 };
  static constexpr int kWidth = 542, kHeight = 255, kCloseId = 1000;

  CMessageBox(const wchar_t* text, int style);
  ~CMessageBox() override;

  int GetShowBounds() override { return 0; }
  int SetShowBounds(BOOL) override { return 0; }
  HWND GetHWnd() override { return m_hWnd; }
  int ShowToolTip(BOOL, const std::wstring&) override { return 0; }
  int SetLayerTimer(UINT, UINT) override { return 1; }
  int KillLayerTimer(UINT) override { return 1; }
  int PostLayerMessage(UINT msg, WPARAM w, LPARAM l) override { return ::PostMessageW(m_hWnd, msg, w, l); }
  int SendLayerMessage(UINT msg, WPARAM w, LPARAM l) override {
    return static_cast<int>(::SendMessageW(m_hWnd, msg, w, l));
  }
  int InvalidateLayer(RECT* rect, BOOL redrawBackground) override;

  BEGIN_MSG_MAP(CMessageBox)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
    MESSAGE_HANDLER(WM_NCHITTEST, OnNcHitTest)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_MOUSEHOVER, OnMouseHover)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeave)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT OnNcHitTest(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnMouseHover(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonDown(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonUp(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnCommand(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&) { EndDialog(8); return 0; }
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);
  void CreateControls();
  void Render();

  std::unique_ptr<CLayerControlRootView> m_root;
  ILayerControl* m_buttonA = nullptr;
  ILayerControl* m_buttonB = nullptr;
  ILayerControl* m_close = nullptr;
  win::UniqueMemoryDc m_memDc;
  win::UniqueGdiObject m_memBitmap;
  HGDIOBJ m_oldBitmap = nullptr;
  int m_mouseOutside = 1;
  int m_style = 0;
  int m_resultA = 0;
  int m_resultB = 0;
  std::wstring m_text;
};
