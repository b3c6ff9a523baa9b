#pragma once
// The document-conversion plugin keeps its own uninstaller: its launcher (registered under its
// own App Paths key) started with the parameters the plugin left in the product's "config.set".
#include <windows.h>

#include <memory>
#include <string>

class CPluginTask {
 public:
  // Starts the launcher when both the parameters and the launcher are known; logs the result.
  bool StartTask(const wchar_t* install_dir);

  const std::wstring& LauncherPath() const { return launcher_; }
  const std::wstring& Parameters() const { return parameters_; }

 private:
  // Not used by the uninstall; kept empty.
  DWORD cookie_ = 0;
  std::shared_ptr<void> handle_;
  std::wstring launcher_;
  std::wstring parameters_;
  std::wstring install_dir_;
};
