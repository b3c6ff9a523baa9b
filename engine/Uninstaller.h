#pragma once
// The uninstall driver: on its worker thread it runs the fixed step sequence once and
// reports start, progress and finish on the UI thread.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/FileRemoval.h"
#include "engine/IUninstallTask.h"
#include "engine/PluginTask.h"
#include "startup/Locks.h"
#include "startup/Thread.h"

class ISetupConfig;
struct UnregisterRecord;

class CUninstaller : public IThreadCallback {
 public:
  CUninstaller();
  CUninstaller(const CUninstaller&) = delete;
  CUninstaller& operator=(const CUninstaller&) = delete;
  virtual ~CUninstaller() = default;

  // The thread body: the whole sequence.
  void Run(DWORD_PTR parameter) override;

  // Stores the callback and starts the worker; false when the worker cannot start.
  bool Start(IUninstallCallback* callback);
  void DetachCallback();

  // The configuration the steps read; the allow-list test of the install-directory phase.
  void SetConfig(ISetupConfig* config) { config_ = config; }
  void SetAllowListTest(CInstallDirRemover::NameTest test) { allow_list_ = std::move(test); }
  // The configuration's unregister items; not part of the configuration interface.
  void SetUnregisterList(const std::vector<UnregisterRecord>* items) { unregister_list_ = items; }

  void SetInstallDir(const wchar_t* dir) { install_dir_ = dir ? dir : L""; }
  const std::wstring& InstallDir() const { return install_dir_; }
  void SetUninstallGameCenter(bool value) { uninstall_game_center_ = value ? 1 : 0; }
  void SetGameCenterOwned(bool value) { game_center_owned_ = value ? 1 : 0; }
  bool GameCenterOwned() const { return game_center_owned_ != 0; }
  void SetRemoveUserData(bool value) { remove_user_data_ = value ? 1 : 0; }

  // "/S /PID=tarvo" and " /UNINSTALL" or " /NOUNINSTALL".
  std::wstring GameCenterParameters() const;
  // Writes the value to the debugger and delivers it, 100 and above as 99.
  void SetProgress(int value);

  const std::wstring& ProductVersion() const { return version_; }
  const std::wstring& Pid() const { return pid_; }

 private:
  void RunSteps();
  void RemoveUserFolders();
  void DeleteService(const wchar_t* name, bool log);

  // Run on the UI thread; each reads the callback at that moment.
  void NotifyStart();
  void NotifyProgress(int value);
  void NotifyFinish();

  std::wstring install_dir_;
  LeftoverList leftovers_;
  IUninstallCallback* callback_ = nullptr;
  CXThread thread_;
  LONG uninstall_game_center_ = 0;
  LONG game_center_owned_ = 0;
  LONG remove_user_data_ = 0;
  _BaseModule::CCriticalSection lock_;
  CInstallDirRemover remover_;
  std::wstring version_;
  std::wstring pid_;
  CPluginTask plugin_task_;
  ISetupConfig* config_ = nullptr;
  const std::vector<UnregisterRecord>* unregister_list_ = nullptr;
  CInstallDirRemover::NameTest allow_list_;
};
