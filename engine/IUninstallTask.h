#pragma once
// The windows' only way into the engine (IUninstallTask) and the engine's only way back
// (IUninstallCallback). Operations keep their order.
#include <windows.h>

class IUninstallCallback {
 public:
  virtual void OnStart() = 0;                  // UI thread, before the first step
  virtual void OnProgress(int percent) = 0;    // UI thread, 1..99
  virtual void OnFinish() = 0;                 // UI thread, after the last step
  virtual void OnUninstallEnd() = 0;           // worker thread, under the driver's lock; the last call
 protected:
  ~IUninstallCallback() = default;
};

class IUninstallTask {
 public:
  // 0 ready, 2 the executable fails its integrity check, 3 "7z.dll" cannot be loaded.
  virtual DWORD PreInitCheck() = 0;
  virtual bool InitConfig(HINSTANCE instance, UINT resource_id, const wchar_t* resource_type,
                          const wchar_t* file_name) = 0;
  virtual void StartUninstall(IUninstallCallback* callback) = 0;
  virtual void WriteLog(const wchar_t* text) = 0;
  virtual bool IsGameCenterUnplayed() = 0;
  virtual void SetUninstallGameCenter(bool uninstall) = 0;
  virtual bool IsGameCenterOwned() = 0;
  virtual void SetRemoveUserData(bool remove) = 0;
  virtual void SetInstallDir(const wchar_t* dir) = 0;
  virtual void GetInstallDir(wchar_t* buffer, int capacity) = 0;
  virtual void DetachCallback() = 0;
  virtual bool QueryFlag() = 0;
  virtual void Reserved() = 0;
 protected:
  ~IUninstallTask() = default;
};
