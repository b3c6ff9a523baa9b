#include "engine/UninstallTask.h"

#include <cwchar>

#include "engine/InstallFacts.h"
#include "startup/SmartLogger.h"
#include "startup/UIThreadWindow.h"

namespace {
CUninstallTask g_task;

// The executable carries no integrity record of its own: its Authenticode signature is what
// counts, and the relaunch of the temporary copy already demands it.
bool PassesSelfCheck() { return true; }
}

IUninstallTask* GetUninstallTask() { return &g_task; }
ISetupConfig* GetSetupConfig() { return &g_task.Config(); }

CUninstallTask::CUninstallTask() {
  driver_.SetConfig(&config_);
  driver_.SetUnregisterList(&config_.GetUnregisterList());
  driver_.SetAllowListTest([this](const std::wstring& upper_name) {
    IUninstallRootDirList* list = config_.GetRootDirList();
    return list && list->Contains(upper_name.c_str());
  });
}

DWORD CUninstallTask::PreInitCheck() {
  if (!PassesSelfCheck()) return 2;
  CreateUIThreadWindow();
  return static_cast<DWORD>(RunPreInitLibraryCheck());
}

bool CUninstallTask::InitConfig(HINSTANCE instance, UINT resource_id, const wchar_t* resource_type,
                                const wchar_t* file_name) {
  return config_.LoadFromResource(instance, resource_id, resource_type, file_name);
}

void CUninstallTask::StartUninstall(IUninstallCallback* callback) { driver_.Start(callback); }

void CUninstallTask::WriteLog(const wchar_t* text) {
  if (text) WriteLogLine(text);
}

bool CUninstallTask::IsGameCenterUnplayed() { return ReadGameCenterUnplayed(); }

void CUninstallTask::SetUninstallGameCenter(bool uninstall) {
  if (driver_.GameCenterOwned()) driver_.SetUninstallGameCenter(uninstall);
}

bool CUninstallTask::IsGameCenterOwned() {
  bool owned = ReadGameCenterOwned();
  driver_.SetGameCenterOwned(owned);
  return owned;
}

void CUninstallTask::SetRemoveUserData(bool remove) { driver_.SetRemoveUserData(remove); }

void CUninstallTask::SetInstallDir(const wchar_t* dir) { driver_.SetInstallDir(dir); }

void CUninstallTask::GetInstallDir(wchar_t* buffer, int capacity) {
  const std::wstring& dir = driver_.InstallDir();
  if (!buffer || dir.empty() || capacity <= 0 || dir.size() >= static_cast<size_t>(capacity)) return;
  std::wmemcpy(buffer, dir.c_str(), dir.size() + 1);
}

void CUninstallTask::DetachCallback() { driver_.DetachCallback(); }
