#include "engine/SystemCleanup.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <taskschd.h>
#define SECURITY_WIN32
#include <security.h>

#include <cwchar>
#include <vector>

#include "common/ComPtr.h"
#include "common/UniqueHandle.h"
#include "config/ISetupConfig.h"
#include "engine/FileRemoval.h"
#include "engine/InstallFacts.h"
#include "startup/SmartLogger.h"

// mingw's <taskschd.h> stops short of the logon trigger; its layout follows ITrigger.
struct ILogonTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};

namespace {

const IID kIidLogonTrigger = {0x72dade38, 0xfae4, 0x4b3e, {0xba, 0xf4, 0x5d, 0x00, 0x9a, 0xf0, 0x2b, 0x1c}};

const wchar_t* const kDesktopShortcuts[] = {L"orb壁纸.lnk", L"Lumetta.lnk", L"LumettaLite.lnk"};

// 32-bit view for HKLM: the product is a 32-bit program and its machine-wide entries live there.
REGSAM ViewFor(HKEY root) { return root == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : 0; }

std::wstring SpecialFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, TRUE)) return std::wstring();
  return buffer;
}

std::wstring Join(const std::wstring& dir, const wchar_t* name) {
  if (dir.empty()) return std::wstring();
  std::wstring out = dir;
  if (out.back() != L'\\') out += L'\\';
  return out + name;
}

// COM for the calling thread. A thread already in the other apartment model can still use it,
// but must not uninitialise what it did not initialise.
class ThreadCom {
 public:
  ThreadCom() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ThreadCom(const ThreadCom&) = delete;
  ThreadCom& operator=(const ThreadCom&) = delete;
  ~ThreadCom() { if (SUCCEEDED(hr_)) ::CoUninitialize(); }
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

// Connected Task Scheduler 2.0 service and its root folder.
bool OpenTaskRoot(win::ComPtr<ITaskService>& service, win::ComPtr<ITaskFolder>& root) {
  if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                service.put_void())))
    return false;
  VARIANT empty;
  ::VariantInit(&empty);
  if (FAILED(service->Connect(empty, empty, empty, empty))) return false;
  win::Bstr folder(L"\\");
  return SUCCEEDED(service->GetFolder(folder.get(), root.put())) && root;
}

// The user names are read once per process; function statics initialise safely on any thread.
const std::wstring& UserName() {
  static const std::wstring name = [] {
    wchar_t buffer[257] = {};
    DWORD size = 257;
    return ::GetUserNameW(buffer, &size) ? std::wstring(buffer) : std::wstring();
  }();
  return name;
}

const std::wstring& SamCompatibleUserName() {
  static const std::wstring name = [] {
    wchar_t buffer[257] = {};
    ULONG size = 257;
    return ::GetUserNameExW(NameSamCompatible, buffer, &size) ? std::wstring(buffer) : std::wstring();
  }();
  return name;
}

bool DeleteMachineRunValue(const wchar_t* name, REGSAM view) {
  win::UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS)
    return false;
  return ::RegDeleteValueW(key.get(), name) == ERROR_SUCCESS;
}

// True when an existing task of that name runs a program; it is then enabled and kept.
bool EnableExistingExecTask(ITaskFolder* root, BSTR name) {
  win::ComPtr<IRegisteredTask> task;
  if (FAILED(root->GetTask(name, task.put())) || !task) return false;
  win::ComPtr<ITaskDefinition> definition;
  win::ComPtr<IActionCollection> actions;
  win::ComPtr<IAction> first;
  TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
  if (FAILED(task->get_Definition(definition.put())) || !definition) return false;
  if (FAILED(definition->get_Actions(actions.put())) || !actions) return false;
  if (FAILED(actions->get_Item(1, first.put())) || !first) return false;
  if (FAILED(first->get_Type(&type)) || type != TASK_ACTION_EXEC) return false;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (SUCCEEDED(task->get_Enabled(&enabled)) && enabled == VARIANT_FALSE) task->put_Enabled(VARIANT_TRUE);
  return true;
}

bool BuildTaskDefinition(ITaskDefinition* definition, const wchar_t* program, const wchar_t* working_dir,
                         const wchar_t* arguments, const wchar_t* description, int delay_seconds) {
  win::ComPtr<IRegistrationInfo> info;
  if (FAILED(definition->get_RegistrationInfo(info.put())) || !info) return false;
  win::Bstr author(UserName().c_str()), text(description ? description : L"");
  if (FAILED(info->put_Author(author.get())) || FAILED(info->put_Description(text.get()))) return false;

  win::ComPtr<ITriggerCollection> triggers;
  win::ComPtr<ITrigger> trigger;
  win::ComPtr<ILogonTrigger> logon;
  if (FAILED(definition->get_Triggers(triggers.put())) || !triggers) return false;
  if (FAILED(triggers->Create(TASK_TRIGGER_LOGON, trigger.put())) || !trigger) return false;
  if (FAILED(trigger.As(kIidLogonTrigger, &logon)) || !logon) return false;
  win::Bstr trigger_id(L"Trigger1"), user(SamCompatibleUserName().c_str()),
      delay(TaskDelayText(delay_seconds).c_str());
  if (FAILED(logon->put_Enabled(VARIANT_TRUE)) || FAILED(logon->put_Id(trigger_id.get())) ||
      FAILED(logon->put_UserId(user.get())) || FAILED(logon->put_Delay(delay.get())))
    return false;

  win::ComPtr<IActionCollection> actions;
  win::ComPtr<IAction> action;
  win::ComPtr<IExecAction> exec;
  if (FAILED(definition->get_Actions(actions.put())) || !actions) return false;
  if (FAILED(actions->Create(TASK_ACTION_EXEC, action.put())) || !action) return false;
  if (FAILED(action.As(IID_IExecAction, &exec)) || !exec) return false;
  win::Bstr path(program), dir(working_dir ? working_dir : L""), args(arguments ? arguments : L"");
  if (FAILED(exec->put_Path(path.get())) || FAILED(exec->put_WorkingDirectory(dir.get())) ||
      FAILED(exec->put_Arguments(args.get())))
    return false;

  win::ComPtr<IPrincipal> principal;
  if (FAILED(definition->get_Principal(principal.put())) || !principal) return false;
  win::Bstr principal_id(UserName().c_str()), group(L"BUILTIN\\Administrators");
  if (FAILED(principal->put_Id(principal_id.get())) || FAILED(principal->put_GroupId(group.get())) ||
      FAILED(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST)))
    return false;

  win::ComPtr<ITaskSettings> settings;
  win::ComPtr<IIdleSettings> idle;
  if (FAILED(definition->get_Settings(settings.put())) || !settings) return false;
  win::Bstr no_limit(L"PT0S");
  if (FAILED(settings->put_StopIfGoingOnBatteries(VARIANT_FALSE)) ||
      FAILED(settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE)) ||
      FAILED(settings->put_AllowHardTerminate(VARIANT_FALSE)) ||
      FAILED(settings->put_ExecutionTimeLimit(no_limit.get())))
    return false;
  if (FAILED(settings->get_IdleSettings(idle.put())) || !idle) return false;
  return SUCCEEDED(idle->put_StopOnIdleEnd(VARIANT_FALSE));
}

}  // namespace

// Deletes a key and its sub-keys in the given registry view (KEY_WOW64_32KEY or _64KEY).
bool DeleteKeyTreeInView(HKEY root, const wchar_t* path, REGSAM view) {
  {
    win::UniqueKey key;
    LSTATUS status = ::RegOpenKeyExW(root, path, 0, KEY_ALL_ACCESS | view, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) return false;
    // Walks below a handle of that view stay in it.
    wchar_t name[256];
    for (;;) {
      DWORD length = 256;
      if (::RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      if (::SHDeleteKeyW(key.get(), name) != ERROR_SUCCESS) return false;
    }
  }
  using RegDeleteKeyExFn = LSTATUS(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
  auto delete_ex = advapi ? reinterpret_cast<RegDeleteKeyExFn>(
                                reinterpret_cast<void*>(::GetProcAddress(advapi, "RegDeleteKeyExW")))
                          : nullptr;
  LSTATUS status = delete_ex ? delete_ex(root, path, view, 0) : ::RegDeleteKeyW(root, path);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool DeleteKeyTree(HKEY root, const wchar_t* path) {
  if (!path || !*path) return false;
  if (root == HKEY_CLASSES_ROOT) {
    // Class keys a 32-bit installer wrote may sit in the 32-bit view of the classes.
    bool ok = DeleteKeyTreeInView(root, path, KEY_WOW64_64KEY);
    if (IsSystem64Bit()) ok = DeleteKeyTreeInView(root, path, KEY_WOW64_32KEY) && ok;
    return ok;
  }
  std::wstring full(path);
  size_t cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos) {
    LSTATUS status = ::SHDeleteKeyW(root, path);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }
  // Open the parent in the chosen view; the walk below it stays in that view.
  win::UniqueKey parent;
  LSTATUS status = ::RegOpenKeyExW(root, full.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | ViewFor(root),
                                   parent.put());
  if (status == ERROR_FILE_NOT_FOUND) return true;
  if (status != ERROR_SUCCESS) return false;
  status = ::SHDeleteKeyW(parent.get(), full.c_str() + cut + 1);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

void RemoveDesktopShortcuts() {
  for (int csidl : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY}) {
    std::wstring desktop = SpecialFolder(csidl);
    if (desktop.empty()) continue;
    for (const wchar_t* name : kDesktopShortcuts) DeleteOrScheduleAtRestart(Join(desktop, name).c_str());
  }
}

void RemoveMenuFolders() {
  // "orb安全中心" is shared with the maker's other products and stays.
  std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  if (programs.empty()) return;
  for (const wchar_t* folder : {L"Lumetta", L"orb安全中心\\orb壁纸"}) {
    std::wstring path = Join(programs, folder);
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) PurgeTree(path.c_str());
  }
}

void RemoveProductKeys(const ISetupConfig& config) {
  wchar_t sub_key[1024] = {};
  if (!config.GetRegSubKey(sub_key, 1024) || !sub_key[0]) return;
  DeleteKeyTree(config.GetRegRoot(), sub_key);
  DeleteKeyTree(HKEY_CURRENT_USER, kUserSettingsKey);
  DeleteKeyTree(HKEY_CLASSES_ROOT, kClassKey);
}

void RemoveAutorun(const wchar_t* install_dir) {
  // Without an install directory there is no config.set to write (and no relative path to
  // let the profile functions resolve into the Windows directory).
  if (install_dir && *install_dir)
    ::WritePrivateProfileStringW(L"auto_run", L"open", L"0", Join(install_dir, L"config.set").c_str());
  LogPrintf(L"Delete AutoRun Registry, ret = %d", DeleteRunValues(kAutorunName) ? 1 : 0);
  LogPrintf(L"Delete AutoRun Task Schedule, ret = %d", DeleteAutorunTask(kAutorunName) ? 1 : 0);
  DeleteMachineRunValue(L"wpapp", KEY_WOW64_32KEY);
  if (IsSystem64Bit()) DeleteMachineRunValue(L"wpapp", KEY_WOW64_64KEY);
}

bool RemoveUninstallRegistration() {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallRegistrationKey);
  LogPrintf(L"Delete uninstall registry");
  return true;
}

bool RemoveService(const wchar_t* name) {
  // The protection drivers' unlock exchange is theirs to define; without it the stop may be
  // refused, and the deletion then completes when the service ends.
  if (!name || !*name) return false;
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  win::UniqueService service(::OpenServiceW(manager.get(), name, SERVICE_ALL_ACCESS));
  if (!service) return false;
  SERVICE_STATUS status{};
  ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);  // a stopped service answers 1062
  return ::DeleteService(service.get()) != FALSE;
}

bool DeleteRunValues(const wchar_t* name) {
  ::SHDeleteValueW(HKEY_CURRENT_USER, kRunKey, name);
  DeleteMachineRunValue(name, KEY_WOW64_32KEY);
  return true;
}

bool DeleteAutorunTask(const wchar_t* name) {
  ThreadCom com;
  if (!com.usable()) return false;
  ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, 0, nullptr);
  win::ComPtr<ITaskService> service;
  win::ComPtr<ITaskFolder> root;
  if (!OpenTaskRoot(service, root)) return false;
  win::Bstr task(name);
  root->DeleteTask(task.get(), 0);
  return true;
}

bool CreateAutorunTask(const wchar_t* name, const wchar_t* program, const wchar_t* working_dir,
                       const wchar_t* arguments, const wchar_t* description, int delay_seconds) {
  if (!name || !program) return false;
  ThreadCom com;
  if (!com.usable()) return false;
  win::ComPtr<ITaskService> service;
  win::ComPtr<ITaskFolder> root;
  if (!OpenTaskRoot(service, root)) return false;
  win::Bstr task_name(name);
  if (EnableExistingExecTask(root.get(), task_name.get())) return true;

  root->DeleteTask(task_name.get(), 0);
  win::ComPtr<ITaskDefinition> definition;
  if (FAILED(service->NewTask(0, definition.put())) || !definition) return false;
  if (!BuildTaskDefinition(definition.get(), program, working_dir, arguments, description, delay_seconds))
    return false;

  VARIANT user, password, sddl;
  ::VariantInit(&user);
  ::VariantInit(&password);
  ::VariantInit(&sddl);
  win::Bstr user_name(UserName().c_str());
  user.vt = VT_BSTR;
  user.bstrVal = user_name.get();  // still owned by user_name
  win::ComPtr<IRegisteredTask> registered;
  return SUCCEEDED(root->RegisterTaskDefinition(task_name.get(), definition.get(), TASK_CREATE_OR_UPDATE, user,
                                                password, TASK_LOGON_INTERACTIVE_TOKEN, sddl, registered.put()));
}

bool SetRunValue(const wchar_t* name, const wchar_t* program, const wchar_t* arguments) {
  if (!name || !program) return false;
  win::UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_32KEY,
                      key.put()) != ERROR_SUCCESS)
    return false;
  std::wstring data = std::wstring(program) + L" " + (arguments ? arguments : L"");

  wchar_t current[261] = {};  // 520 bytes of data, and room for a terminator the data may lack
  DWORD type = 0, size = 520;
  LSTATUS status = ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(current), &size);
  bool same = status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) &&
              ::lstrcmpiW(current, data.c_str()) == 0;
  if (!same) {
    DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    if (::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes) !=
        ERROR_SUCCESS)
      return false;
  }
  return true;
}

bool SetAutorun(bool enable, const wchar_t* program, const wchar_t* name, const wchar_t* description,
                int delay_seconds) {
  if (!program) return false;
  const wchar_t* task_name = name ? name : kAutorunName;
  if (!enable) {
    DeleteAutorunTask(task_name);
    DeleteRunValues(task_name);
    return true;
  }
  std::wstring quoted = QuotedProgramText(program);
  std::wstring bare = quoted.substr(1, quoted.size() - 2);
  if (CreateAutorunTask(task_name, quoted.c_str(), L"", kAutorunArguments,
                        description ? description : kAutorunDescription, delay_seconds)) {
    LogPrintf(L"Add auto run task schedule success, %s", bare.c_str());
    return true;
  }
  bool ok = SetRunValue(task_name, quoted.c_str(), kAutorunArguments);
  LogPrintf(L"Add auto run register, %s", bare.c_str());
  return ok;
}

std::wstring TaskDelayText(int delay_seconds) {
  if (delay_seconds < 0) delay_seconds = 0;
  wchar_t text[48] = {};
  std::swprintf(text, 48, L"PT%dM%dS", delay_seconds / 60, delay_seconds % 60);
  return text;
}

std::wstring QuotedProgramText(const wchar_t* path) {
  std::wstring bare(path ? path : L"");
  if (!bare.empty() && bare.front() == L'"') bare.erase(0, 1);
  if (!bare.empty() && bare.back() == L'"') bare.pop_back();
  return L"\"" + bare + L"\"";
}
