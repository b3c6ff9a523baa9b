#pragma once
// The progress and finish window: starts the uninstall, moves its bar with the engine's
// progress and, when the engine has finished, shows the thank-you page or the invitation to
// the questionnaire. In a silent run it creates no window but still starts the uninstall and
// tells its notify window when the engine has finished.
#include <windows.h>

#include <ctime>
#include <string>

#include "common/UniqueHandle.h"
#include "engine/IUninstallTask.h"
#include "layerui/LayerControls.h"
#include "layerui/LayerWindow.h"

class CProgressWnd : public CLayerWindowBase<CProgressWnd, CLayeredWinTraits>,
                     public IBaseWnd,
                     public IUninstallCallback {
  using Base = CLayerWindowBase<CProgressWnd, CLayeredWinTraits>;

 public:
  DECLARE_WND_CLASS(L"orbWallPaperProgressWnd")
  static constexpr int kWidth = 542, kHeight = 255;
  enum ControlId {
    kCloseId = 1000, kProgressId = 1001, kStatusId = 1002, kDoneId = 1003, kThanksId = 1004,
    kDeclineId = 1005, kAcceptId = 1006
  };

  // IBaseWnd
  void ShowWnd() override;
  void HideWnd() override;
  void SetNotifyWnd(HWND wnd) override { notify_ = wnd; }
  void SetPosParent(HWND wnd) override { pos_parent_ = wnd; }
  void DestroyWnd() override;

  // IUninstallCallback
  void OnStart() override;
  void OnProgress(int percent) override;
  void OnFinish() override;
  void OnUninstallEnd() override;

  // Created when the engine finishes, set once its last callback has run; null before.
  HANDLE EndEvent() const { return end_event_.get(); }
  bool Finished() const { return finished_ != 0; }

  BEGIN_MSG_MAP(CProgressWnd)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    MESSAGE_HANDLER(WM_CLOSE, OnCloseMsg)
    CHAIN_MSG_MAP(Base)
  END_MSG_MAP()

 protected:
  void OnLayerCreate() override;
  void DrawBackground(HDC hdc, RECT rect) override;

 private:
  LRESULT OnCommand(UINT, WPARAM w, LPARAM, BOOL&);
  LRESULT OnCloseMsg(UINT, WPARAM, LPARAM, BOOL&);
  void CreateControls();
  void CreateInvitationGroup();
  void EndDialogue();
  void OpenQuestionnaire();

  HWND pos_parent_ = nullptr;
  HWND notify_ = nullptr;
  int finished_ = 0;
  CLayerControlGroup* invitation_ = nullptr;
  win::UniqueHandle end_event_;
  std::wstring install_date_;
};

// The finish page's report, free of window and registry code.
namespace finish_rules {
// Whole days from the local midnight of the install day to the local midnight of `now`;
// 0 when the date does not read as "%04d-%02d-%02d %02d:%02d:%02d".
int DaysInstalled(const std::wstring& install_date, time_t now);
// The date as UTF-8 with blanks, controls, non-ASCII bytes and URL delimiters written as
// "%xx" (lower-case); the percent sign itself is kept.
std::wstring EscapeInstallDate(const std::wstring& install_date);
// "&ex1=%d&ex2=%s".
std::wstring FinishReportExtra(int days, const std::wstring& escaped_date);
// The questionnaire address as it is opened: "http://" in front unless it holds "http".
std::wstring QuestionnaireAddress(const std::wstring& url);
}  // namespace finish_rules
