#include "engine/PluginTask.h"

#include "common/UniqueHandle.h"
#include "engine/RunProgram.h"
#include "startup/SmartLogger.h"

namespace {

const wchar_t kLauncherKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VOVAzevaroraRezezi.exe";
const DWORD kLauncherWaitMs = 3000;

std::wstring ReadLauncherPath() {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLauncherKey, 0, KEY_READ | KEY_WOW64_32KEY, &raw) != ERROR_SUCCESS)
    return std::wstring();
  win::UniqueKey key(raw);
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD type = 0, size = MAX_PATH * sizeof(wchar_t);
  if (RegQueryValueExW(key.get(), L"Launcher", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return std::wstring();
  buffer[MAX_PATH] = L'\0';
  return std::wstring(buffer, wcsnlen(buffer, size / sizeof(wchar_t)));
}

}  // namespace

bool CPluginTask::StartTask(const wchar_t* install_dir) {
  install_dir_ = install_dir ? install_dir : L"";
  std::wstring settings = install_dir_ + L"\\config.set";
  wchar_t parameters[MAX_PATH] = {};
  GetPrivateProfileStringW(L"plugin_xd", L"uninstall_cmd_param", L"", parameters, MAX_PATH, settings.c_str());
  parameters_ = parameters;
  // The registry is only consulted when the plugin left something to run.
  if (!parameters_.empty()) launcher_ = ReadLauncherPath();

  bool started = false;
  DWORD code = static_cast<DWORD>(-1);
  if (!launcher_.empty()) {
    started = RunProgram(launcher_.c_str(), parameters_.c_str(), SW_SHOWNORMAL, false, true, &code, kLauncherWaitMs);
  }
  LogPrintf(L"CPluginTask::StartTask result=%d code=%d", started ? 1 : 0, static_cast<int>(code));
  return started;
}
