#include "layerui/LayerWindow.h"

namespace layer_detail {

DWORD OsMajorVersion() {
  static DWORD major = [] {
    OSVERSIONINFOW info{sizeof(info)};
    using Fn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto fn = ntdll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion"))) : nullptr;
    return fn && fn(&info) == 0 ? info.dwMajorVersion : 6ul;
  }();
  return major;
}

HBITMAP CreateRenderBitmap(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP bm{};
  if (!::GetObjectW(bitmap, sizeof(bm), &bm)) return SIZE{0, 0};
  return SIZE{bm.bmWidth, bm.bmHeight};
}

}  // namespace layer_detail
