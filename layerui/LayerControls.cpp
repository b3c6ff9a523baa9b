#include "layerui/LayerControls.h"

#include <cwchar>

// ---------------------------------------------------------------- button

void CLayerButtonCtrl::SetStateTextColors(COLORREF normal, COLORREF hover, COLORREF pressed, COLORREF disabled) {
  m_textColors[0] = normal;
  m_textColors[1] = hover;
  m_textColors[2] = pressed;
  m_textColors[3] = disabled;
  m_stateTextColors = TRUE;
}

void CLayerButtonCtrl::SetStateBackColors(COLORREF normal, COLORREF hover, COLORREF pressed, COLORREF disabled) {
  m_backColors[0] = normal;
  m_backColors[1] = hover;
  m_backColors[2] = pressed;
  m_backColors[3] = disabled;
}

COLORREF CLayerButtonCtrl::StateTextColor() const {
  return m_stateTextColors ? m_textColors[State()] : m_textColor;
}

void CLayerButtonCtrl::Paint(HDC hdc) {
  const int state = State();
  if (m_image) {
    m_image->DrawFrame(hdc, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, state);
  } else if (m_backColors[state] != COLORREF(-1)) {
    FillLayerRect(hdc, m_rect, m_backColors[state], 254);
  }
  PaintStateText(hdc);
}

void CLayerButtonCtrl::OnMouseEnter(WPARAM, int, int) {
  if (!m_hover) { m_hover = TRUE; Invalidate(nullptr); }
}
void CLayerButtonCtrl::OnMouseMove(WPARAM, int, int) {
  if (!m_hover) { m_hover = TRUE; Invalidate(nullptr); }
}
void CLayerButtonCtrl::OnMouseLeave() {
  if (m_hover) { m_hover = FALSE; Invalidate(nullptr); }
}
void CLayerButtonCtrl::OnLButtonDown(WPARAM, int, int, BOOL&) {
  if (!m_pressed) { m_pressed = TRUE; Invalidate(nullptr); }
}
void CLayerButtonCtrl::OnLButtonUp(WPARAM, int, int, BOOL&) {
  if (m_pressed) { m_pressed = FALSE; Invalidate(nullptr); }
  // Every release that reaches the button is a click, wherever the pointer is now.
  PostClick();
}

// ---------------------------------------------------------------- check box

void CLayerCheckboxCtrl::SetCheck(BOOL check, BOOL redraw) {
  if (!check == !m_checked) return;
  m_checked = check;
  if (redraw) Invalidate(nullptr);
}

void CLayerCheckboxCtrl::Paint(HDC hdc) {
  const int frame = State() + (m_checked ? 4 : 0);
  int text_left = m_rect.left;
  if (m_image && m_image->IsValid()) {
    const int fw = m_image->FrameWidth(), ih = m_image->Height();
    m_image->DrawFrame(hdc, m_rect.left, m_rect.top + (m_rect.bottom - m_rect.top - ih) / 2, fw, ih, frame);
    text_left = m_rect.left + fw + 5;
  } else if (m_backColors[State()] != COLORREF(-1)) {
    FillLayerRect(hdc, m_rect, m_backColors[State()], 254);
  }
  if (m_text.empty() || !m_font) return;
  RECT r{text_left + m_textInsets.left, m_rect.top + m_textInsets.top, m_rect.right - m_textInsets.right,
         m_rect.bottom - m_textInsets.bottom};
  if (m_shadowColor != COLORREF(-1)) {
    RECT s = r;
    ::OffsetRect(&s, 0, 1);
    DrawLayerText(hdc, m_text.c_str(), s, m_font, m_shadowColor, m_textFormat, 254);
  }
  DrawLayerText(hdc, m_text.c_str(), r, m_font, StateTextColor(), m_textFormat, 254);
}

void CLayerCheckboxCtrl::OnLButtonUp(WPARAM, int, int, BOOL&) {
  if (!m_enabled) return;
  if (m_pressed) { m_pressed = FALSE; Invalidate(nullptr); }
  if (m_autoToggle) SetCheck(!m_checked, TRUE);
  PostClick();
}

// ---------------------------------------------------------------- label

void CLayerLabelCtrl::MeasureText(SIZE* out, BOOL unbounded_width, BOOL unbounded_height) {
  *out = SIZE{0, 0};
  if (m_text.empty() || !m_font || !m_owner || !m_owner->GetHWnd()) return;
  SIZE bounds{unbounded_width ? 0x7FFFF : m_rect.right - m_rect.left,
              unbounded_height ? 0x7FFFF : m_rect.bottom - m_rect.top};
  HWND wnd = m_owner->GetHWnd();
  HDC dc = ::GetDC(wnd);
  if (!dc) return;
  *out = MeasureLayerText(dc, m_text.c_str(), m_font, bounds, m_textFormat);
  ::ReleaseDC(wnd, dc);
}

void CLayerLabelCtrl::Paint(HDC hdc) {
  if (m_text.empty() || !m_font) return;
  if (m_outlineColor == COLORREF(-1)) {
    PaintText(hdc, m_textColor);
    return;
  }
  RECT r{m_rect.left + m_textInsets.left, m_rect.top + m_textInsets.top, m_rect.right - m_textInsets.right,
         m_rect.bottom - m_textInsets.bottom};
  DrawLayerTextOutlined(hdc, m_text.c_str(), r, m_font, m_textColor, m_outlineColor, m_textFormat, 254);
}

// ---------------------------------------------------------------- image

void CLayerImageCtrl::SetImage(CImage* image, BOOL redraw) {
  if (image == m_image) return;
  m_image = image;
  if ((m_style & 1) && image) Resize(image->Width(), image->Height(), FALSE);
  if (redraw) Invalidate(nullptr);
}

bool CLayerImageCtrl::SetImageFile(const std::wstring& path, BOOL force, BOOL redraw) {
  const bool same = ::lstrcmpiW(path.c_str(), m_filePath.c_str()) == 0;
  const bool exists = !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (same && !force) {
    if (m_fileImage) return true;
    if (!exists) return false;
  }
  m_filePath = path;
  m_fileImage.reset();
  if (exists) {
    auto image = std::make_unique<CImage>(1);
    if (image->LoadFromFile(path)) m_fileImage = std::move(image);
  }
  if (redraw) Invalidate(nullptr);
  return m_fileImage != nullptr;
}

void CLayerImageCtrl::Paint(HDC hdc) {
  const CImage* image = Drawn();
  if (image && image->IsValid()) {
    const int w = m_rect.right - m_rect.left, h = m_rect.bottom - m_rect.top;
    switch (m_mode) {
      case kCentered:
        image->DrawPart(hdc, m_rect.left + (w - image->Width()) / 2, m_rect.top + (h - image->Height()) / 2,
                        image->Width(), image->Height(), 0, 0, image->Width(), image->Height());
        break;
      case kNineGrid: DrawImageNineGrid(hdc, image, m_rect, m_nineGrid); break;
      case kVerticalCaps: DrawImageThreeSlice(hdc, image, m_rect, m_vCaps[0], m_vCaps[1], false); break;
      case kHorizontalCaps: DrawImageThreeSlice(hdc, image, m_rect, m_hCaps[0], m_hCaps[1], true); break;
      case kFrame:
        if (m_frame != -1) image->DrawFrame(hdc, m_rect.left, m_rect.top, w, h, m_frame);
        break;
      case kStretch: image->DrawPart(hdc, m_rect.left, m_rect.top, w, h, 0, 0, image->Width(), image->Height()); break;
    }
  }
  PaintText(hdc, m_textColor);
}

// ---------------------------------------------------------------- progress

void CLayerProgress::SetRange(unsigned long long range, BOOL redraw) {
  if (range == m_range) return;
  m_range = range;
  if (redraw) Invalidate(nullptr);
}

void CLayerProgress::SetPos(unsigned long long pos, BOOL redraw) {
  if (pos == m_pos) return;
  m_pos = pos;
  if (redraw) Invalidate(nullptr);
}

void CLayerProgress::SetBackColor(COLORREF color, BOOL redraw) {
  if (color == m_backColor) return;
  m_backColor = color;
  if (redraw) Invalidate(nullptr);
}

void CLayerProgress::SetBarColor(COLORREF color, BOOL redraw) {
  if (color == m_barColor) return;
  m_barColor = color;
  if (redraw) Invalidate(nullptr);
}

RECT CLayerProgress::BarRect() const {
  RECT bar{m_rect.left + m_barInsets.left, m_rect.top + m_barInsets.top, m_rect.right - m_barInsets.right,
           m_rect.bottom - m_barInsets.bottom};
  const unsigned long long value = m_pos < m_range ? m_pos : m_range;
  if (m_range == 0 || value == 0) return RECT{bar.left, bar.top, bar.left, bar.top};
  double fraction = static_cast<double>(value) / static_cast<double>(m_range);
  if (fraction < 0.01) fraction = 0.01;
  const bool horizontal = m_direction == 0 || m_direction == 1;
  const int inner = horizontal ? bar.right - bar.left : bar.bottom - bar.top;
  int len = static_cast<int>(inner * fraction);
  if (len < 0) len = 0;
  switch (m_direction) {
    case 0: bar.right = bar.left + len; break;
    case 1: bar.left = bar.right - len; break;
    case 2: bar.bottom = bar.top + len; break;
    default: bar.top = bar.bottom - len; break;
  }
  return bar;
}

void CLayerProgress::PaintBack(HDC hdc) {
  if (m_backImage) DrawImageThreeSlice(hdc, m_backImage, m_rect, m_backCaps[0], m_backCaps[1], m_direction < 2);
  else if (m_backColor != COLORREF(-1)) FillLayerRect(hdc, m_rect, m_backColor, 254);
}

void CLayerProgress::Paint(HDC hdc) {
  if (!m_backOnTop) PaintBack(hdc);
  const unsigned long long value = m_pos < m_range ? m_pos : m_range;
  if (m_range != 0 && value != 0) {
    const RECT bar = BarRect();
    const bool horizontal = m_direction < 2;
    if (!m_barImage) {
      if (m_barColor != COLORREF(-1)) FillLayerRect(hdc, bar, m_barColor, 254);
    } else if (m_tiled) {
      DrawImageTiled(hdc, m_barImage, bar, m_tileGap, horizontal);
    } else {
      DrawImageThreeSlice(hdc, m_barImage, bar, m_barCaps[0], m_barCaps[1], horizontal);
    }
    if (m_showPercent && m_font) {
      wchar_t text[64];
      std::swprintf(text, 64, m_percentFormat.c_str(),
                    static_cast<double>(value) / static_cast<double>(m_range) * 100.0);
      RECT r{m_rect.left + m_barInsets.left, m_rect.top + m_barInsets.top, m_rect.right - m_barInsets.right,
             m_rect.bottom - m_barInsets.bottom};
      DrawLayerText(hdc, text, r, m_font, m_textColor, m_textFormat, 254);
    }
  }
  if (m_backOnTop) PaintBack(hdc);
}

// ---------------------------------------------------------------- placeholder edit

namespace {
const wchar_t kEditProp[] = L"CEditEx";
}

CEditEx::~CEditEx() {
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_systemProc));
    ::RemovePropW(m_hWnd, kEditProp);
  }
}

HWND CEditEx::Create(HWND parent, const RECT& rect, int id, DWORD style) {
  m_hWnd = ::CreateWindowExW(0, L"EDIT", L"", style, rect.left, rect.top, rect.right - rect.left,
                             rect.bottom - rect.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  if (!m_hWnd) return nullptr;
  ::SetPropW(m_hWnd, kEditProp, this);
  m_systemProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CEditEx::SubclassProc)));
  return m_hWnd;
}

LRESULT CALLBACK CEditEx::SubclassProc(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
  auto* self = static_cast<CEditEx*>(::GetPropW(wnd, kEditProp));
  if (!self) return ::DefWindowProcW(wnd, msg, w, l);
  if (msg == WM_NCDESTROY) {
    WNDPROC proc = self->m_systemProc;
    ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    ::RemovePropW(wnd, kEditProp);
    self->m_hWnd = nullptr;
    return ::CallWindowProcW(proc, wnd, msg, w, l);
  }
  return self->Handle(msg, w, l);
}

LRESULT CEditEx::Handle(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (::GetWindowTextLengthW(m_hWnd) == 0 && !m_placeholder.empty() &&
          (::GetFocus() != m_hWnd || m_showWhenFocused)) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        RECT client;
        ::GetClientRect(m_hWnd, &client);
        HWND parent = ::GetParent(m_hWnd);
        auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(parent, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                                             reinterpret_cast<LPARAM>(m_hWnd)));
        if (brush) ::FillRect(dc, &client, brush);
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
        HGDIOBJ old = ::SelectObject(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(0xD7, 0xD7, 0xD7));
        ::DrawTextW(dc, m_placeholder.c_str(), -1, &client, DT_VCENTER);
        ::SelectObject(dc, old);
        ::EndPaint(m_hWnd, &ps);
        return 0;
      }
      break;
    case WM_CHAR:
      if (w == VK_RETURN) {
        if (m_onEnter) m_onEnter(this);
        return 0;
      }
      break;
    case WM_KILLFOCUS:
      if (::GetWindowTextLengthW(m_hWnd) == 0) ::ShowWindow(m_hWnd, SW_HIDE);
      break;
  }
  return ::CallWindowProcW(m_systemProc, m_hWnd, msg, w, l);
}
