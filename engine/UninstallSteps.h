#pragma once
// The steps of the uninstall sequence whose work lives in other parts of the engine
// (component calls, process control, system cleanup, plugin task, the uninstall report).
// Each is a seam: until its module joins the build it does nothing, so that the sequence,
// its order, its log lines and its progress are complete on their own.
#include <string>

class ISetupConfig;

namespace steps {

// Self-integrity check of the running executable (seam: passes).
bool PassesSelfCheck();
// Publisher signature of a file (seam until the signature module lands: false).
bool IsSignedByMaker(const std::wstring& path);

void ReleaseHomepageGuard(const std::wstring& install_dir);                       // step 3
void RunUninstallPrograms(ISetupConfig* config, const std::wstring& install_dir); // step 5
void RundllUnregister(ISetupConfig* config, const std::wstring& install_dir);     // step 6
void CallGameCenter(const std::wstring& install_dir, const std::wstring& parameters);  // step 7
void StartPluginTask(const std::wstring& install_dir);                            // step 8
void UninstallRunList(const std::wstring& install_dir);                           // step 9
void UninstallFilePe(const std::wstring& install_dir);                            // step 10
void CloseAllPrograms(ISetupConfig* config, const std::wstring& install_dir);     // step 11
void CallUninstExport(const std::wstring& library_path);                          // steps 12, 14
void RemoveDesktopShortcuts();                                                    // step 15
void RemoveProgramsMenuFolders();                                                 // step 16
void RemoveProductRegistry(ISetupConfig* config);                                 // step 20
void RemoveAutorun(const std::wstring& install_dir);                              // step 21
void RemoveUninstallRegistration();                                               // step 22
// True when the service is gone (steps 23 and 26).
bool DeleteKernelService(const wchar_t* name);
// The uninstall report; its result for the log (step 31).
unsigned long SendUninstallReport(const wchar_t* type, const std::wstring& version, const std::wstring& pid);

}  // namespace steps
