#pragma once
// The mutex the product's installer and uninstaller share: only one of them runs at a time.
#include <windows.h>

#include <vector>

#include "common/UniqueHandle.h"

constexpr wchar_t kInstanceMutexName[] = L"orbWallPaperInstaller";
constexpr wchar_t kSetupMainWindowClass[] = L"orbWallPaperSetupMainWnd";
// Posted to the running installer's window: someone else tried to start.
constexpr UINT kSetupActivateMessage = WM_USER + 0x1000;

class CInstanceMutex {
 public:
  CInstanceMutex() = default;
  CInstanceMutex(const CInstanceMutex&) = delete;
  CInstanceMutex& operator=(const CInstanceMutex&) = delete;

  // Creates the named mutex owned by the caller and keeps the handle. False when it existed
  // already (that handle is closed at once) or cannot be created.
  bool Create(const wchar_t* name);
  void CloseAll() { handles_.clear(); }
  size_t HandleCount() const { return handles_.size(); }

 private:
  std::vector<win::UniqueHandle> handles_;
};

// The process's instance mutex, held from the single-instance check to the shutdown.
CInstanceMutex& ProcessInstanceMutex();

// Creates the shared mutex. When another installer or uninstaller holds it: tells that one's
// window (0x1400), logs, shows the "already running" box and returns false.
bool CheckSingleInstance();
