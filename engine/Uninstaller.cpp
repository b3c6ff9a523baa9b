#include "engine/Uninstaller.h"

#include <shlobj.h>

#include <cwchar>

#include "config/ISetupConfig.h"
#include "engine/ComponentCalls.h"
#include "engine/InstallFacts.h"
#include "engine/ProcessControl.h"
#include "engine/Signature.h"
#include "engine/SystemCleanup.h"
#include "services/ServiceRequests.h"
#include "startup/SmartLogger.h"
#include "startup/UIThreadWindow.h"

namespace {

std::wstring Join(const std::wstring& dir, const wchar_t* name) {
  if (!dir.empty() && dir.back() == L'\\') return dir + name;
  return dir + L'\\' + name;
}

bool DirectoryExists(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CUninstaller::CUninstaller()
    : remover_([this](const std::wstring& upper) { return allow_list_ && allow_list_(upper); },
               [](const std::wstring& path) { return IsSignedByMaker(path.c_str()); },
               [this](int value) { SetProgress(value); }) {}

bool CUninstaller::Start(IUninstallCallback* callback) {
  callback_ = callback;
  bool started = thread_.Start(0, this);
  LogPrintf(L"start uninstall thread...");
  return started;
}

void CUninstaller::DetachCallback() {
  _BaseModule::CAutoLocker hold(&lock_);
  callback_ = nullptr;
}

std::wstring CUninstaller::GameCenterParameters() const {
  return component_rules::GameCenterParameters(uninstall_game_center_ != 0);
}

void CUninstaller::NotifyStart() {
  if (IUninstallCallback* callback = callback_) callback->OnStart();
}

void CUninstaller::NotifyProgress(int value) {
  if (IUninstallCallback* callback = callback_) callback->OnProgress(value);
}

void CUninstaller::NotifyFinish() {
  if (IUninstallCallback* callback = callback_) callback->OnFinish();
}

void CUninstaller::SetProgress(int value) {
  wchar_t text[32];
  ::swprintf(text, 32, L"nProgress=%d\n", value);
  ::OutputDebugStringW(text);
  // Completion is told by OnFinish alone: the bar never shows 100 before the report.
  mf_bind_t_1<CUninstaller, CUninstaller*, void, int> call(&CUninstaller::NotifyProgress, this,
                                                           value >= 100 ? 99 : value);
  RunOnUIThread(&call);
}

void CUninstaller::Run(DWORD_PTR) {
  std::wstring version;
  if (GetProductVersionText(Join(install_dir_, L"vantel.exe").c_str(), version)) version_ = version;
  pid_ = ReadPid();
  RunSteps();
}

void CUninstaller::RemoveUserFolders() {
  wchar_t app_data[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, app_data)))
    app_data[0] = 0;
  std::wstring divov = app_data[0] ? Join(app_data, L"divov") : std::wstring();
  std::wstring cache = divov.empty() ? std::wstring() : Join(divov, L"cef_cache");
  if (!cache.empty() && DirectoryExists(cache)) PurgeTree(cache.c_str());
  LogPrintf(L"remove cef cache");
  if (remove_user_data_) {
    LogPrintf(L"remove appdata");
    if (!divov.empty() && DirectoryExists(divov)) PurgeTree(divov.c_str());
  }
}

void CUninstaller::DeleteService(const wchar_t* name, bool log) {
  bool deleted = RemoveService(name);
  if (!log) return;
  if (!deleted) LogPrintf(L"delete %s fail", name);
  LogPrintf(L"delete %s", name);
}

void CUninstaller::RunSteps() {
  const std::wstring& dir = install_dir_;
  const wchar_t* dir_text = dir.c_str();
  mf_bind_t<CUninstaller, CUninstaller*, void> start(&CUninstaller::NotifyStart, this);
  RunOnUIThread(&start);                                                     // 1
  SetProgress(1);                                                            // 2
  GuardRelease(dir_text);                                                    // 3
  LogPrintf(L"start call program");                                          // 4
  CallProgramsOnUninst(config_, dir_text);                                   // 5
  if (unregister_list_) RundllUnRegister(*unregister_list_, dir_text);       // 6
  GameCenterUninstall(dir_text, uninstall_game_center_ != 0);                // 7
  plugin_task_.StartTask(dir_text);                                          // 8
  RunListUninstall(dir_text);                                                // 9
  FilePeUninstall(dir_text);                                                 // 10
  SetProgress(4);                                                            // 11
  LogPrintf(L"start close all processes");
  ::CloseAllPrograms(config_, dir_text);
  CallDllExport((dir + L"\\Utils\\Beautify\\RuroZizedoru.dll").c_str(), "Uninst", L"", true);  // 12
  SetProgress(5);                                                            // 13
  CallDllExport((dir + L"\\vevevevivarudir\\Zentrik12.dll").c_str(), "Uninst", L"", true);      // 14
  LogPrintf(L"remove desktop shortcuts");                                    // 15
  RemoveDesktopShortcuts();
  SetProgress(6);                                                            // 16
  LogPrintf(L"remove start menu shortcuts");
  RemoveMenuFolders();
  RemoveUserFolders();                                                       // 17, 18
  SetProgress(7);                                                            // 19
  LogPrintf(L"remove file by registry");
  RemoveRegistryListedFiles(dir, kFileListKey, leftovers_);
  RemoveRegistryListedFiles(dir, kFilePeKey, leftovers_);
  LogPrintf(L"remove registry");                                             // 20
  if (config_) RemoveProductKeys(*config_);
  SetProgress(8);                                                            // 21
  LogPrintf(L"remove autorun");
  ::RemoveAutorun(dir_text);
  SetProgress(9);                                                            // 22
  RemoveUninstallRegistration();
  DeleteService(L"ZentrikLock", true);                                       // 23
  DeleteService(L"ZentrikLockWp", true);
  DeleteService(L"VivazavoDirazazIv", true);
  LogPrintf(L"start delete all files in %s", dir_text);                      // 24
  remover_.SetInstallDir(dir);
  remover_.RemoveInstallDirContents(dir, leftovers_);
  LogPrintf(L"end delete all files in %s", dir_text);
  RemoveProgramFilesCopy();                                                  // 25
  LogPrintf(L"start uninstall RuvediduruveZI.");                             // 26
  SetProgress(97);
  DeleteService(L"RuvediduruveZI", false);
  DeleteByExtension(dir, L".tmp");                                           // 27
  SetProgress(98);                                                           // 28
  LogPrintf(L"start create runonce bat");
  RunOnceCleanup(leftovers_, dir_text);
  SetProgress(100);                                                          // 29
  mf_bind_t<CUninstaller, CUninstaller*, void> finish(&CUninstaller::NotifyFinish, this);
  RunOnUIThread(&finish);                                                    // 30
  unsigned long report = ReportUninstallInfo("set", pid_.c_str(), version_.c_str()) ? 1 : 0;  // 31
  LogPrintf(L"re unistinfo ret=%lu", report);
  _BaseModule::CAutoLocker hold(&lock_);                                     // 32
  if (callback_) callback_->OnUninstallEnd();
}
