#include "layerui/LayerResource.h"

#include <cstring>
#include "common/ComPtr.h"
#include "common/UniqueHandle.h"

using namespace Gdiplus;

namespace {

bool g_text_anti_alias = true;

// GetObject reports a positive height for top-down DIB sections too, so the row order is
// probed: mark the first and the last row in memory and ask GDI which one is at (0, 0).
bool IsBottomUp(HDC hdc, BYTE* bits, int h, int stride) {
  if (h <= 1) return false;
  auto* first = reinterpret_cast<DWORD*>(bits);
  auto* last = reinterpret_cast<DWORD*>(bits + static_cast<ptrdiff_t>(h - 1) * stride);
  const DWORD keep_first = *first, keep_last = *last;
  *first = 0x00010203;
  *last = 0x00040506;
  const int saved = ::SaveDC(hdc);
  ::SetViewportOrgEx(hdc, 0, 0, nullptr);
  ::SelectClipRgn(hdc, nullptr);
  const COLORREF at_origin = ::GetPixel(hdc, 0, 0);
  ::RestoreDC(hdc, saved);
  ::GdiFlush();
  *first = keep_first;
  *last = keep_last;
  return at_origin == RGB(4, 5, 6);
}

// A GDI+ surface over whatever the DC draws into. Over a 32-bit DIB section the pixels are
// wrapped as premultiplied ARGB, so alpha is composed correctly (GDI+ on the DC itself would
// drop it); the DC's viewport origin and clip region are carried over.
class LayerGraphics {
 public:
  explicit LayerGraphics(HDC hdc) {
    if (!hdc) return;
    auto bmp = static_cast<HBITMAP>(::GetCurrentObject(hdc, OBJ_BITMAP));
    DIBSECTION ds{};
    if (bmp && ::GetObjectW(bmp, sizeof(ds), &ds) == sizeof(ds) && ds.dsBm.bmBitsPixel == 32 && ds.dsBm.bmBits) {
      ::GdiFlush();
      const int w = ds.dsBm.bmWidth;
      const int h = ds.dsBmih.biHeight < 0 ? -ds.dsBmih.biHeight : ds.dsBmih.biHeight;
      INT stride = ds.dsBm.bmWidthBytes;
      auto* bits = static_cast<BYTE*>(ds.dsBm.bmBits);
      if (IsBottomUp(hdc, bits, h, stride)) {  // start at the last row, walk backwards
        bits += static_cast<ptrdiff_t>(h - 1) * stride;
        stride = -stride;
      }
      surface_ = std::make_unique<Bitmap>(w, h, stride, PixelFormat32bppPARGB, bits);
      if (surface_->GetLastStatus() != Ok) return;
      graphics_ = std::make_unique<Graphics>(surface_.get());
      win::UniqueGdiObject rgn(::CreateRectRgn(0, 0, 0, 0));
      if (rgn && ::GetClipRgn(hdc, static_cast<HRGN>(rgn.get())) == 1) {
        Region clip(static_cast<HRGN>(rgn.get()));
        graphics_->SetClip(&clip);
      }
      POINT org{};
      ::GetViewportOrgEx(hdc, &org);
      graphics_->TranslateTransform(static_cast<REAL>(org.x), static_cast<REAL>(org.y));
    } else {
      graphics_ = std::make_unique<Graphics>(hdc);
    }
    if (graphics_->GetLastStatus() != Ok) { graphics_.reset(); return; }
    graphics_->SetPageUnit(UnitPixel);
    // Slices and frames must land on exact pixels; smoothing would bleed neighbouring frames in.
    graphics_->SetInterpolationMode(InterpolationModeNearestNeighbor);
    graphics_->SetPixelOffsetMode(PixelOffsetModeHalf);
  }
  Graphics* get() const { return graphics_.get(); }
  explicit operator bool() const { return graphics_ != nullptr; }

 private:
  std::unique_ptr<Bitmap> surface_;
  std::unique_ptr<Graphics> graphics_;
};

Color ToColor(COLORREF c, BYTE alpha) { return Color(alpha, GetRValue(c), GetGValue(c), GetBValue(c)); }

void ApplyFormat(StringFormat& fmt, DWORD bits) {
  fmt.SetLineAlignment(bits & kTextVCenter ? StringAlignmentCenter
                       : bits & kTextBottom ? StringAlignmentFar : StringAlignmentNear);
  fmt.SetAlignment(bits & kTextHCenter ? StringAlignmentCenter
                   : bits & kTextRight ? StringAlignmentFar : StringAlignmentNear);
  if (bits & kTextEllipsisChar) fmt.SetTrimming(StringTrimmingEllipsisCharacter);
  else if (bits & kTextEllipsisWord) fmt.SetTrimming(StringTrimmingEllipsisWord);
}

void DrawSlice(Graphics* g, Bitmap* bmp, int x, int y, int w, int h, int sx, int sy, int sw, int sh) {
  // Empty or negative slices would only draw on areas later slices cover.
  if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;
  g->DrawImage(bmp, RectF(REAL(x), REAL(y), REAL(w), REAL(h)), REAL(sx), REAL(sy), REAL(sw), REAL(sh), UnitPixel);
}

}  // namespace

// ---------------------------------------------------------------- CImage

bool CImage::Adopt(std::unique_ptr<Gdiplus::Bitmap> decoded) {
  if (!decoded || decoded->GetLastStatus() != Ok) return false;
  const int w = static_cast<int>(decoded->GetWidth()), h = static_cast<int>(decoded->GetHeight());
  if (w <= 0 || h <= 0) return false;
  // Keep a premultiplied copy: independent of the source stream, and fastest to compose.
  auto copy = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppPARGB);
  if (copy->GetLastStatus() != Ok) return false;
  {
    Graphics g(copy.get());
    g.SetCompositingMode(CompositingModeSourceCopy);
    if (g.DrawImage(decoded.get(), 0, 0, w, h) != Ok) return false;
  }
  bitmap_ = std::move(copy);
  width_ = w;
  height_ = h;
  return true;
}

bool CImage::LoadFromResource(UINT id, HMODULE module, const wchar_t* type) {
  bitmap_.reset();
  width_ = height_ = 0;
  HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!res) return false;
  const DWORD size = ::SizeofResource(module, res);
  if (size == 0) return false;
  HGLOBAL loaded = ::LoadResource(module, res);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) return false;
  HGLOBAL block = ::GlobalAlloc(GMEM_FIXED, size);
  if (!block) return false;
  std::memcpy(block, bytes, size);  // a GMEM_FIXED handle is its own pointer
  win::ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, stream.put()))) {
    ::GlobalFree(block);
    return false;
  }
  std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream.get(), FALSE));
  return Adopt(std::move(decoded));
}

bool CImage::LoadFromFile(const std::wstring& path) {
  bitmap_.reset();
  width_ = height_ = 0;
  if (path.empty()) return false;
  std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromFile(path.c_str(), FALSE));
  return Adopt(std::move(decoded));
}

void CImage::DrawFrame(HDC hdc, int x, int y, int w, int h, int frame) const {
  if (!IsValid()) return;
  LayerGraphics g(hdc);
  if (!g) return;
  const int fw = FrameWidth();
  const int left = (frame > FrameCount() - 1 || fw <= 0 || frame < 0) ? 0 : frame * fw;
  if (w <= 0 || h <= 0) return;
  g.get()->DrawImage(bitmap_.get(), RectF(REAL(x), REAL(y), REAL(w), REAL(h)), REAL(left), 0.0f, REAL(w),
                     REAL(height_), UnitPixel);
}

void CImage::DrawPart(HDC hdc, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const {
  if (!IsValid()) return;
  LayerGraphics g(hdc);
  if (g) DrawSlice(g.get(), bitmap_.get(), x, y, w, h, sx, sy, sw, sh);
}

// ---------------------------------------------------------------- cache

bool LayerResourceCache::RegisterFont(int id, const std::wstring& face, int size, int style) {
  if (fonts_.count(id)) return false;
  fonts_[id] = FontEntry{face, size, style, false, nullptr};
  return true;
}

bool LayerResourceCache::RegisterImage(int id, UINT resource_id, int frames) {
  if (images_.count(id) || file_images_.count(id)) return false;
  images_[id] = ImageEntry{resource_id, {}, frames, false, nullptr};
  return true;
}

bool LayerResourceCache::RegisterImageFile(int id, const std::wstring& path, int frames) {
  if (images_.count(id) || file_images_.count(id)) return false;
  if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  auto image = std::make_unique<CImage>(frames);
  image->LoadFromFile(path);
  file_images_[id] = ImageEntry{0, path, frames, true, std::move(image)};
  return true;
}

bool LayerResourceCache::RegisterCursor(int id, const wchar_t* name, bool system) {
  if (cursors_.count(id)) return false;
  cursors_[id] = CursorEntry{name, system, nullptr};
  return true;
}

Gdiplus::Font* LayerResourceCache::GetFont(int id) {
  auto it = fonts_.find(id);
  if (it == fonts_.end()) return nullptr;
  FontEntry& e = it->second;
  if (!e.loaded) {
    e.loaded = true;
    auto font = std::make_unique<Gdiplus::Font>(e.face.c_str(), REAL(e.size), e.style, UnitPixel);
    if (font->GetLastStatus() != Ok) {
      // mingw's GDI+ wrapper does not fall back for an unknown family (FontFamilyNotFound);
      // a generic sans-serif face still shows the text.
      font = std::make_unique<Gdiplus::Font>(FontFamily::GenericSansSerif(), REAL(e.size), e.style, UnitPixel);
    }
    if (font->GetLastStatus() == Ok) e.font = std::move(font);
  }
  return e.font.get();
}

CImage* LayerResourceCache::GetImage(int id, HMODULE module) {
  if (id == -1) return nullptr;
  auto f = file_images_.find(id);
  if (f != file_images_.end()) return f->second.image.get();
  auto it = images_.find(id);
  if (it == images_.end()) return nullptr;
  ImageEntry& e = it->second;
  if (!e.loaded) {
    e.loaded = true;  // a failed decode stays an invalid image and is not retried
    e.image = std::make_unique<CImage>(e.frames);
    e.image->LoadFromResource(e.resource_id, module, L"PNG");
  }
  return e.image.get();
}

HCURSOR LayerResourceCache::GetCursor(int id) {
  auto it = cursors_.find(id);
  if (it == cursors_.end()) return nullptr;
  CursorEntry& e = it->second;
  if (!e.cursor) e.cursor = ::LoadCursorW(e.system ? nullptr : ::GetModuleHandleW(nullptr), e.name);
  return e.cursor;
}

void LayerResourceCache::ReleaseResources() {
  images_.clear();
  file_images_.clear();
  fonts_.clear();
}

// ---------------------------------------------------------------- UI face

const wchar_t* const UIFontFace::kCandidates[6] = {L"微软雅黑", L"Microsoft YaHei", L"Microsoft YaHei UI",
                                                   L"宋体", L"新細明體", L"Tahoma"};

const wchar_t* UIFontFace::FaceForFlags(int flags) {
  for (int i = 0; i < 6; ++i)
    if (flags & (1 << i)) return kCandidates[i];
  return L"";
}

int CALLBACK UIFontFace::EnumProc(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM param) {
  auto* self = reinterpret_cast<UIFontFace*>(param);
  const auto* elf = reinterpret_cast<const ENUMLOGFONTW*>(lf);
  for (int i = 0; i < 6; ++i) {
    if (::lstrcmpiW(elf->elfFullName, kCandidates[i]) == 0 || ::lstrcmpiW(lf->lfFaceName, kCandidates[i]) == 0)
      self->found_ |= 1 << i;
  }
  return self->found_ == 63 ? 0 : 1;
}

namespace {
DWORD NtMajorVersion() {
  static DWORD major = [] {
    DWORD ma = 0, mi = 0, build = 0;
    using Fn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
      if (auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetNtVersionNumbers"))))
        fn(&ma, &mi, &build);
    }
    return ma;
  }();
  return major;
}
}  // namespace

void UIFontFace::ChooseFace() {
  if (NtMajorVersion() > 5) {
    win::WindowDc screen(nullptr);
    if (screen.get()) ::EnumFontFamiliesW(screen.get(), nullptr, &UIFontFace::EnumProc, reinterpret_cast<LPARAM>(this));
  } else {
    found_ |= 8;
  }
  face_ = FaceForFlags(found_);
  if (!font_)
    font_ = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, FF_SWISS, face_.c_str());
}

// ---------------------------------------------------------------- registrations

ResInitializer::ResInitializer() {
  LayerResourceCache* cache = LayerResourceCache::Instance();
  UIFontFace* face = UIFontFace::Instance();
  if (!cache || !face) return;
  const std::wstring& name = face->GetFaceName();
  static const struct { int id, size, style; } kFonts[] = {
      {1001, 8, 0},  {1002, 9, 0},  {1003, 12, 0}, {1004, 12, 4}, {1005, 12, 1},  {1006, 14, 0},
      {1007, 14, 4}, {1008, 14, 1}, {1009, 17, 0}, {1010, 16, 0}, {1011, 18, 0}, {1012, 22, 0}};
  for (const auto& f : kFonts) cache->RegisterFont(f.id, name, f.size, f.style);
  static const struct { int id, frames; } kImages[] = {
      {237, 3}, {238, 3}, {239, 8}, {240, 8}, {241, 3}, {242, 3}, {244, 1}, {245, 8}, {246, 1}, {247, 1},
      {248, 1}, {252, 1}, {300, 1}, {301, 3}, {302, 3}, {304, 3}, {305, 1}, {306, 1}, {307, 3}, {308, 8},
      {309, 8}, {310, 8}, {311, 8}, {312, 1}, {313, 1}, {314, 1}, {315, 1}, {316, 3}, {319, 1}, {320, 1},
      {321, 1}, {322, 1}, {323, 3}};
  for (const auto& i : kImages) cache->RegisterImage(i.id, static_cast<UINT>(i.id), i.frames);
  cache->RegisterCursor(1001, IDC_HAND, true);
}

GdiplusScope::GdiplusScope() {
  GdiplusStartupInput input;
  if (GdiplusStartup(&token_, &input, nullptr) != Ok) token_ = 0;
}
GdiplusScope::~GdiplusScope() {
  if (token_) GdiplusShutdown(token_);
}

// ---------------------------------------------------------------- drawing

void SetLayerTextAntiAlias(bool on) { g_text_anti_alias = on; }
bool GetLayerTextAntiAlias() { return g_text_anti_alias; }

void FillLayerRect(HDC hdc, const RECT& rect, COLORREF color, BYTE alpha) {
  LayerGraphics g(hdc);
  if (!g) return;
  SolidBrush brush(ToColor(color, alpha));
  g.get()->SetPixelOffsetMode(PixelOffsetModeNone);
  g.get()->FillRectangle(&brush, static_cast<INT>(rect.left), static_cast<INT>(rect.top),
                         static_cast<INT>(rect.right - rect.left), static_cast<INT>(rect.bottom - rect.top));
}

void DrawLayerText(HDC hdc, const wchar_t* text, const RECT& rect, Gdiplus::Font* font, COLORREF color,
                   DWORD format, BYTE alpha) {
  if (alpha == 0 || !text || !font) return;
  LayerGraphics g(hdc);
  if (!g) return;
  RectF layout(REAL(rect.left), REAL(rect.top), REAL(rect.right - rect.left), REAL(rect.bottom - rect.top));
  SolidBrush brush(ToColor(color, alpha));
  StringFormat fmt(0, LANG_NEUTRAL);
  ApplyFormat(fmt, format);
  if (format & kTextNoClip) fmt.SetFormatFlags(StringFormatFlagsNoClip);
  else if (format & kTextNoWrap) fmt.SetFormatFlags(StringFormatFlagsNoWrap);
  if (g_text_anti_alias) g.get()->SetTextRenderingHint(TextRenderingHintAntiAlias);
  g.get()->DrawString(text, -1, font, layout, &fmt, &brush);
}

void DrawLayerTextOutlined(HDC hdc, const wchar_t* text, const RECT& rect, Gdiplus::Font* font, COLORREF color,
                           COLORREF outline, DWORD format, BYTE alpha) {
  if (outline != static_cast<COLORREF>(-1)) {
    static const POINT kOffsets[] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    for (const POINT& o : kOffsets) {
      RECT r = rect;
      ::OffsetRect(&r, o.x, o.y);
      DrawLayerText(hdc, text, r, font, outline, format, alpha);
    }
  }
  DrawLayerText(hdc, text, rect, font, color, format, alpha);
}

SIZE MeasureLayerText(HDC hdc, const wchar_t* text, Gdiplus::Font* font, SIZE bounds, DWORD format) {
  SIZE result{0, 0};
  if (!text || !font) return result;
  win::WindowDc screen(nullptr);
  HDC dc = hdc ? hdc : screen.get();
  if (!dc) return result;
  Graphics g(dc);
  g.SetPageUnit(UnitPixel);
  StringFormat fmt(0, LANG_NEUTRAL);
  ApplyFormat(fmt, format);
  fmt.SetFormatFlags(StringFormatFlagsMeasureTrailingSpaces);
  RectF layout(0, 0, REAL(bounds.cx), REAL(bounds.cy));
  RectF box;
  if (g.MeasureString(text, -1, font, layout, &fmt, &box) != Ok) return result;
  result.cx = static_cast<LONG>(box.Width) + 1;
  result.cy = static_cast<LONG>(box.Height) + 1;
  return result;
}

void DrawImageNineGrid(HDC hdc, const CImage* image, const RECT& d, const RECT& c) {
  if (!image || !image->IsValid()) return;
  LayerGraphics g(hdc);
  if (!g) return;
  Bitmap* bmp = image->Bitmap();
  const int W = image->Width(), H = image->Height();
  const int R = W - c.right, B = H - c.bottom;
  const int dw = d.right - d.left, dh = d.bottom - d.top;
  Graphics* gr = g.get();
  DrawSlice(gr, bmp, d.left, d.top, c.left, c.top, 0, 0, c.left, c.top);
  DrawSlice(gr, bmp, d.right - R, d.top, R, c.top, c.right, 0, R, c.top);
  DrawSlice(gr, bmp, d.left + c.left, d.top, dw - R - c.left, c.top, c.left, 0, c.right - c.left, c.top);
  DrawSlice(gr, bmp, d.left, d.top + c.top, c.left, dh - c.top - B, 0, c.top, c.left, c.bottom - c.top);
  DrawSlice(gr, bmp, d.right - R, d.top + c.top, R, dh - c.top - B, c.right, c.top, R, c.bottom - c.top);
  DrawSlice(gr, bmp, d.left, d.bottom - B, c.left, B, 0, c.bottom, c.left, B);
  DrawSlice(gr, bmp, d.right - R, d.bottom - B, R, B, c.right, c.bottom, R, B);
  DrawSlice(gr, bmp, d.left + c.left, d.bottom - B, dw - R - c.left, B, c.left, c.bottom, c.right - c.left, B);
  DrawSlice(gr, bmp, d.left + c.left, d.top + c.top, dw - R - c.left, dh - B - c.top, c.left, c.top,
            c.right - c.left, c.bottom - c.top);
}

void DrawImageThreeSlice(HDC hdc, const CImage* image, const RECT& d, int cap1, int cap2, bool horizontal) {
  if (!image || !image->IsValid()) return;
  LayerGraphics g(hdc);
  if (!g) return;
  Bitmap* bmp = image->Bitmap();
  const int W = image->Width(), H = image->Height();
  if (horizontal) {
    const int len = d.right - d.left;
    DrawSlice(g.get(), bmp, d.left, d.top, cap1, H, 0, 0, cap1, H);
    DrawSlice(g.get(), bmp, d.left + cap1, d.top, len - cap1 - cap2, H, cap1, 0, W - cap1 - cap2, H);
    DrawSlice(g.get(), bmp, d.right - cap2, d.top, cap2, H, W - cap2, 0, cap2, H);
  } else {
    const int len = d.bottom - d.top;
    DrawSlice(g.get(), bmp, d.left, d.top, W, cap1, 0, 0, W, cap1);
    DrawSlice(g.get(), bmp, d.left, d.top + cap1, W, len - cap1 - cap2, 0, cap1, W, H - cap1 - cap2);
    DrawSlice(g.get(), bmp, d.left, d.bottom - cap2, W, cap2, 0, H - cap2, W, cap2);
  }
}

void DrawImageTiled(HDC hdc, const CImage* image, const RECT& d, int gap, bool horizontal) {
  if (!image || !image->IsValid()) return;
  LayerGraphics g(hdc);
  if (!g) return;
  const int W = image->Width(), H = image->Height();
  if (horizontal) {
    if (W + gap <= 0) return;
    for (int x = d.left; x <= d.right; x += W + gap) DrawSlice(g.get(), image->Bitmap(), x, d.top, W, H, 0, 0, W, H);
  } else {
    if (H + gap <= 0) return;
    for (int y = d.bottom - H; y >= d.top; y -= H + gap)
      DrawSlice(g.get(), image->Bitmap(), d.left, y, W, H, 0, 0, W, H);
  }
}
