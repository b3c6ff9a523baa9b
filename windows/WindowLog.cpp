#include "windows/WindowLog.h"

#include <cstdarg>
#include <cwchar>

#include "engine/UninstallTask.h"

void WindowLog(const wchar_t* format, ...) {
  if (!format) return;
  wchar_t line[512] = {};
  va_list args;
  va_start(args, format);
  ::_vsnwprintf(line, 511, format, args);  // a longer line is cut; line[511] stays 0
  va_end(args);
  if (IUninstallTask* task = GetUninstallTask()) task->WriteLog(line);
}
