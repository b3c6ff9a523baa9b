#pragma once
// The uninstall task: the one IUninstallTask, owning the setup configuration and the driver.
// One static object lives for the whole process.
#include <windows.h>

#include "config/SetupConfig.h"
#include "engine/IUninstallTask.h"
#include "engine/Uninstaller.h"

class CUninstallTask : public IUninstallTask {
 public:
  CUninstallTask();
  CUninstallTask(const CUninstallTask&) = delete;
  CUninstallTask& operator=(const CUninstallTask&) = delete;
  virtual ~CUninstallTask() = default;

  DWORD PreInitCheck() override;
  bool InitConfig(HINSTANCE instance, UINT resource_id, const wchar_t* resource_type,
                  const wchar_t* file_name) override;
  void StartUninstall(IUninstallCallback* callback) override;
  void WriteLog(const wchar_t* text) override;
  bool IsGameCenterUnplayed() override;
  void SetUninstallGameCenter(bool uninstall) override;
  bool IsGameCenterOwned() override;
  void SetRemoveUserData(bool remove) override;
  void SetInstallDir(const wchar_t* dir) override;
  void GetInstallDir(wchar_t* buffer, int capacity) override;
  void DetachCallback() override;
  bool QueryFlag() override { return true; }
  void Reserved() override {}

  CSetupConfig& Config() { return config_; }
  CUninstaller& Driver() { return driver_; }

 private:
  CSetupConfig config_;
  CUninstaller driver_;
};

// The process's task and its configuration (plain addresses of the static object's parts).
IUninstallTask* GetUninstallTask();
ISetupConfig* GetSetupConfig();
