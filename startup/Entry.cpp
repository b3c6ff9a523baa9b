// Process entry of Uninstall.exe.
#include <windows.h>
#include <commctrl.h>
#include <clocale>
#include <string>

#include "common/ComPtr.h"
#include "config/SetupConfig.h"
#include "startup/CommandParser.h"
#include "startup/SmartLogger.h"
#include "winframe/MessageLoop.h"

namespace {

std::wstring TempDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = ::GetTempPathW(MAX_PATH, buffer);
  return (length && length < MAX_PATH) ? std::wstring(buffer, length) : std::wstring();
}

// The part of the process command line after the program name.
std::wstring ArgumentsOfCommandLine(const wchar_t* line) {
  const wchar_t* p = line;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  win::ComInitScope com(COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  ::_wsetlocale(LC_ALL, L"chs");
  wf::_Module.Init(instance);

  ProcessLog().SetLogPath(TempDirectory() + L"tarvo_uninst.log");

  CCommandParser* command_line = CCommandParser::Instance();
  std::wstring arguments = ArgumentsOfCommandLine(::GetCommandLineW());
  if (command_line) command_line->Parse(arguments);
  LogPrintf(L"uninstaller started, command line: %s", arguments.c_str());

  // Second instance: the archive library beside the executable, then the embedded configuration.
  if (command_line && command_line->HasSwitch(L"/READYUNINSTALL")) {
    if (int code = RunPreInitLibraryCheck()) {
      LogPrintf(L"pre init check failed, ret = %d", code);
    } else if (!LoadSetupConfiguration(instance)) {
      LogPrintf(L"init config failed, exit");
    }
  }

  wf::_Module.Term();
  return 0;
}
