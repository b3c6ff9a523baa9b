// The window base on a real window: caption hit test, tooltip, timers, background cache.
#include <gtest/gtest.h>
#include "layerui/LayerControls.h"
#include "layerui/LayerWindow.h"

namespace {

class TestWindow : public CLayerWindowBase<TestWindow> {
 public:
  DECLARE_WND_CLASS(L"LayerTestWindow")
  int backgrounds = 0;
  int ticks = 0;
  BEGIN_MSG_MAP(TestWindow)
    CHAIN_MSG_MAP(CLayerWindowBase<TestWindow>)
  END_MSG_MAP()

 protected:
  void OnLayerCreate() override {
    ::SetWindowPos(m_hWnd, nullptr, 50, 60, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    auto* button = new CLayerButtonCtrl;
    button->Create(m_hWnd, this, 1, RECT{10, 10, 50, 40}, 0);
    m_pRootView->AddChild(button);
    auto* label = new CLayerLabelCtrl;
    label->Create(m_hWnd, this, 2, RECT{60, 10, 100, 40}, 0);
    m_pRootView->AddChild(label);
  }
  void DrawBackground(HDC hdc, RECT rect) override {
    ++backgrounds;
    CLayerWindowBase<TestWindow>::DrawBackground(hdc, rect);
  }
  void OnLayerTimer(UINT) override { ++ticks; }
};

void Pump(DWORD ms) {
  const DWORD end = ::GetTickCount() + ms;
  do {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(5);
  } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

class LayerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_.ok());
    ASSERT_NE(wnd_.CreateLayer(nullptr), nullptr);
    ::ShowWindow(wnd_, SW_SHOWNOACTIVATE);
    Pump(100);
    ::UpdateWindow(wnd_);
  }
  void TearDown() override {
    if (wnd_.IsWindow()) wnd_.DestroyWindow();
  }
  LRESULT HitAt(int x, int y) {
    RECT wr = wnd_.WindowRect();
    return ::SendMessageW(wnd_, WM_NCHITTEST, 0, MAKELPARAM(wr.left + x, wr.top + y));
  }
  GdiplusScope gdiplus_;
  TestWindow wnd_;
};

TEST_F(LayerWindow, DragThroughDecidesTheCaptionHitTest) {
  EXPECT_EQ(HitAt(20, 20), HTCLIENT);   // button
  EXPECT_EQ(HitAt(70, 20), HTCAPTION);  // label
  EXPECT_EQ(HitAt(150, 80), HTCAPTION); // no control
  wnd_.SetDragEnabled(FALSE);
  EXPECT_EQ(HitAt(150, 80), HTCLIENT);
}

WNDPROC g_tooltip_proc = nullptr;
int g_tool_messages = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == TTM_ADDTOOLW || m == TTM_DELTOOLW) ++g_tool_messages;
  return ::CallWindowProcW(g_tooltip_proc, w, m, wp, lp);
}

TEST_F(LayerWindow, TooltipIsNotResentForAnUnchangedText) {
  wnd_.ShowToolTip(TRUE, L"最小化");
  HWND tip = wnd_.GetToolTipWnd();
  ASSERT_TRUE(::IsWindow(tip));
  g_tooltip_proc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(tip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc)));
  g_tool_messages = 0;
  wnd_.ShowToolTip(TRUE, L"最小化");
  EXPECT_EQ(g_tool_messages, 0);
  wnd_.ShowToolTip(TRUE, L"关闭");
  EXPECT_EQ(g_tool_messages, 2);  // delete, then add
  ::SetWindowLongPtrW(tip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_tooltip_proc));
}

TEST_F(LayerWindow, TheLastInvalidateDecidesTheBackgroundRedraw) {
  const int before = wnd_.backgrounds;
  EXPECT_GE(before, 1);
  wnd_.InvalidateLayer(nullptr, TRUE);
  wnd_.InvalidateLayer(new RECT{0, 0, 10, 10}, FALSE);
  EXPECT_FALSE(wnd_.IsBackgroundDirty());
  Pump(50);
  ::UpdateWindow(wnd_);
  EXPECT_EQ(wnd_.backgrounds, before);
  wnd_.InvalidateLayer(nullptr, TRUE);
  Pump(50);
  ::UpdateWindow(wnd_);
  EXPECT_EQ(wnd_.backgrounds, before + 1);
}

TEST_F(LayerWindow, StartingATimerTwiceKeepsTheFirstPeriodAndOneKillStopsIt) {
  EXPECT_EQ(wnd_.SetLayerTimer(9, 20), 1);
  EXPECT_EQ(wnd_.SetLayerTimer(9, 60000), 1);
  Pump(400);
  EXPECT_GE(wnd_.ticks, 3);
  EXPECT_EQ(wnd_.KillLayerTimer(9), 1);
  EXPECT_EQ(wnd_.TimerCount(), 0u);
  EXPECT_EQ(wnd_.KillLayerTimer(9), 0);
  const int ticks = wnd_.ticks;
  Pump(150);
  EXPECT_EQ(wnd_.ticks, ticks);
}

}  // namespace
