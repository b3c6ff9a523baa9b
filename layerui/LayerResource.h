#pragma once
// Process-wide drawing resources of the layered UI (fonts, PNG images, cursors) and the
// stateless drawing operations controls use while painting into a window's 32-bit bitmap.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <map>
#include <memory>
#include <string>
#include "startup/Singleton.h"

// A decoded image holding a horizontal strip of equally wide frames.
class CImage {
 public:
  explicit CImage(int frames = 1) : frames_(frames) {}
  CImage(const CImage&) = delete;
  CImage& operator=(const CImage&) = delete;

  bool LoadFromResource(UINT id, HMODULE module, const wchar_t* type);
  bool LoadFromFile(const std::wstring& path);
  void DrawFrame(HDC hdc, int x, int y, int w, int h, int frame) const;
  void DrawPart(HDC hdc, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const;

  int Width() const { return width_; }
  int Height() const { return height_; }
  int FrameCount() const { return frames_ > 0 ? frames_ : 1; }
  int FrameWidth() const { return width_ / FrameCount(); }
  bool IsValid() const { return bitmap_ && width_ != 0 && height_ != 0; }
  Gdiplus::Bitmap* Bitmap() const { return bitmap_.get(); }

 private:
  bool Adopt(std::unique_ptr<Gdiplus::Bitmap> bitmap);
  std::unique_ptr<Gdiplus::Bitmap> bitmap_;
  int width_ = 0;
  int height_ = 0;
  int frames_ = 1;
};

class LayerResourceCache : public CSingletonT<LayerResourceCache> {
 public:
  bool RegisterFont(int id, const std::wstring& face, int size, int style);
  bool RegisterImage(int id, UINT resource_id, int frames);
  bool RegisterImageFile(int id, const std::wstring& path, int frames);
  // name: a resource name of this module, or (system) a predefined cursor id.
  bool RegisterCursor(int id, const wchar_t* name, bool system);

  Gdiplus::Font* GetFont(int id);
  CImage* GetImage(int id, HMODULE module);
  HCURSOR GetCursor(int id);
  void ReleaseResources();

 private:
  friend class CSingletonT<LayerResourceCache>;
  LayerResourceCache() = default;
  struct FontEntry { std::wstring face; int size; int style; bool loaded; std::unique_ptr<Gdiplus::Font> font; };
  struct ImageEntry { UINT resource_id; std::wstring path; int frames; bool loaded; std::unique_ptr<CImage> image; };
  struct CursorEntry { const wchar_t* name; bool system; HCURSOR cursor; };
  std::map<int, FontEntry> fonts_;
  std::map<int, ImageEntry> images_;
  std::map<int, ImageEntry> file_images_;
  std::map<int, CursorEntry> cursors_;
};

// The one UI face of the program, chosen at start-up from six candidates.
class UIFontFace : public CSingletonT<UIFontFace> {
 public:
  void ChooseFace();
  const std::wstring& GetFaceName() const { return face_; }
  HFONT GetGdiFont() const { return font_; }
  int FoundFlags() const { return found_; }
  // The face for a set of found-family flags: the most preferred candidate found.
  static const wchar_t* FaceForFlags(int flags);
  static const wchar_t* const kCandidates[6];

 private:
  friend class CSingletonT<UIFontFace>;
  UIFontFace() = default;
  static int CALLBACK EnumProc(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM self);
  HFONT font_ = nullptr;  // lives for the whole process
  std::wstring face_;
  int found_ = 0;
};

// Registers every font, image and cursor id of the program with the cache.
class ResInitializer {
 public:
  ResInitializer();
};

// GDI+ for the lifetime of the object.
class GdiplusScope {
 public:
  GdiplusScope();
  ~GdiplusScope();
  GdiplusScope(const GdiplusScope&) = delete;
  GdiplusScope& operator=(const GdiplusScope&) = delete;
  bool ok() const { return token_ != 0; }
 private:
  ULONG_PTR token_ = 0;
};

// Text format bits.
constexpr DWORD kTextVCenter = 0x1, kTextBottom = 0x2, kTextHCenter = 0x10, kTextRight = 0x20,
                kTextEllipsisChar = 0x100, kTextEllipsisWord = 0x200, kTextNoClip = 0x400,
                kTextNoWrap = 0x1000;

// Process-wide switch for anti-aliased text (on by default: the frames are composed on
// alpha surfaces, where ClearType-style hints do not apply).
void SetLayerTextAntiAlias(bool on);
bool GetLayerTextAntiAlias();

void FillLayerRect(HDC hdc, const RECT& rect, COLORREF color, BYTE alpha);
void DrawLayerText(HDC hdc, const wchar_t* text, const RECT& rect, Gdiplus::Font* font, COLORREF color,
                   DWORD format, BYTE alpha);
void DrawLayerTextOutlined(HDC hdc, const wchar_t* text, const RECT& rect, Gdiplus::Font* font, COLORREF color,
                           COLORREF outline, DWORD format, BYTE alpha);
SIZE MeasureLayerText(HDC hdc, const wchar_t* text, Gdiplus::Font* font, SIZE bounds, DWORD format);
void DrawImageNineGrid(HDC hdc, const CImage* image, const RECT& dest, const RECT& centre);
void DrawImageThreeSlice(HDC hdc, const CImage* image, const RECT& dest, int cap1, int cap2, bool horizontal);
void DrawImageTiled(HDC hdc, const CImage* image, const RECT& dest, int gap, bool horizontal);
