#include "windows/SilentUninstall.h"

#include "engine/UninstallTask.h"
#include "layerui/LayerWindowDefs.h"
#include "windows/ProgressWnd.h"
#include "winframe/MessageLoop.h"
#include "winframe/Window.h"

namespace {

// The end of the report may take long on a slow network; past this the process goes anyway.
const DWORD kEndWaitMs = 1200000;

// Receives the progress window's notification and ends the run the way the main window
// ends an interactive one: wait for the engine's last callback, detach, quit.
class CSilentFlowWnd : public wf::CWindowImpl<CSilentFlowWnd> {
 public:
  DECLARE_WND_CLASS(L"orbWallPaperSilentFlowWnd")
  explicit CSilentFlowWnd(CProgressWnd* progress) : progress_(progress) {}

  BEGIN_MSG_MAP(CSilentFlowWnd)
    MESSAGE_HANDLER(WM_FLOW_NOTIFY, OnFlowNotify)
  END_MSG_MAP()

 private:
  LRESULT OnFlowNotify(UINT, WPARAM, LPARAM, BOOL&) {
    if (HANDLE end = progress_->EndEvent()) ::WaitForSingleObject(end, kEndWaitMs);
    if (IUninstallTask* task = GetUninstallTask()) task->DetachCallback();
    ::DestroyWindow(m_hWnd);
    ::PostQuitMessage(0);
    return 0;
  }

  CProgressWnd* progress_;
};

}  // namespace

void RunSilentUninstall() {
  wf::CMessageLoop loop;
  wf::_Module.AddMessageLoop(&loop);
  CProgressWnd progress;
  CSilentFlowWnd flow(&progress);
  if (flow.Create(HWND_MESSAGE, nullptr, L"", 0)) {
    progress.SetNotifyWnd(flow.m_hWnd);
    progress.ShowWnd();
    loop.Run();
  }
  wf::_Module.RemoveMessageLoop();
}
