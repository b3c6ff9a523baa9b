// A program of the product as the uninstaller sees it: it records its command line and, as
// its control file says, shows a top-level window of a given class (recording the messages
// the uninstaller sends it), stays running, lingers, or exits with a given code.
//
//   window=<class>   create a top-level window of that class
//   stay=1           keep running until terminated (close requests are only recorded)
//   linger=<ms>      wait that long before exiting
//   reply_delay=<ms> take that long to answer a close request
//   exit=<code>      exit code
#include <windows.h>

#include <string>

#include "product/components/Journal.h"

namespace {

UINT g_quit_message = 0;
bool g_stay = false;
int g_reply_delay = 0;

std::wstring Hex(WPARAM value) {
  wchar_t text[32];
  wsprintfW(text, L"0x%lX", static_cast<unsigned long>(value));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == g_quit_message && g_quit_message != 0) {
    component::Journal(L"quit", {ClassOf(hwnd)});
    return 0;
  }
  switch (msg) {
    case WM_CLOSE:
    case WM_QUIT:
    case WM_COMMAND:
      component::Journal(L"msg", {ClassOf(hwnd), std::to_wstring(msg), Hex(wp), Hex(static_cast<WPARAM>(lp))});
      if (g_reply_delay > 0) Sleep(g_reply_delay);
      if (!g_stay) DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  component::Journal(L"exe", {GetCommandLineW()});
  g_stay = component::ControlInt(L"stay", 0) != 0;
  g_reply_delay = component::ControlInt(L"reply_delay", 0);
  int linger = component::ControlInt(L"linger", 0);
  int exit_code = component::ControlInt(L"exit", 0);
  std::wstring window_class = component::Control(L"window");

  if (!window_class.empty()) {
    g_quit_message = RegisterWindowMessageW(L"orbwallpaper_quit");
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = window_class.c_str();
    if (RegisterClassW(&wc) &&
        CreateWindowExW(0, window_class.c_str(), window_class.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                        nullptr, instance, nullptr)) {
      component::Journal(L"window", {window_class});
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      // A window asked to stay outlives its message loop only when terminated.
      while (g_stay) Sleep(1000);
    }
  } else if (g_stay) {
    for (;;) Sleep(1000);
  }
  if (linger > 0) Sleep(linger);
  component::Journal(L"exit", {std::to_wstring(exit_code)});
  return exit_code;
}
