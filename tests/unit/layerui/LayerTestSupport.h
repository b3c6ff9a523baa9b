#pragma once
// A top-down 32-bit DIB to paint control trees into, and a window stand-in that records what
// controls ask of it.
#include <windows.h>
#include <string>
#include <vector>
#include "common/UniqueHandle.h"
#include "layerui/LayerWindowDefs.h"

struct Surface {
  Surface(int w, int h) : width(w), height(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* p = nullptr;
    bitmap.reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0));
    bits = static_cast<DWORD*>(p);
    dc.reset(::CreateCompatibleDC(nullptr));
    old = ::SelectObject(dc.get(), bitmap.get());
  }
  ~Surface() { ::SelectObject(dc.get(), old); }
  // 0xAARRGGBB (premultiplied) at x, y.
  DWORD At(int x, int y) { ::GdiFlush(); return bits[y * width + x]; }
  DWORD Rgb(int x, int y) { return At(x, y) & 0xFFFFFF; }
  int width, height;
  DWORD* bits = nullptr;
  win::UniqueGdiObject bitmap;
  win::UniqueMemoryDc dc;
  HGDIOBJ old = nullptr;
};

class FakeLayerWindow : public ILayerWindow {
 public:
  struct Posted { UINT msg; WPARAM w; LPARAM l; };
  int GetShowBounds() override { return 0; }
  int SetShowBounds(BOOL) override { return 1; }
  HWND GetHWnd() override { return nullptr; }
  int ShowToolTip(BOOL show, const std::wstring& text) override { tips.push_back(show ? text : L"<hidden>"); return 1; }
  int SetLayerTimer(UINT, UINT) override { return 1; }
  int KillLayerTimer(UINT) override { return 1; }
  int PostLayerMessage(UINT msg, WPARAM w, LPARAM l) override { posted.push_back({msg, w, l}); return 1; }
  int SendLayerMessage(UINT, WPARAM, LPARAM) override { return 0; }
  int InvalidateLayer(RECT* rect, BOOL) override {
    invalidated.push_back(rect ? *rect : RECT{-1, -1, -1, -1});
    delete rect;
    return 1;
  }
  std::vector<int> CommandIds() const {
    std::vector<int> ids;
    for (const auto& p : posted) if (p.msg == WM_COMMAND) ids.push_back(LOWORD(p.w));
    return ids;
  }
  std::vector<Posted> posted;
  std::vector<RECT> invalidated;
  std::vector<std::wstring> tips;
};
