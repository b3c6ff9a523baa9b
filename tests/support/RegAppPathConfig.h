#pragma once
// A setup configuration that names only its RegAppPath root key and sub-key: all the registry
// cleanup step asks of it. Everything else reads as an empty configuration.
#include <windows.h>

#include <cwchar>
#include <string>

#include "config/ISetupConfig.h"

class RegAppPathConfig : public ISetupConfig {
 public:
  RegAppPathConfig(HKEY root, std::wstring sub_key) : root_(root), sub_key_(std::move(sub_key)) {}

  HKEY GetRegRoot() const override { return root_; }
  // Like the real configuration: copies only what fits with its terminator.
  bool GetRegSubKey(wchar_t* buffer, int size) const override {
    buffer[0] = 0;
    if (static_cast<int>(sub_key_.size()) >= size) return false;
    std::wcscpy(buffer, sub_key_.c_str());
    return true;
  }

  bool LoadFromResource(HINSTANCE, UINT, const wchar_t*, const wchar_t*) override { return true; }
  int GetMinimizeSpace() const override { return 100; }
  IUninstallRootDirList* GetRootDirList() override { return nullptr; }
  bool GetVersion(wchar_t* buffer, int) const override { return Empty(buffer); }
  bool GetMainApp(wchar_t* buffer, int) const override { return Empty(buffer); }
  bool GetRegValueName(wchar_t* buffer, int) const override { return Empty(buffer); }
  int GetCloseProgramCount() const override { return 0; }
  bool GetCloseProgram(int, CloseProgramRecord*) const override { return false; }
  bool GetCheckFile(int, wchar_t*, int) const override { return false; }
  int GetCheckFileCount() const override { return 0; }
  bool GetInstallProgram(int, ProgramRecord*) const override { return false; }
  int GetInstallProgramCount() const override { return 0; }
  bool GetUninstallProgram(int, ProgramRecord*) const override { return false; }
  int GetUninstallProgramCount() const override { return 0; }
  int GetFileCount() const override { return 200; }

 private:
  static bool Empty(wchar_t* buffer) {
    buffer[0] = 0;
    return true;
  }

  HKEY root_;
  std::wstring sub_key_;
};
