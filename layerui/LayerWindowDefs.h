#pragma once
// What controls and windows of the layered UI know of each other: the window services a
// control may use, the interface of the secondary windows, the private messages and the
// automatic control ids.
#include <windows.h>
#include <string>

// Repaint request; lParam is a heap RECT* (new RECT) or null, freed by the receiving window.
constexpr UINT WM_LAYER_INVALIDATE = 0x3400;
// A non-looping animation finished; wParam = control id.
constexpr UINT WM_LAYER_ANIM_END = 0x3402;
// A secondary window tells the main window how the dialogue goes on (wParam code, lParam flag).
constexpr UINT WM_FLOW_NOTIFY = WM_USER + 100;
// A second instance asks the main window to bring the current window to the front.
constexpr UINT WM_SHOW_CURRENT = WM_USER + 0x1000;
// An embedded input window reports that the service accepted the input.
constexpr UINT WM_INPUT_DONE = WM_USER + 220;

// Window services for controls; the slot order is fixed.
class ILayerWindow {
 public:
  virtual int GetShowBounds() = 0;
  virtual int SetShowBounds(BOOL show) = 0;
  virtual HWND GetHWnd() = 0;
  virtual int ShowToolTip(BOOL show, const std::wstring& text) = 0;
  virtual int SetLayerTimer(UINT id, UINT milliseconds) = 0;
  virtual int KillLayerTimer(UINT id) = 0;
  virtual int PostLayerMessage(UINT msg, WPARAM w, LPARAM l) = 0;
  virtual int SendLayerMessage(UINT msg, WPARAM w, LPARAM l) = 0;
  // rect: allocated with new, or null for the whole window; the window deletes it.
  virtual int InvalidateLayer(RECT* rect, BOOL redrawBackground) = 0;

 protected:
  ~ILayerWindow() = default;
};

// The secondary windows the main window shows and hides.
class IBaseWnd {
 public:
  virtual void ShowWnd() = 0;
  virtual void HideWnd() = 0;
  virtual void SetNotifyWnd(HWND wnd) = 0;
  virtual void SetPosParent(HWND wnd) = 0;
  virtual void DestroyWnd() = 0;

 protected:
  ~IBaseWnd() = default;
};

// Ids for controls created without an explicit one: one counter per window class.
template <class Tag, int Start>
class CLayerIdCounter {
 public:
  static int Next() { return next_++; }
  static int Peek() { return next_; }

 private:
  static inline int next_ = Start;
};
constexpr int kLayerIdBaseMain = 2000;  // main, progress, questionnaire and message box
constexpr int kLayerIdBaseTip = 5000;   // tip and input windows
