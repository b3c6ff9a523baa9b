#include "windows/MessageBox.h"

#include "layerui/LayerResource.h"

namespace {
volatile LONG g_suppressed = 0;
using MessageBoxIds = CLayerIdCounter<CMessageBox, kLayerIdBaseMain>;

POINT PointOf(LPARAM l) { return POINT{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))}; }
}  // namespace

void SetMessageBoxSuppressed(int suppressed) { ::InterlockedExchange(&g_suppressed, suppressed); }

int LayerMessageBox(void*, const wchar_t* text, int style) {
  if (g_suppressed) return -1;
  CMessageBox box(text, style);
  return static_cast<int>(box.DoModal(::GetActiveWindow()));
}

CMessageBox::CMessageBox(const wchar_t* text, int style)
    : m_root(std::make_unique<CLayerControlRootView>()), m_style(style), m_text(text ? text : L"") {}

CMessageBox::~CMessageBox() {
  if (m_memDc && m_oldBitmap) ::SelectObject(m_memDc.get(), m_oldBitmap);
}

LRESULT CMessageBox::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
  const LONG ex = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
  if (!(ex & WS_EX_TOOLWINDOW)) ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, ex | WS_EX_TOOLWINDOW);  // no taskbar button
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  {
    win::WindowDc dc(m_hWnd);
    m_memDc.reset(::CreateCompatibleDC(dc.get()));
    // A 32-bit DIB keeps the pictures' alpha exact when they are composed.
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = kWidth;
    bi.bmiHeader.biHeight = -kHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_memBitmap.reset(::CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (m_memDc && m_memBitmap) {
      m_oldBitmap = ::SelectObject(m_memDc.get(), m_memBitmap.get());
      ::SetViewportOrgEx(m_memDc.get(), 0, 0, nullptr);
    }
  }
  CenterWindow(::GetWindow(m_hWnd, GW_OWNER));
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  m_root->Create(m_hWnd, this, -1, client, 0);
  CreateControls();
  InvalidateLayer(nullptr, TRUE);
  return TRUE;
}

void CMessageBox::CreateControls() {
  LayerResourceCache* cache = LayerResourceCache::Instance();
  HMODULE module = wf::ModuleInstance();
  const int W = kWidth, H = kHeight;

  auto* back = new CLayerImageCtrl;
  back->Create(m_hWnd, this, MessageBoxIds::Next(), RECT{0, 0, W, H}, 0);
  back->SetCentered();
  back->SetImage(cache ? cache->GetImage(244, module) : nullptr, FALSE);
  m_root->AddChild(back);

  auto* title = new CLayerLabelCtrl;
  title->Create(m_hWnd, this, MessageBoxIds::Next(), RECT{50, 0, 250, 50}, 0);
  title->SetTextFormat(0x1);
  title->SetTextColor(0xFFFFFF, FALSE);
  title->SetFont(cache ? cache->GetFont(1009) : nullptr);
  title->SetText(L"Lumetta卸载", FALSE);
  m_root->AddChild(title);

  auto* message = new CLayerLabelCtrl;
  message->Create(m_hWnd, this, MessageBoxIds::Next(), RECT{0, 110, W, 142}, 0);
  message->SetTextFormat(0x10);
  message->SetTextColor(0x888888, FALSE);
  message->SetFont(cache ? cache->GetFont(1009) : nullptr);
  message->SetText(m_text, FALSE);
  m_root->AddChild(message);

  const wchar_t* text_a = L"";
  const wchar_t* text_b = L"";
  switch (m_style & 0xF) {
    case 0: text_a = L"确定"; m_resultA = 1; break;
    case 1: text_a = L"取消"; m_resultA = 2; text_b = L"确定"; m_resultB = 1; break;
    case 4: text_a = L"是"; m_resultA = 6; text_b = L"否"; m_resultB = 7; break;
    default: break;
  }
  const RECT rect_a{W - 126, H - 60, W - 20, H - 20};
  if (*text_a) {
    auto* a = new CLayerButtonCtrl;
    a->Create(m_hWnd, this, m_resultA, rect_a, 0);
    a->SetImage(cache ? cache->GetImage(237, module) : nullptr);
    a->SetText(text_a, FALSE);
    a->SetTextColor(0xFFFFFF, FALSE);
    a->SetFont(cache ? cache->GetFont(1006) : nullptr);
    m_root->AddChild(a);
    m_buttonA = a;
  }
  if (*text_b) {
    auto* b = new CLayerButtonCtrl;
    b->Create(m_hWnd, this, m_resultB, RECT{rect_a.left - 126, rect_a.top, rect_a.right - 126, rect_a.bottom}, 0);
    b->SetImage(cache ? cache->GetImage(241, module) : nullptr);
    b->SetText(text_b, FALSE);
    b->SetTextColor(0x888888, FALSE);
    b->SetFont(cache ? cache->GetFont(1006) : nullptr);
    m_root->AddChild(b);
    m_buttonB = b;
  }
  auto* close = new CLayerButtonCtrl;
  close->Create(m_hWnd, this, kCloseId, RECT{W - 38, 16, W - 20, 34}, 0);
  close->SetImage(cache ? cache->GetImage(238, module) : nullptr);
  m_root->AddChild(close);
  m_close = close;
}

void CMessageBox::Render() {
  if (!m_memDc || !m_memBitmap) return;
  RECT all{0, 0, kWidth, kHeight};
  ::FillRect(m_memDc.get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  m_root->Paint(m_memDc.get());
}

int CMessageBox::InvalidateLayer(RECT* rect, BOOL) {
  delete rect;  // the whole picture is redrawn whatever the extent
  Render();
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
  return 1;
}

LRESULT CMessageBox::OnPaint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  if (dc && m_memDc) {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    ::BitBlt(dc, 0, 0, client.right, client.bottom, m_memDc.get(), 0, 0, SRCCOPY);
  }
  ::EndPaint(m_hWnd, &ps);
  return 0;
}

LRESULT CMessageBox::OnNcHitTest(UINT, WPARAM, LPARAM l, BOOL&) {
  POINT pt = PointOf(l);
  ::ScreenToClient(m_hWnd, &pt);
  ILayerControl* c = m_root->ChildFromPoint(pt.x, pt.y);
  return c && !c->IsDragThrough() ? HTCLIENT : HTCAPTION;
}

LRESULT CMessageBox::OnMouseMove(UINT, WPARAM w, LPARAM l, BOOL&) {
  POINT pt = PointOf(l);
  m_root->OnMouseMove(w, pt.x, pt.y);
  if (m_mouseOutside) {
    TRACKMOUSEEVENT tme{sizeof(tme), TME_HOVER | TME_LEAVE, m_hWnd, HOVER_DEFAULT};
    ::TrackMouseEvent(&tme);
    m_mouseOutside = 0;
  }
  return 0;
}

LRESULT CMessageBox::OnMouseHover(UINT, WPARAM w, LPARAM l, BOOL&) {
  POINT pt = PointOf(l);
  m_root->OnMouseEnter(w, pt.x, pt.y);
  return 0;
}

LRESULT CMessageBox::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&) {
  if (!m_mouseOutside) {
    m_root->OnMouseLeave();
    m_mouseOutside = 1;
  }
  return 0;
}

LRESULT CMessageBox::OnLButtonDown(UINT, WPARAM w, LPARAM l, BOOL&) {
  POINT pt = PointOf(l);
  ::SetCapture(m_hWnd);
  BOOL handled = TRUE;
  m_root->OnLButtonDown(w, pt.x, pt.y, handled);
  return 0;
}

LRESULT CMessageBox::OnLButtonUp(UINT, WPARAM w, LPARAM l, BOOL&) {
  POINT pt = PointOf(l);
  BOOL handled = TRUE;
  m_root->OnLButtonUp(w, pt.x, pt.y, handled);
  ::ReleaseCapture();
  return 0;
}

LRESULT CMessageBox::OnCommand(UINT, WPARAM w, LPARAM, BOOL&) {
  const int id = LOWORD(w);
  if (id == kCloseId) EndDialog(8);
  else if (m_resultB >= 1 && id == m_resultB) EndDialog(m_resultB);
  else if (m_resultA >= 1 && id == m_resultA) EndDialog(m_resultA);
  return 0;
}

LRESULT CMessageBox::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  m_root->OnDestroy();
  m_buttonA = m_buttonB = m_close = nullptr;
  handled = FALSE;
  return 0;
}
