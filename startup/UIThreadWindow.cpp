#include "startup/UIThreadWindow.h"

namespace {
CUIThreadWindow* g_ui_thread_window = nullptr;
}

bool CreateUIThreadWindow() {
  if (g_ui_thread_window && g_ui_thread_window->IsWindow()) return true;
  // Lives until the process ends, like the UI thread it serves.
  static CUIThreadWindow window;
  g_ui_thread_window = &window;
  return window.Create(nullptr, nullptr, L"", WS_POPUP) != nullptr;
}

void RunOnUIThread(ISimpleBind* call) {
  if (!g_ui_thread_window || !g_ui_thread_window->IsWindow()) return;
  ::SendMessageW(*g_ui_thread_window, CUIThreadWindow::kCallNow, reinterpret_cast<WPARAM>(call), 0);
}
