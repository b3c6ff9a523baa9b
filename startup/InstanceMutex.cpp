#include "startup/InstanceMutex.h"

#include "startup/EntrySeams.h"
#include "startup/EntrySequence.h"
#include "startup/SmartLogger.h"

bool CInstanceMutex::Create(const wchar_t* name) {
  win::UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, name));
  DWORD error = ::GetLastError();
  if (!mutex) return false;
  if (error == ERROR_ALREADY_EXISTS) return false;  // mutex closes here
  handles_.push_back(std::move(mutex));
  return true;
}

CInstanceMutex& ProcessInstanceMutex() {
  static CInstanceMutex mutex;
  return mutex;
}

bool CheckSingleInstance() {
  if (ProcessInstanceMutex().Create(kInstanceMutexName)) return true;
  if (HWND other = ::FindWindowW(kSetupMainWindowClass, nullptr)) {
    ::PostMessageW(other, kSetupActivateMessage, 0, 0);
  }
  LogPrintf(L"CheckSingleInstance failed, exit");
  ShowEntryMessage(entry::kAlreadyRunningText, kEntryBoxOk);
  return false;
}
