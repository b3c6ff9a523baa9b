// The progress window's finish page and its report texts.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <ctime>

#include "layerui/LayerResource.h"
#include "windows/ProgressWnd.h"

namespace {

std::wstring DateText(time_t when, int hour) {
  tm local{};
  localtime_s(&local, &when);
  wchar_t text[32];
  swprintf(text, 32, L"%04d-%02d-%02d %02d:00:00", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, hour);
  return text;
}

TEST(FinishRules, DaysInstalledCountsLocalMidnights) {
  time_t now = ::time(nullptr);
  struct { std::wstring date; int days; } table[] = {
      {DateText(now, 23), 0},
      {DateText(now - 86400, 23), 1},
      {DateText(now - 10 * 86400, 0), 10},
      {L"", 0},
      {L"2023-05-01", 0},         // no time part: not six numbers
      {L"installed yesterday", 0},
  };
  for (const auto& row : table) EXPECT_EQ(finish_rules::DaysInstalled(row.date, now), row.days) << row.date;
}

TEST(FinishRules, InstallDateIsEscapedByteWiseAndPercentIsKept) {
  struct { const wchar_t* date; const wchar_t* escaped; } table[] = {
      {L"2023-05-01 12:34:56", L"2023-05-01%2012:34:56"},
      {L"a&b=c?d#e+f,g;h<i>j@k[l\\m]n^o`p{q|r}s\"t$u", L"a%26b%3dc%3fd%23e%2bf%2cg%3bh%3ci%3ej%40k%5bl%5cm%5dn%5eo%60p%7bq%7cr%7ds%22t%24u"},
      {L"50%", L"50%"},
      {L"\u4e2d\t", L"%e4%b8%ad%09"},
      {L"", L""},
  };
  for (const auto& row : table) EXPECT_EQ(finish_rules::EscapeInstallDate(row.date), row.escaped) << row.date;
  EXPECT_EQ(finish_rules::FinishReportExtra(3, L"2023-05-01%2012:34:56"), L"&ex1=3&ex2=2023-05-01%2012:34:56");
}

TEST(FinishRules, QuestionnaireAddressGetsAScheme) {
  EXPECT_EQ(finish_rules::QuestionnaireAddress(L"survey.example/q?id=1"), L"http://survey.example/q?id=1");
  EXPECT_EQ(finish_rules::QuestionnaireAddress(L"https://survey.example/q"), L"https://survey.example/q");
  EXPECT_EQ(finish_rules::QuestionnaireAddress(L"www.example/http-form"), L"www.example/http-form");
}

// A hidden window that records the dialogue notifications it receives.
struct NotifySink {
  static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_FLOW_NOTIFY) last = static_cast<int>(w) * 10 + static_cast<int>(l), ++count;
    return DefWindowProcW(wnd, msg, w, l);
  }
  static inline int last = -1, count = 0;
};

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

bool Visible(CProgressWnd& wnd, int id) {
  ILayerControl* c = wnd.GetRootView()->FindChild(id);
  return c && c->IsVisible();
}

TEST(ProgressWindow, ClosingIsRefusedUntilTheFinishPageThenEndsTheDialogue) {
  GdiplusScope gdiplus;
  UIFontFace::Instance()->ChooseFace();
  ResInitializer resources;
  WNDCLASSW cls{};
  cls.lpfnWndProc = &NotifySink::Proc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = L"ProgressNotifySink";
  RegisterClassW(&cls);
  HWND sink = CreateWindowW(L"ProgressNotifySink", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
  ASSERT_TRUE(sink);

  CProgressWnd wnd;
  wnd.SetNotifyWnd(sink);
  ASSERT_TRUE(wnd.CreateLayer(nullptr));
  RECT r{};
  GetWindowRect(wnd.GetHWnd(), &r);
  EXPECT_EQ(r.right - r.left, CProgressWnd::kWidth);
  EXPECT_EQ(r.bottom - r.top, CProgressWnd::kHeight);
  EXPECT_TRUE(GetWindowLongW(wnd.GetHWnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
  ShowWindow(wnd.GetHWnd(), SW_SHOWNORMAL);

  wnd.OnStart();
  wnd.OnProgress(42);
  auto* bar = static_cast<CLayerProgress*>(wnd.GetRootView()->FindChild(CProgressWnd::kProgressId));
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->GetPos(), 42u);

  SendMessageW(wnd.GetHWnd(), WM_CLOSE, 0, 0);
  SendMessageW(wnd.GetHWnd(), WM_COMMAND, CProgressWnd::kCloseId, 0);
  Pump();
  EXPECT_TRUE(IsWindowVisible(wnd.GetHWnd()));
  EXPECT_EQ(NotifySink::count, 0);

  EXPECT_EQ(wnd.EndEvent(), nullptr);
  wnd.OnFinish();  // no questionnaire address: the thank-you page
  EXPECT_TRUE(wnd.Finished());
  EXPECT_FALSE(Visible(wnd, CProgressWnd::kProgressId));
  EXPECT_FALSE(Visible(wnd, CProgressWnd::kStatusId));
  EXPECT_TRUE(Visible(wnd, CProgressWnd::kDoneId));
  EXPECT_TRUE(Visible(wnd, CProgressWnd::kThanksId));
  ASSERT_NE(wnd.EndEvent(), nullptr);
  EXPECT_EQ(WaitForSingleObject(wnd.EndEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  // The uninstall date is written as the product's tools read it: no terminating zero.
  DWORD type = 0, size = 0;
  ASSERT_EQ(SHGetValueW(HKEY_CURRENT_USER, L"Software\\orbWallPaperEver", L"unistdate", &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 19 * sizeof(wchar_t));

  SendMessageW(wnd.GetHWnd(), WM_CLOSE, 0, 0);
  Pump();
  EXPECT_FALSE(IsWindowVisible(wnd.GetHWnd()));
  EXPECT_EQ(NotifySink::count, 1);
  EXPECT_EQ(NotifySink::last, 40);

  wnd.OnUninstallEnd();
  EXPECT_EQ(WaitForSingleObject(wnd.EndEvent(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
  wnd.DestroyWnd();
  DestroyWindow(sink);
}

}  // namespace
