#pragma once
// The setup description "tarvo.mvkprj" of the embedded package, read once into fixed records.
#include <string>
#include <vector>

#include "config/ISetupConfig.h"
#include "config/UninstallRootDirList.h"

class CSetupConfig : public ISetupConfig {
 public:
  CSetupConfig() = default;
  CSetupConfig(const CSetupConfig&) = delete;
  CSetupConfig& operator=(const CSetupConfig&) = delete;

  bool LoadFromResource(HINSTANCE instance, UINT resourceId, const wchar_t* resourceType,
                        const wchar_t* fileName) override;
  int GetMinimizeSpace() const override { return minimizeSpace_; }
  IUninstallRootDirList* GetRootDirList() override { return &rootDirList_; }
  bool GetVersion(wchar_t* buffer, int size) const override;
  bool GetMainApp(wchar_t* buffer, int size) const override;
  HKEY GetRegRoot() const override { return regRoot_; }
  bool GetRegSubKey(wchar_t* buffer, int size) const override;
  bool GetRegValueName(wchar_t* buffer, int size) const override;
  int GetCloseProgramCount() const override { return static_cast<int>(closePrograms_.size()); }
  bool GetCloseProgram(int index, CloseProgramRecord* record) const override;
  bool GetCheckFile(int index, wchar_t* buffer, int size) const override;
  int GetCheckFileCount() const override { return static_cast<int>(checkFiles_.size()); }
  bool GetInstallProgram(int index, ProgramRecord* record) const override;
  int GetInstallProgramCount() const override { return static_cast<int>(installPrograms_.size()); }
  bool GetUninstallProgram(int index, ProgramRecord* record) const override;
  int GetUninstallProgramCount() const override { return static_cast<int>(uninstallPrograms_.size()); }
  int GetFileCount() const override { return fileCount_; }
  // Removes the extraction directory.
  virtual ~CSetupConfig();
  virtual void Release() { delete this; }

  // Reads the document at path (shorter than 512 characters); the allow list named in it
  // must exist beside it.
  bool Load(const wchar_t* path);
  // The unregister items kept for this system; the engine's unregister step reads them.
  const std::vector<UnregisterRecord>& GetUnregisterList() const { return unregisterItems_; }
  const std::wstring& GetExtractDir() const { return extractDir_; }
  const std::wstring& GetFileListPath() const { return fileListPath_; }

  // Whether the machine counts as 64-bit for the System attribute; a test seam.
  void SetSystemIs64BitForTesting(bool is64) { systemIs64Override_ = is64 ? 1 : 0; }

 private:
  bool Is64BitSystem() const;

  std::vector<CloseProgramRecord> closePrograms_;
  std::vector<std::wstring> checkFiles_;
  std::vector<ProgramRecord> installPrograms_;
  std::vector<ProgramRecord> uninstallPrograms_;
  std::vector<UnregisterRecord> unregisterItems_;
  int minimizeSpace_ = 100;
  HKEY regRoot_ = HKEY_LOCAL_MACHINE;
  std::wstring regSubKey_;
  std::wstring regValueName_;
  std::wstring version_;
  std::wstring mainApp_;
  std::wstring rootDirListPath_;
  std::wstring extractDir_;
  std::wstring fileListPath_;
  int fileCount_ = 200;
  CUninstallRootDirList rootDirList_;
  CUninstallRootDirList secondRootDirList_;
  int systemIs64Override_ = -1;
};

// Message name → number: exact "WM_CLOSE" 16, "WM_QUIT" 18, "WM_COMMAND" 273, anything else 16.
UINT32 MapCloseMessage(const std::wstring& name);
// Root key name, compared without case; anything else selects HKEY_LOCAL_MACHINE.
HKEY MapRootKey(const std::wstring& name);
// Whether an unregister item with this System text is kept on this kind of system.
bool KeepForSystem(const std::wstring& system, bool is64BitSystem);
// Removes a directory tree (read-only files included) when the path has at least 4 characters.
void RemoveDirectoryTree(const std::wstring& path);

// Loads the archive library from the executable's own directory: 0 when loaded, 3 when not.
int RunPreInitLibraryCheck();
