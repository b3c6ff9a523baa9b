#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "winframe/MessageLoop.h"
#include "winframe/Window.h"

namespace {

constexpr UINT kPing = WM_APP + 1;
constexpr UINT kPong = WM_APP + 2;
constexpr UINT kPassOn = WM_APP + 3;

// A chained base map: handles kPong, and anything the derived map passes on.
class BaseHandlers : public wf::CMessageMap {
 public:
  BEGIN_MSG_MAP(BaseHandlers)
    MESSAGE_HANDLER(kPong, OnPong)
    MESSAGE_HANDLER(kPassOn, OnPassOn)
  END_MSG_MAP()
  LRESULT OnPong(UINT, WPARAM w, LPARAM, BOOL&) { log.push_back(L"base pong"); return w * 2; }
  LRESULT OnPassOn(UINT, WPARAM, LPARAM, BOOL&) { log.push_back(L"base passon"); return 5; }
  std::vector<std::wstring> log;
};

class TestWindow : public wf::CWindowImpl<TestWindow>, public BaseHandlers {
 public:
  DECLARE_WND_CLASS(L"WinframeTestWindow")
  BEGIN_MSG_MAP(TestWindow)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(kPing, OnPing)
    MESSAGE_HANDLER(kPassOn, OnPassOn)
    COMMAND_ID_HANDLER(IDOK, OnOk)
    CHAIN_MSG_MAP(BaseHandlers)
  END_MSG_MAP()

  LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) { created_hwnd = m_hWnd; return 0; }
  LRESULT OnPing(UINT, WPARAM w, LPARAM l, BOOL&) { last_ping = static_cast<int>(w + l); return 77; }
  LRESULT OnPassOn(UINT, WPARAM, LPARAM, BOOL& handled) { handled = FALSE; log.push_back(L"derived passon"); return 0; }
  LRESULT OnOk(WORD, WORD id, HWND, BOOL&) { command_id = id; return 0; }
  void OnFinalMessage(HWND) override { final_called = true; }

  HWND created_hwnd = nullptr;
  int last_ping = 0;
  int command_id = 0;
  bool final_called = false;
};

TEST(WindowImpl, MessagesReachTheirHandlersAndChainedMaps) {
  TestWindow window;
  ASSERT_NE(window.Create(nullptr, nullptr, L"t", WS_POPUP), nullptr);
  EXPECT_EQ(window.created_hwnd, window.m_hWnd);
  EXPECT_EQ(window.SendMessage(kPing, 3, 4), 77);
  EXPECT_EQ(window.last_ping, 7);
  EXPECT_EQ(window.SendMessage(kPong, 21), 42);
  EXPECT_EQ(window.SendMessage(kPassOn), 5);  // derived declines, base answers
  EXPECT_EQ(window.log, (std::vector<std::wstring>{L"base pong", L"derived passon", L"base passon"}));
  window.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(window.command_id, IDOK);
  // Unhandled messages get the default procedure.
  EXPECT_EQ(window.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"title")), TRUE);
  wchar_t text[16];
  ::GetWindowTextW(window, text, 16);
  EXPECT_STREQ(text, L"title");
  window.DestroyWindow();
  EXPECT_TRUE(window.final_called);
  EXPECT_EQ(window.m_hWnd, nullptr);
}

class CountingFilter : public wf::CMessageFilter {
 public:
  BOOL PreTranslateMessage(MSG* msg) override {
    if (msg->message == kPing) { ++swallowed; return TRUE; }
    return FALSE;
  }
  int swallowed = 0;
};

class QuitWhenIdle : public wf::CIdleHandler {
 public:
  BOOL OnIdle() override {
    if (++idles == 1) ::PostQuitMessage(9);
    return FALSE;
  }
  int idles = 0;
};

TEST(MessageLoop, FiltersSeeMessagesFirstAndIdleHandlersRun) {
  TestWindow window;
  ASSERT_NE(window.Create(nullptr, nullptr, L"t", WS_POPUP), nullptr);
  wf::CMessageLoop loop;
  ASSERT_TRUE(wf::_Module.AddMessageLoop(&loop));
  EXPECT_EQ(wf::_Module.GetMessageLoop(), &loop);
  CountingFilter filter;
  QuitWhenIdle idle;
  EXPECT_TRUE(loop.AddMessageFilter(&filter));
  EXPECT_FALSE(loop.AddMessageFilter(&filter));
  EXPECT_TRUE(loop.AddIdleHandler(&idle));
  window.PostMessage(kPing, 1, 1);  // swallowed by the filter
  window.PostMessage(kPong, 1);     // dispatched
  EXPECT_EQ(loop.Run(), 9);
  EXPECT_EQ(filter.swallowed, 1);
  EXPECT_EQ(window.last_ping, 0);
  EXPECT_EQ(window.log, (std::vector<std::wstring>{L"base pong"}));
  EXPECT_GE(idle.idles, 1);
  EXPECT_TRUE(wf::_Module.RemoveMessageLoop());
  EXPECT_EQ(wf::_Module.GetMessageLoop(), nullptr);
  window.DestroyWindow();
}

class TestDialog : public wf::CDialogImpl<TestDialog> {
 public:
  enum { IDD = 100 };
  BEGIN_MSG_MAP(TestDialog)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDOK, OnOk)
  END_MSG_MAP()
  LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    initialised = true;
    ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
  }
  LRESULT OnOk(WORD, WORD, HWND, BOOL&) { EndDialog(1234); return 0; }
  bool initialised = false;
};

TEST(DialogImpl, ModalDialogRoutesToItsMapAndReturnsTheEndCode) {
  TestDialog dialog;
  EXPECT_EQ(dialog.DoModal(nullptr), 1234);
  EXPECT_TRUE(dialog.initialised);
}

}  // namespace
