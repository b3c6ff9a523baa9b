// Process entry of Uninstall.exe: the first instance relaunches a copy of itself from the
// temporary directory; the copy (second instance) does the work.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>  // PROPID, which the GDI+ headers use
#include <gdiplus.h>

#include <clocale>
#include <string>

#include "engine/FileRemoval.h"
#include "engine/Signature.h"
#include "engine/UninstallTask.h"
#include "identity/Mid2.h"
#include "services/ServiceRequests.h"
#include "services/Statistic.h"
#include "startup/CommandParser.h"
#include "startup/EntrySeams.h"
#include "startup/EntrySequence.h"
#include "startup/InstanceMutex.h"
#include "startup/ProductRestore.h"
#include "startup/Relaunch.h"
#include "startup/SmartLogger.h"
#include "winframe/MessageLoop.h"

namespace {

std::wstring LogDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = ::GetTempPathW(MAX_PATH, buffer);
  return (length && length < MAX_PATH) ? std::wstring(buffer, length) : std::wstring();
}

// What the start-up acquired, released in the order the shutdown wants.
struct EntryState {
  bool com = false;
  bool gdiplus = false;
  ULONG_PTR gdiplus_token = 0;
};

void Shutdown(EntryState& state) {
  ProcessInstanceMutex().CloseAll();
  ReleaseUiResources();
  wf::_Module.Term();
  if (state.com) ::CoUninitialize();
  if (state.gdiplus) Gdiplus::GdiplusShutdown(state.gdiplus_token);
  state = EntryState();
}

void SetStatisticVersion(const std::wstring& install_dir) {
  CStatistic* statistic = CStatistic::Instance();
  if (!statistic) return;
  statistic->SetAppVersionFromFile(JoinPath(install_dir, L"vantel.exe").c_str());
}

// Steps 10: the first instance, started from the install directory.
void RunFirstInstance(const std::wstring& arguments) {
  if (CStatistic* statistic = CStatistic::Instance()) statistic->SetType(L"tarvo");
  std::wstring install_dir;
  if (ReadInstallDirectory(install_dir) && PathIsDirectory(install_dir)) SetStatisticVersion(install_dir);
  if (!RelaunchFromTemp(arguments)) OfferReinstall();
}

// Init failures report asynchronously; the pause lets the report leave before the exit.
void ReportInitFailure(const std::wstring& extra) {
  if (CStatistic* statistic = CStatistic::Instance()) statistic->Report(L"unist_init_fail", extra.c_str(), false);
  ::Sleep(3000);
}

// Steps 11-25: the copy in the temporary directory.
void RunSecondInstance(HINSTANCE instance, CCommandParser* command_line) {
  std::wstring install_dir;
  if (!ReadInstallDirectory(install_dir) || !PathIsDirectory(install_dir)) {
    ShowEntryMessage(entry::kBrokenUninstallerText, kEntryBoxOk);
    return;
  }
  IUninstallTask* task = GetUninstallTask();
  task->SetInstallDir(install_dir.c_str());
  SetStatisticVersion(install_dir);

  std::wstring own_dir = RunningExeDirectory();
  ::SetCurrentDirectoryW(own_dir.c_str());

  if (command_line->HasSwitch(L"/K")) {
    RunRestoreMode();
  } else {
    LoadServiceBinding(own_dir, &IsSignedByMaker);
    if (UninstallFeedbackConfig* feedback = UninstallFeedbackConfig::Instance()) feedback->RequestOptions();

    CStatistic* statistic = CStatistic::Instance();
    if (statistic) statistic->SetType(L"tarvo");
    SetStatisticVersion(install_dir);
    SetServiceVersions(statistic ? statistic->app_version() : std::wstring(), ServiceModuleVersion());
    if (statistic) statistic->Report(L"uninstall_1", nullptr, false);

    if (int code = static_cast<int>(task->PreInitCheck())) {
      LogPrintf(L"pre init check failed, ret = %d", code);
      ShowEntryMessage(entry::PreInitFailureText(code).c_str(), kEntryBoxOk);
      ReportInitFailure(entry::PreInitFailureExtra(code));
      return;
    }
    if (!task->InitConfig(instance, 209, L"SETUPCONFIG", L"tarvo.mvkprj")) {
      LogPrintf(L"init config failed, exit");
      OfferReinstall();
      ReportInitFailure(std::wstring(entry::kInitFailureKey) + L"InitConfigFaile");
      return;
    }
    if (command_line->IsSilent() && statistic) statistic->ReportAs(L"tarvo", L"silent_uninstall", nullptr, false);

    RunMainWindow(instance);

    if (UninstallFeedbackConfig* feedback = UninstallFeedbackConfig::Instance()) feedback->Close();
  }
  // The running executable cannot go now; it is scheduled for the next restart, and so is the
  // directory, which is empty by then.
  PurgeTree(own_dir.c_str());
  std::wstring own_dir_name = own_dir.substr(0, own_dir.find_last_not_of(L'\\') + 1);
  if (PathIsDirectory(own_dir_name) && !::RemoveDirectoryW(own_dir_name.c_str()))
    ScheduleDeleteAtRestart(own_dir_name.c_str());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  EntryState state;
  state.com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  ::_wsetlocale(LC_ALL, L"chs");
  wf::_Module.Init(instance);

  ProcessLog().SetLogPath(LogDirectory() + L"tarvo_uninst.log");
  SetMid2Source(&GetMid2);

  CCommandParser* command_line = CCommandParser::Instance();
  std::wstring arguments = entry::ArgumentsOfCommandLine(::GetCommandLineW());
  if (command_line) command_line->Parse(arguments);
  LogPrintf(L"uninstaller started, command line: %s", arguments.c_str());

  if (!command_line || !IsLegalCall()) {
    LogPrintf(L"illegal call");
    return 0;
  }

  Gdiplus::GdiplusStartupInput gdiplus_input;
  state.gdiplus = Gdiplus::GdiplusStartup(&state.gdiplus_token, &gdiplus_input, nullptr) == Gdiplus::Ok;
  InitUiResources();
  SetEntryMessagesSuppressed(command_line->IsSilent());

  if (CheckSingleInstance()) {
    if (!command_line->HasSwitch(entry::kReadyUninstall)) {
      RunFirstInstance(arguments);
    } else {
      RunSecondInstance(instance, command_line);
    }
  }
  Shutdown(state);
  return 0;
}
