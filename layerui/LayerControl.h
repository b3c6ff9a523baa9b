#pragma once
// The windowless control tree every window paints: the control interface, the common base,
// groups and the root view that routes a window's mouse input.
#include <windows.h>
#include <map>
#include <string>
#include <vector>
#include "layerui/LayerResource.h"
#include "layerui/LayerWindowDefs.h"

enum LayerControlType {
  kTypeRootView = 1, kTypeButton = 2, kTypeImage = 3, kTypeLabel = 4, kTypeProgress = 7,
  kTypeGroup = 11, kTypeAnimate = 12, kTypeHosted = 14, kTypeCheckbox = 18
};

// Slot order is fixed; the virtual destructor follows the last operation.
class ILayerControl {
 public:
  virtual void Release() = 0;
  virtual int GetID() = 0;
  virtual void SetID(int id) = 0;
  virtual int GetPage() = 0;
  virtual void SetPage(int page, BOOL redraw) = 0;
  virtual int GetTimerID() = 0;
  virtual int GetType() = 0;
  virtual BOOL IsVisible() = 0;
  virtual void SetVisible(BOOL visible, BOOL redraw) = 0;
  virtual BOOL IsEnabled() = 0;
  virtual void SetEnabled(BOOL enabled, BOOL redraw) = 0;
  virtual void GetWindowRect(RECT* out) = 0;
  virtual void GetRect(RECT* out) = 0;
  virtual void GetPos(POINT* out) = 0;
  virtual void SetRect(const RECT* rect, BOOL redraw) = 0;
  virtual void SetRectXYWH(int x, int y, int w, int h, BOOL redraw) = 0;
  virtual BOOL IsToolTipEnabled() = 0;
  virtual void EnableToolTip(BOOL enable) = 0;
  virtual std::wstring GetToolTip() = 0;
  virtual void SetToolTip(const std::wstring& text) = 0;
  virtual std::wstring GetText() = 0;
  virtual void SetText(const std::wstring& text, BOOL redraw) = 0;
  virtual COLORREF GetTextColor() = 0;
  virtual void SetTextColor(COLORREF color, BOOL redraw) = 0;
  virtual HCURSOR GetCursor() = 0;
  virtual void SetCursor(HCURSOR cursor) = 0;
  virtual ILayerControl* GetParent() = 0;
  virtual void SetParent(ILayerControl* parent) = 0;
  virtual BOOL HitTestPoint(int x, int y) = 0;
  virtual void Invalidate(const RECT* rect) = 0;
  virtual void MoveTo(int x, int y, BOOL redraw) = 0;
  virtual void OffsetBy(int dx, int dy, BOOL redraw) = 0;
  virtual void Resize(int w, int h, BOOL redraw) = 0;
  virtual BOOL IsDragThrough() = 0;
  virtual void SetDragThrough(BOOL on) = 0;
  virtual BOOL IsClickable() = 0;
  virtual void SetClickable(BOOL on) = 0;
  virtual void ClientToWindowRect(RECT* out, const RECT* in) = 0;
  virtual void ClientToWindowPoint(POINT* out, const POINT* in) = 0;
  virtual void WindowToClientRect(RECT* out, const RECT* in) = 0;
  virtual void WindowToClientPoint(POINT* out, const POINT* in) = 0;
  virtual void OnCreate(HWND wnd) = 0;
  virtual void OnDestroy() = 0;
  virtual void OnRectChanged(int l, int t, int r, int b) = 0;
  virtual void OnTimer(UINT id) = 0;
  virtual void Paint(HDC hdc) = 0;
  virtual void OnSetCursor(HWND wnd, UINT hit, UINT msg, BOOL& handled) = 0;
  virtual void OnMouseMove(WPARAM keys, int x, int y) = 0;
  virtual void OnMouseEnter(WPARAM keys, int x, int y) = 0;
  virtual void OnMouseLeave() = 0;
  virtual void OnLButtonDown(WPARAM keys, int x, int y, BOOL& handled) = 0;
  virtual void OnLButtonUp(WPARAM keys, int x, int y, BOOL& handled) = 0;
  virtual void OnLButtonDblClk(WPARAM keys, int x, int y, BOOL& handled) = 0;
  virtual void OnRButtonDown(WPARAM keys, int x, int y, BOOL& handled) = 0;
  virtual void OnRButtonUp(WPARAM keys, int x, int y, BOOL& handled) = 0;
  virtual ~ILayerControl() = default;
};

class CLayerControlBase : public ILayerControl {
 public:
  explicit CLayerControlBase(int type) : m_type(type) {}
  CLayerControlBase(const CLayerControlBase&) = delete;
  CLayerControlBase& operator=(const CLayerControlBase&) = delete;

  void Release() override { delete this; }
  int GetID() override { return m_id; }
  void SetID(int id) override { m_id = id; }
  int GetPage() override { return m_page; }
  void SetPage(int page, BOOL) override { m_page = page; }
  int GetTimerID() override { return m_timerId; }
  int GetType() override { return m_type; }
  BOOL IsVisible() override { return m_visible; }
  void SetVisible(BOOL visible, BOOL redraw) override;
  BOOL IsEnabled() override { return m_enabled; }
  void SetEnabled(BOOL enabled, BOOL redraw) override;
  void GetWindowRect(RECT* out) override;
  void GetRect(RECT* out) override { *out = m_rect; }
  void GetPos(POINT* out) override { out->x = m_rect.left; out->y = m_rect.top; }
  void SetRect(const RECT* rect, BOOL redraw) override;
  void SetRectXYWH(int x, int y, int w, int h, BOOL redraw) override;
  BOOL IsToolTipEnabled() override { return m_tooltipEnabled; }
  void EnableToolTip(BOOL enable) override { m_tooltipEnabled = enable; }
  std::wstring GetToolTip() override { return m_tooltip; }
  void SetToolTip(const std::wstring& text) override { m_tooltip = text; }
  std::wstring GetText() override { return m_text; }
  void SetText(const std::wstring& text, BOOL redraw) override;
  COLORREF GetTextColor() override { return m_textColor; }
  void SetTextColor(COLORREF color, BOOL redraw) override;
  HCURSOR GetCursor() override { return m_cursor; }
  void SetCursor(HCURSOR cursor) override { m_cursor = cursor; }
  ILayerControl* GetParent() override { return m_parent; }
  void SetParent(ILayerControl* parent) override { m_parent = parent; }
  BOOL HitTestPoint(int x, int y) override;
  void Invalidate(const RECT* rect) override;
  void MoveTo(int x, int y, BOOL redraw) override;
  void OffsetBy(int dx, int dy, BOOL redraw) override;
  void Resize(int w, int h, BOOL redraw) override;
  BOOL IsDragThrough() override { return m_dragThrough; }
  void SetDragThrough(BOOL on) override { m_dragThrough = on; }
  BOOL IsClickable() override { return m_clickable; }
  void SetClickable(BOOL on) override { m_clickable = on; m_dragThrough = !on; }
  void ClientToWindowRect(RECT* out, const RECT* in) override;
  void ClientToWindowPoint(POINT* out, const POINT* in) override;
  void WindowToClientRect(RECT* out, const RECT* in) override;
  void WindowToClientPoint(POINT* out, const POINT* in) override;
  void OnCreate(HWND) override {}
  void OnDestroy() override {}
  void OnRectChanged(int, int, int, int) override {}
  void OnTimer(UINT) override {}
  void Paint(HDC) override {}
  void OnSetCursor(HWND, UINT, UINT, BOOL&) override {}
  void OnMouseMove(WPARAM, int, int) override {}
  void OnMouseEnter(WPARAM, int, int) override {}
  void OnMouseLeave() override {}
  void OnLButtonDown(WPARAM, int, int, BOOL&) override {}
  void OnLButtonUp(WPARAM, int, int, BOOL&) override {}
  void OnLButtonDblClk(WPARAM keys, int x, int y, BOOL& handled) override { OnLButtonDown(keys, x, y, handled); }
  void OnRButtonDown(WPARAM, int, int, BOOL&) override {}
  void OnRButtonUp(WPARAM, int, int, BOOL&) override {}

  void Create(HWND wnd, ILayerWindow* owner, int id, const RECT& rect, DWORD style);
  void Create(HWND wnd, ILayerWindow* owner, int id, int x, int y, int w, int h, DWORD style);
  void StartControlTimer(UINT id, UINT ms);
  void StopControlTimer(UINT id);
  void SetFont(Gdiplus::Font* font) { m_font = font; }
  Gdiplus::Font* GetFont() const { return m_font; }
  void SetTextFormat(DWORD format) { m_textFormat = format; }
  DWORD GetTextFormat() const { return m_textFormat; }
  void SetTextInsets(const RECT& insets) { m_textInsets = insets; }
  void SetShadowColor(COLORREF color) { m_shadowColor = color; }
  void SetStyle(DWORD style) { m_style = style; }
  void SetUserData(int data) { m_userData = data; }
  int GetUserData() const { return m_userData; }
  BOOL IsHover() const { return m_hover; }
  BOOL IsPressed() const { return m_pressed; }
  ILayerWindow* GetOwner() const { return m_owner; }

 protected:
  // Text in the control rect shrunk by the insets: shadow first, then the text itself.
  void PaintText(HDC hdc, COLORREF color);
  void PostClick();

  int m_type;
  int m_id = 0;
  int m_page = -1;
  std::wstring m_tooltip;
  BOOL m_tooltipEnabled = FALSE;
  std::wstring m_text;
  HWND m_hWndOwner = nullptr;
  RECT m_rect{0, 0, 0, 0};
  DWORD m_style = 0;
  BOOL m_visible = TRUE;
  BOOL m_hover = FALSE;
  BOOL m_pressed = FALSE;
  BOOL m_enabled = TRUE;
  Gdiplus::Font* m_font = nullptr;
  COLORREF m_textColor = 0;
  COLORREF m_shadowColor = static_cast<COLORREF>(-1);
  DWORD m_textFormat = 0x1011;
  RECT m_textInsets{0, 0, 0, 0};
  ILayerControl* m_parent = nullptr;
  ILayerWindow* m_owner = nullptr;
  int m_timerId = -1;
  BOOL m_dragThrough = TRUE;
  BOOL m_clickable = FALSE;
  HCURSOR m_cursor = nullptr;
  int m_userData = 0;
};

class CLayerControlGroup : public CLayerControlBase {
 public:
  CLayerControlGroup() : CLayerControlBase(kTypeGroup) {}
  explicit CLayerControlGroup(int type) : CLayerControlBase(type) {}
  ~CLayerControlGroup() override;

  void SetPage(int page, BOOL redraw) override;
  void SetVisible(BOOL visible, BOOL redraw) override;
  void OnDestroy() override { RemoveAllChildren(FALSE); }
  void OnRectChanged(int l, int t, int r, int b) override { m_rect = RECT{l, t, r, b}; }
  void OnTimer(UINT id) override;
  void Paint(HDC hdc) override;

  virtual void AddChild(ILayerControl* child, int unused = 0);
  virtual BOOL RemoveChild(ILayerControl* child, BOOL destroy, BOOL redraw);
  virtual BOOL RemoveChildByID(int id, BOOL destroy, BOOL redraw);
  virtual void RemoveAllChildren(BOOL redraw);
  virtual ILayerControl* FindChild(int id);
  virtual ILayerControl* ChildFromPoint(int x, int y);
  virtual ILayerControl* GetHoverChild() { return nullptr; }
  virtual void SetHoverChild(ILayerControl*) {}
  virtual ILayerControl* GetPressedChild() { return nullptr; }
  virtual void SetPressedChild(ILayerControl*) {}
  virtual void InvalidateAll() { Invalidate(nullptr); }
  virtual void GroupHook() {}
  virtual void DrawBackground(HDC hdc);
  virtual CLayerControlGroup* GetRootView();

  void SetBackColor(COLORREF color, BOOL redraw);
  void SetBackImage(CImage* image, BOOL redraw);
  void EnableChild(int id, BOOL enabled, BOOL redraw);
  void ShowChild(int id, BOOL visible, BOOL redraw);
  void MoveChild(int id, int x, int y, BOOL redraw);
  void SetChildText(int id, const std::wstring& text, COLORREF color, BOOL redraw);
  size_t ChildCount() const { return m_children.size(); }

 protected:
  bool PassesPage(ILayerControl* child) { return m_page == -1 || child->GetPage() == -1 || child->GetPage() == m_page; }
  void UpdateHostedWindows();

  std::vector<ILayerControl*> m_children;
  std::map<int, ILayerControl*> m_index;
  CImage* m_backImage = nullptr;
  COLORREF m_backColor = static_cast<COLORREF>(-1);
};

class CLayerControlRootView : public CLayerControlGroup {
 public:
  CLayerControlRootView() : CLayerControlGroup(kTypeRootView) {}

  ILayerControl* GetParent() override { return nullptr; }
  void SetParent(ILayerControl*) override {}
  CLayerControlGroup* GetRootView() override { return this; }
  ILayerControl* GetHoverChild() override { return m_hoverChild; }
  void SetHoverChild(ILayerControl* c) override { m_hoverChild = c; }
  ILayerControl* GetPressedChild() override { return m_pressedChild; }
  void SetPressedChild(ILayerControl* c) override { m_pressedChild = c; }

  void OnSetCursor(HWND wnd, UINT hit, UINT msg, BOOL& handled) override;
  void OnMouseMove(WPARAM keys, int x, int y) override;
  void OnMouseEnter(WPARAM, int, int) override {}
  void OnMouseLeave() override;
  void OnLButtonDown(WPARAM keys, int x, int y, BOOL& handled) override;
  void OnLButtonUp(WPARAM keys, int x, int y, BOOL& handled) override;
  void OnLButtonDblClk(WPARAM keys, int x, int y, BOOL& handled) override;
  void OnRButtonDown(WPARAM, int, int, BOOL&) override {}
  void OnRButtonUp(WPARAM, int, int, BOOL&) override {}

 private:
  void UpdateToolTip(ILayerControl* hit);
  ILayerControl* m_hoverChild = nullptr;
  ILayerControl* m_pressedChild = nullptr;
};
