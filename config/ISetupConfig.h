#pragma once
// Read-only description of the installed product, loaded from the embedded configuration package.
#include <windows.h>

#include "config/IUninstallRootDirList.h"

// A window to message when the product's programs are closed.
struct CloseProgramRecord {
  wchar_t windowClass[200];  // at most 195 characters plus terminator
  UINT32 message;            // WM_CLOSE, WM_QUIT or WM_COMMAND
  UINT32 wParam;
  UINT32 lParam;
  UINT32 timeout;            // milliseconds
};

// A program or library export of the product to call.
struct ProgramRecord {
  wchar_t fileName[MAX_PATH];  // relative to the install directory
  wchar_t type[MAX_PATH];      // "exe" or "dll"
  wchar_t funcName[MAX_PATH];  // export to call for "dll"
  wchar_t para[MAX_PATH];      // parameter text for the export
  wchar_t cmdline[MAX_PATH];   // command line for "exe"
  wchar_t signType[MAX_PATH];  // expected signer, empty for the publisher test
  INT32 waitTime;              // milliseconds
  INT32 sync;                  // non-zero: wait for the program
};

// A library to unregister through the rundll host.
struct UnregisterRecord {
  wchar_t fileName[MAX_PATH];  // relative to the install directory
  wchar_t entry[MAX_PATH];     // export name handed to the rundll host
  wchar_t cmdline[MAX_PATH];
  INT32 waitTime;              // milliseconds
};

// Text getters copy only when the text fits the buffer with its terminator; otherwise they
// return false and leave the buffer empty. Record getters clear the record first.
class ISetupConfig {
 public:
  virtual bool LoadFromResource(HINSTANCE instance, UINT resourceId, const wchar_t* resourceType,
                                const wchar_t* fileName) = 0;
  virtual int GetMinimizeSpace() const = 0;
  virtual IUninstallRootDirList* GetRootDirList() = 0;
  virtual bool GetVersion(wchar_t* buffer, int size) const = 0;
  virtual bool GetMainApp(wchar_t* buffer, int size) const = 0;
  virtual HKEY GetRegRoot() const = 0;
  virtual bool GetRegSubKey(wchar_t* buffer, int size) const = 0;
  virtual bool GetRegValueName(wchar_t* buffer, int size) const = 0;
  virtual int GetCloseProgramCount() const = 0;
  virtual bool GetCloseProgram(int index, CloseProgramRecord* record) const = 0;
  virtual bool GetCheckFile(int index, wchar_t* buffer, int size) const = 0;
  virtual int GetCheckFileCount() const = 0;
  virtual bool GetInstallProgram(int index, ProgramRecord* record) const = 0;
  virtual int GetInstallProgramCount() const = 0;
  virtual bool GetUninstallProgram(int index, ProgramRecord* record) const = 0;
  virtual int GetUninstallProgramCount() const = 0;
  virtual int GetFileCount() const = 0;

 protected:
  // The owner destroys the implementation, never callers of the interface.
  ~ISetupConfig() = default;
};
