#include "engine/UninstallSteps.h"

// Seams: each body below is replaced when the module that does the work joins the engine.
// Until then the step does nothing and reports that nothing was left to do.
namespace steps {

bool PassesSelfCheck() { return true; }                       // seam: integrity check
bool IsSignedByMaker(const std::wstring&) { return false; }  // seam: signature tests

void ReleaseHomepageGuard(const std::wstring&) {}               // seam: component calls
void RunUninstallPrograms(ISetupConfig*, const std::wstring&) {}  // seam: component calls
void RundllUnregister(ISetupConfig*, const std::wstring&) {}      // seam: component calls
void CallGameCenter(const std::wstring&, const std::wstring&) {}  // seam: component calls
void StartPluginTask(const std::wstring&) {}                      // seam: plugin task
void UninstallRunList(const std::wstring&) {}                     // seam: component calls
void UninstallFilePe(const std::wstring&) {}                      // seam: component calls
void CloseAllPrograms(ISetupConfig*, const std::wstring&) {}      // seam: process control
void CallUninstExport(const std::wstring&) {}                     // seam: component calls
void RemoveDesktopShortcuts() {}                                  // seam: system cleanup
void RemoveProgramsMenuFolders() {}                               // seam: system cleanup
void RemoveProductRegistry(ISetupConfig*) {}                      // seam: system cleanup
void RemoveAutorun(const std::wstring&) {}                        // seam: system cleanup
void RemoveUninstallRegistration() {}                             // seam: system cleanup
bool DeleteKernelService(const wchar_t*) { return true; }         // seam: system cleanup
unsigned long SendUninstallReport(const wchar_t*, const std::wstring&, const std::wstring&) {
  return 0;  // seam: service requests
}

}  // namespace steps
