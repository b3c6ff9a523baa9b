#include "layerui/LayerControl.h"

#include <algorithm>

// ---------------------------------------------------------------- base

void CLayerControlBase::Create(HWND wnd, ILayerWindow* owner, int id, const RECT& rect, DWORD style) {
  m_hWndOwner = wnd;
  m_owner = owner;
  SetID(id);
  m_style = style;
  m_rect = rect;
  OnCreate(wnd);
  SetRect(&rect, FALSE);  // equal to the stored rect: no OnRectChanged at creation
}

void CLayerControlBase::Create(HWND wnd, ILayerWindow* owner, int id, int x, int y, int w, int h, DWORD style) {
  Create(wnd, owner, id, RECT{x, y, x + w, y + h}, style);
}

void CLayerControlBase::SetVisible(BOOL visible, BOOL redraw) {
  if (!visible == !m_visible) return;
  m_visible = visible;
  if (redraw) Invalidate(nullptr);
}

void CLayerControlBase::SetEnabled(BOOL enabled, BOOL redraw) {
  if (!enabled == !m_enabled) return;
  m_enabled = enabled;
  if (redraw) Invalidate(nullptr);
}

void CLayerControlBase::SetText(const std::wstring& text, BOOL redraw) {
  if (text == m_text) return;
  m_text = text;
  if (redraw) Invalidate(nullptr);
}

void CLayerControlBase::SetTextColor(COLORREF color, BOOL redraw) {
  if (color == m_textColor) return;
  m_textColor = color;
  if (redraw) Invalidate(nullptr);
}

void CLayerControlBase::GetWindowRect(RECT* out) {
  RECT r = m_rect;
  ClientToWindowRect(out, &r);
}

void CLayerControlBase::SetRect(const RECT* rect, BOOL redraw) {
  if (::EqualRect(rect, &m_rect)) return;
  RECT old_w, new_w, both;
  ClientToWindowRect(&old_w, &m_rect);
  ClientToWindowRect(&new_w, rect);
  ::UnionRect(&both, &old_w, &new_w);
  m_rect = *rect;
  OnRectChanged(m_rect.left, m_rect.top, m_rect.right, m_rect.bottom);
  if (redraw && m_owner) m_owner->InvalidateLayer(new RECT(both), FALSE);
}

void CLayerControlBase::SetRectXYWH(int x, int y, int w, int h, BOOL redraw) {
  RECT r{x, y, x + w, y + h};
  SetRect(&r, redraw);
}

BOOL CLayerControlBase::HitTestPoint(int x, int y) {
  RECT r;
  GetWindowRect(&r);
  POINT pt{x, y};
  return ::PtInRect(&r, pt);
}

void CLayerControlBase::Invalidate(const RECT* rect) {
  if (!m_owner) return;
  auto* heap = new RECT;
  ClientToWindowRect(heap, rect ? rect : &m_rect);
  m_owner->InvalidateLayer(heap, FALSE);
}

void CLayerControlBase::MoveTo(int x, int y, BOOL redraw) {
  RECT r{x, y, x + (m_rect.right - m_rect.left), y + (m_rect.bottom - m_rect.top)};
  SetRect(&r, redraw);
}

void CLayerControlBase::OffsetBy(int dx, int dy, BOOL redraw) {
  RECT r = m_rect;
  ::OffsetRect(&r, dx, dy);
  SetRect(&r, redraw);
}

void CLayerControlBase::Resize(int w, int h, BOOL redraw) {
  RECT r = m_rect;
  if (w != -1) r.right = r.left + w;
  if (h != -1) r.bottom = r.top + h;
  SetRect(&r, redraw);
}

void CLayerControlBase::ClientToWindowRect(RECT* out, const RECT* in) {
  RECT r = *in;
  if (ILayerControl* parent = GetParent()) {
    RECT origin;
    parent->GetWindowRect(&origin);
    ::OffsetRect(&r, origin.left, origin.top);
  }
  *out = r;
}

void CLayerControlBase::ClientToWindowPoint(POINT* out, const POINT* in) {
  RECT r{in->x, in->y, in->x, in->y};
  ClientToWindowRect(&r, &r);
  out->x = r.left;
  out->y = r.top;
}

void CLayerControlBase::WindowToClientRect(RECT* out, const RECT* in) {
  RECT r = *in;
  if (ILayerControl* parent = GetParent()) {
    RECT origin;
    parent->GetWindowRect(&origin);
    ::OffsetRect(&r, -origin.left, -origin.top);
  }
  *out = r;
}

void CLayerControlBase::WindowToClientPoint(POINT* out, const POINT* in) {
  RECT r{in->x, in->y, in->x, in->y};
  WindowToClientRect(&r, &r);
  out->x = r.left;
  out->y = r.top;
}

void CLayerControlBase::StartControlTimer(UINT id, UINT ms) {
  m_timerId = static_cast<int>(id);
  if (m_owner) m_owner->SetLayerTimer(id, ms);
}

void CLayerControlBase::StopControlTimer(UINT id) {
  m_timerId = -1;
  if (m_owner) m_owner->KillLayerTimer(id);
}

void CLayerControlBase::PaintText(HDC hdc, COLORREF color) {
  if (m_text.empty() || !m_font) return;
  RECT r{m_rect.left + m_textInsets.left, m_rect.top + m_textInsets.top, m_rect.right - m_textInsets.right,
         m_rect.bottom - m_textInsets.bottom};
  if (m_shadowColor != static_cast<COLORREF>(-1)) {
    RECT s = r;
    ::OffsetRect(&s, 0, 1);
    DrawLayerText(hdc, m_text.c_str(), s, m_font, m_shadowColor, m_textFormat, 254);
  }
  DrawLayerText(hdc, m_text.c_str(), r, m_font, color, m_textFormat, 254);
}

void CLayerControlBase::PostClick() {
  if (m_owner)
    m_owner->PostLayerMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(m_id), 0), reinterpret_cast<LPARAM>(this));
}

// ---------------------------------------------------------------- group

CLayerControlGroup::~CLayerControlGroup() {
  for (ILayerControl* child : m_children) child->Release();
}

void CLayerControlGroup::SetPage(int page, BOOL redraw) {
  if (page == m_page) return;
  m_page = page;
  if (redraw) InvalidateAll();
}

void CLayerControlGroup::SetVisible(BOOL visible, BOOL redraw) {
  CLayerControlBase::SetVisible(visible, redraw);
}

void CLayerControlGroup::AddChild(ILayerControl* child, int) {
  if (!child) return;
  child->SetParent(this);
  m_children.push_back(child);
  m_index.emplace(child->GetID(), child);  // the first child with an id keeps the index entry
}

BOOL CLayerControlGroup::RemoveChild(ILayerControl* child, BOOL destroy, BOOL redraw) {
  if (CLayerControlGroup* root = GetRootView()) {
    if (root->GetHoverChild() == child) root->SetHoverChild(nullptr);
    if (root->GetPressedChild() == child) root->SetPressedChild(nullptr);
  }
  auto it = std::find(m_children.begin(), m_children.end(), child);
  if (it == m_children.end()) return FALSE;
  m_children.erase(it);
  m_index.erase(child->GetID());
  if (destroy) {
    child->OnDestroy();
    child->Release();
  }
  if (redraw) InvalidateAll();
  return TRUE;
}

BOOL CLayerControlGroup::RemoveChildByID(int id, BOOL destroy, BOOL redraw) {
  auto it = m_index.find(id);
  if (it == m_index.end()) return FALSE;
  return RemoveChild(it->second, destroy, redraw);
}

void CLayerControlGroup::RemoveAllChildren(BOOL redraw) {
  if (CLayerControlGroup* root = GetRootView()) {
    root->SetHoverChild(nullptr);
    root->SetPressedChild(nullptr);
  }
  std::vector<ILayerControl*> children;
  children.swap(m_children);
  m_index.clear();
  for (ILayerControl* child : children) {
    child->OnDestroy();
    child->Release();
  }
  if (redraw) InvalidateAll();
}

ILayerControl* CLayerControlGroup::FindChild(int id) {
  auto it = m_index.find(id);
  return it == m_index.end() ? nullptr : it->second;
}

ILayerControl* CLayerControlGroup::ChildFromPoint(int x, int y) {
  for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
    ILayerControl* child = *it;
    if (!PassesPage(child) || !child->IsVisible()) continue;
    if (child->GetType() == kTypeGroup) {
      if (!child->HitTestPoint(x, y)) continue;
      return static_cast<CLayerControlGroup*>(child)->ChildFromPoint(x, y);
    }
    if (child->HitTestPoint(x, y)) return child;
  }
  return nullptr;
}

void CLayerControlGroup::OnTimer(UINT id) {
  for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
    ILayerControl* child = *it;
    if (!PassesPage(child) || !child->IsVisible()) continue;
    if (child->GetType() == kTypeGroup || child->GetTimerID() == static_cast<int>(id)) child->OnTimer(id);
  }
}

void CLayerControlGroup::DrawBackground(HDC hdc) {
  if (m_backColor != static_cast<COLORREF>(-1)) FillLayerRect(hdc, m_rect, m_backColor, 254);
  if (m_backImage) m_backImage->DrawFrame(hdc, m_rect.left, m_rect.top, m_backImage->FrameWidth(),
                                          m_backImage->Height(), 0);
}

void CLayerControlGroup::Paint(HDC hdc) {
  if (!m_visible) return;
  DrawBackground(hdc);
  if (m_children.empty()) return;
  POINT previous{};
  ::OffsetViewportOrgEx(hdc, m_rect.left, m_rect.top, &previous);
  const bool bounds = m_owner && m_owner->GetShowBounds();
  for (ILayerControl* child : m_children) {
    if (!PassesPage(child) || !child->IsVisible()) continue;
    RECT r;
    child->GetRect(&r);
    if (!::RectVisible(hdc, &r)) continue;
    const int saved = ::SaveDC(hdc);
    child->Paint(hdc);
    ::RestoreDC(hdc, saved);
    if (bounds) ::DrawFocusRect(hdc, &r);
  }
  ::SetViewportOrgEx(hdc, previous.x, previous.y, nullptr);
}

CLayerControlGroup* CLayerControlGroup::GetRootView() {
  ILayerControl* c = this;
  while (c && c->GetType() != kTypeRootView) c = c->GetParent();
  return static_cast<CLayerControlGroup*>(c);
}

void CLayerControlGroup::SetBackColor(COLORREF color, BOOL redraw) {
  m_backColor = color;
  if (redraw) InvalidateAll();
}

void CLayerControlGroup::SetBackImage(CImage* image, BOOL redraw) {
  m_backImage = image;
  if (redraw) InvalidateAll();
}

void CLayerControlGroup::EnableChild(int id, BOOL enabled, BOOL redraw) {
  if (ILayerControl* c = FindChild(id)) c->SetEnabled(enabled, redraw);
}
void CLayerControlGroup::ShowChild(int id, BOOL visible, BOOL redraw) {
  if (ILayerControl* c = FindChild(id)) c->SetVisible(visible, redraw);
}
void CLayerControlGroup::MoveChild(int id, int x, int y, BOOL redraw) {
  if (ILayerControl* c = FindChild(id)) c->MoveTo(x, y, redraw);
}
void CLayerControlGroup::SetChildText(int id, const std::wstring& text, COLORREF color, BOOL redraw) {
  if (ILayerControl* c = FindChild(id)) {
    if (color != static_cast<COLORREF>(-1)) c->SetTextColor(color, redraw);
    c->SetText(text, redraw);
  }
}

// ---------------------------------------------------------------- root view

void CLayerControlRootView::UpdateToolTip(ILayerControl* hit) {
  if (!m_owner) return;
  if (hit && hit->IsToolTipEnabled()) {
    std::wstring tip = hit->GetToolTip();
    if (!tip.empty()) {
      m_owner->ShowToolTip(TRUE, tip);
      return;
    }
  }
  m_owner->ShowToolTip(FALSE, std::wstring());
}

void CLayerControlRootView::OnMouseMove(WPARAM keys, int x, int y) {
  ILayerControl* hit = ChildFromPoint(x, y);
  POINT in{x, y}, pt{};
  if (hit != m_hoverChild) {
    if (m_hoverChild) {
      m_hoverChild->OnMouseLeave();
      if (m_owner) m_owner->ShowToolTip(FALSE, std::wstring());
    }
    if (hit) {
      hit->WindowToClientPoint(&pt, &in);
      hit->OnMouseEnter(keys, pt.x, pt.y);
      UpdateToolTip(hit);
    }
    m_hoverChild = hit;
  } else if (hit) {
    hit->WindowToClientPoint(&pt, &in);
    hit->OnMouseMove(keys, pt.x, pt.y);
    UpdateToolTip(hit);
  }
}

void CLayerControlRootView::OnMouseLeave() {
  if (m_hoverChild != m_pressedChild) {
    if (m_hoverChild) m_hoverChild->OnMouseLeave();
    if (m_pressedChild) m_pressedChild->OnMouseLeave();
  } else if (m_hoverChild) {
    m_hoverChild->OnMouseLeave();
  }
  m_hoverChild = m_pressedChild = nullptr;
  if (m_owner) m_owner->ShowToolTip(FALSE, std::wstring());
}

void CLayerControlRootView::OnLButtonDown(WPARAM keys, int x, int y, BOOL& handled) {
  ILayerControl* hit = ChildFromPoint(x, y);
  if (hit && hit->IsEnabled()) {
    POINT in{x, y}, pt{};
    hit->WindowToClientPoint(&pt, &in);
    hit->OnLButtonDown(keys, pt.x, pt.y, handled);
    m_pressedChild = hit;
  }
  if (!(m_pressedChild && !m_pressedChild->IsDragThrough())) handled = FALSE;
}

void CLayerControlRootView::OnLButtonDblClk(WPARAM keys, int x, int y, BOOL& handled) {
  ILayerControl* hit = ChildFromPoint(x, y);
  if (hit && hit->IsEnabled()) {
    POINT in{x, y}, pt{};
    hit->WindowToClientPoint(&pt, &in);
    hit->OnLButtonDblClk(keys, pt.x, pt.y, handled);
    m_pressedChild = hit;
  }
  if (!(m_pressedChild && !m_pressedChild->IsDragThrough())) handled = FALSE;
}

void CLayerControlRootView::OnLButtonUp(WPARAM keys, int x, int y, BOOL& handled) {
  ILayerControl* pressed = m_pressedChild;
  if (!pressed) return;
  m_pressedChild = nullptr;
  POINT in{x, y}, pt{};
  pressed->WindowToClientPoint(&pt, &in);
  pressed->OnLButtonUp(keys, pt.x, pt.y, handled);
}

void CLayerControlRootView::OnSetCursor(HWND, UINT, UINT, BOOL& handled) {
  handled = FALSE;
  if (m_hoverChild && m_hoverChild->GetCursor()) {
    ::SetCursor(m_hoverChild->GetCursor());
    handled = TRUE;
  }
}
