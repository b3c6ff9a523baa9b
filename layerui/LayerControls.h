#pragma once
// The standard controls windows place in their trees.
#include "layerui/LayerControl.h"

class CLayerButtonCtrl : public CLayerControlBase {
 public:
  CLayerButtonCtrl() : CLayerButtonCtrl(kTypeButton) {}
  void SetImage(CImage* image) { m_image = image; }
  CImage* GetImage() const { return m_image; }
  void SetStateTextColors(COLORREF normal, COLORREF hover, COLORREF pressed, COLORREF disabled);
  void SetStateBackColors(COLORREF normal, COLORREF hover, COLORREF pressed, COLORREF disabled);
  // 0 normal, 1 hover, 2 pressed, 3 disabled.
  int State() const { return !m_enabled ? 3 : m_pressed ? 2 : m_hover ? 1 : 0; }

  void Paint(HDC hdc) override;
  void OnMouseEnter(WPARAM, int, int) override;
  void OnMouseMove(WPARAM, int, int) override;
  void OnMouseLeave() override;
  void OnLButtonDown(WPARAM, int, int, BOOL&) override;
  void OnLButtonUp(WPARAM, int, int, BOOL&) override;

 protected:
  explicit CLayerButtonCtrl(int type) : CLayerControlBase(type) { m_dragThrough = FALSE; }
  COLORREF StateTextColor() const;
  void PaintStateText(HDC hdc) { PaintText(hdc, StateTextColor()); }

  CImage* m_image = nullptr;
  BOOL m_stateTextColors = FALSE;
  COLORREF m_textColors[4] = {COLORREF(-1), COLORREF(-1), COLORREF(-1), COLORREF(-1)};
  COLORREF m_backColors[4] = {COLORREF(-1), COLORREF(-1), COLORREF(-1), COLORREF(-1)};
};

class CLayerCheckboxCtrl : public CLayerButtonCtrl {
 public:
  CLayerCheckboxCtrl() : CLayerButtonCtrl(kTypeCheckbox) { m_textFormat = 0x1001; }
  void SetCheck(BOOL check, BOOL redraw);
  BOOL GetCheck() const { return m_checked; }
  void SetAutoToggle(BOOL on) { m_autoToggle = on; }
  void Paint(HDC hdc) override;
  void OnLButtonUp(WPARAM, int, int, BOOL&) override;

 private:
  BOOL m_checked = FALSE;
  BOOL m_autoToggle = TRUE;
};

class CLayerLabelCtrl : public CLayerControlBase {
 public:
  CLayerLabelCtrl() : CLayerControlBase(kTypeLabel) { m_textFormat = 0x1001; }
  void SetOutlineColor(COLORREF color) { m_outlineColor = color; }
  // The text's size in the control's box, or unbounded in the chosen directions.
  void MeasureText(SIZE* out, BOOL unbounded_width, BOOL unbounded_height);
  void Paint(HDC hdc) override;
  void OnLButtonUp(WPARAM, int, int, BOOL&) override { if (m_clickable) PostClick(); }

 private:
  COLORREF m_outlineColor = COLORREF(-1);
};

class CLayerImageCtrl : public CLayerControlBase {
 public:
  enum DrawMode { kCentered = 0, kNineGrid = 1, kVerticalCaps = 2, kHorizontalCaps = 3, kFrame = 4, kStretch = 5 };
  CLayerImageCtrl() : CLayerControlBase(kTypeImage) {}
  ~CLayerImageCtrl() override = default;

  void SetImage(CImage* image, BOOL redraw);
  CImage* GetImage() const { return m_image; }
  bool SetImageFile(const std::wstring& path, BOOL force, BOOL redraw);
  void SetCentered() { m_mode = kCentered; }
  void SetNineGrid(const RECT* centre) { m_mode = kNineGrid; m_nineGrid = centre ? *centre : RECT{0, 0, 0, 0}; }
  void SetVerticalCaps(int top, int bottom) { m_mode = kVerticalCaps; m_vCaps[0] = top; m_vCaps[1] = bottom; }
  void SetHorizontalCaps(int left, int right) { m_mode = kHorizontalCaps; m_hCaps[0] = left; m_hCaps[1] = right; }
  void SetFrame(int frame) { m_mode = kFrame; m_frame = frame; }
  void SetStretch() { m_mode = kStretch; }
  int Mode() const { return m_mode; }

  void Paint(HDC hdc) override;
  void OnLButtonUp(WPARAM, int, int, BOOL&) override { if (m_clickable) PostClick(); }

 private:
  const CImage* Drawn() const { return m_fileImage && m_fileImage->IsValid() ? m_fileImage.get() : m_image; }
  int m_mode = kCentered;
  RECT m_nineGrid{0, 0, 0, 0};
  int m_hCaps[2] = {0, 0};
  int m_vCaps[2] = {0, 0};
  CImage* m_image = nullptr;
  std::unique_ptr<CImage> m_fileImage;
  std::wstring m_filePath;
  int m_frame = -1;
};

class CLayerProgress : public CLayerControlBase {
 public:
  CLayerProgress() : CLayerControlBase(kTypeProgress) {}
  void SetRange(unsigned long long range, BOOL redraw);
  unsigned long long GetRange() const { return m_range; }
  unsigned long long GetPos() const { return m_pos; }
  void SetBackImage(CImage* image, int cap1, int cap2) { m_backImage = image; m_backCaps[0] = cap1; m_backCaps[1] = cap2; }
  void SetBarImage(CImage* image, int cap1, int cap2) { m_barImage = image; m_barCaps[0] = cap1; m_barCaps[1] = cap2; }
  void SetBackColor(COLORREF color, BOOL redraw);
  void SetBarColor(COLORREF color, BOOL redraw);
  void SetBarInsets(const RECT& insets) { m_barInsets = insets; }
  void SetBarTiled(int gap) { m_tiled = TRUE; m_tileGap = gap; }
  void ShowPercent(BOOL show) { m_showPercent = show; }
  void SetPercentFormat(const std::wstring& format) { m_percentFormat = format; }
  void SetDirection(int direction, BOOL background_on_top) { m_direction = direction; m_backOnTop = background_on_top; }
  // The bar's rectangle for the current position (empty when nothing is filled).
  RECT BarRect() const;
  void Paint(HDC hdc) override;
  ~CLayerProgress() override = default;
  virtual void SetPos(unsigned long long pos, BOOL redraw);

 private:
  void PaintBack(HDC hdc);
  int m_direction = 0;
  CImage* m_backImage = nullptr;
  int m_backCaps[2] = {0, 0};
  COLORREF m_backColor = COLORREF(-1);
  CImage* m_barImage = nullptr;
  int m_barCaps[2] = {0, 0};
  COLORREF m_barColor = COLORREF(-1);
  RECT m_barInsets{0, 0, 0, 0};
  BOOL m_tiled = FALSE;
  int m_tileGap = 0;
  unsigned long long m_range = 100;
  unsigned long long m_pos = 0;
  BOOL m_backOnTop = FALSE;
  BOOL m_showPercent = FALSE;
  std::wstring m_percentFormat = L"%.1f%%";
};

// A native single-line edit that paints a placeholder while it is empty.
class CEditEx {
 public:
  CEditEx() = default;
  CEditEx(const CEditEx&) = delete;
  CEditEx& operator=(const CEditEx&) = delete;
  ~CEditEx();
  HWND Create(HWND parent, const RECT& rect, int id, DWORD style = WS_CHILD | ES_AUTOHSCROLL);
  void SetPlaceholder(const std::wstring& text) { m_placeholder = text; }
  void SetShowWhenFocused(int on) { m_showWhenFocused = on; }
  HWND GetHWnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM w, LPARAM l);
  LRESULT Handle(UINT msg, WPARAM w, LPARAM l);
  HWND m_hWnd = nullptr;
  std::wstring m_placeholder;
  int m_showWhenFocused = 0;
  void (*m_onEnter)(CEditEx*) = nullptr;
  WNDPROC m_systemProc = nullptr;
};
