#include "engine/RunProgram.h"

#include <shellapi.h>
#include <cwchar>

#include "common/UniqueHandle.h"
#include "engine/Signature.h"

bool RunProgram(const wchar_t* path, const wchar_t* parameters, int show, bool verify, bool wait,
                DWORD* exit_code, DWORD timeout_ms) {
  if (!path || !*path || std::wcslen(path) > MAX_PATH) return false;
  if (::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return false;

  wchar_t quoted[1024] = {};
  std::swprintf(quoted, 1024, L"\"%ls\"", path);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = quoted;
  info.lpParameters = parameters;
  info.nShow = show;

  if (verify && !IsSignedByMaker(path)) return false;

  bool started = ::ShellExecuteExW(&info) != FALSE;
  win::UniqueHandle process(started ? info.hProcess : nullptr);
  if (started && wait && process) ::WaitForSingleObject(process.get(), timeout_ms);
  if (exit_code) {
    if (!started) return false;
    if (!process || !::GetExitCodeProcess(process.get(), exit_code)) *exit_code = 0;
  }
  return started;
}
