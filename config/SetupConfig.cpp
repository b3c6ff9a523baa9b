#include "config/SetupConfig.h"

#include <cwctype>

#include "common/UniqueHandle.h"
#include "config/ResourceUnpack.h"
#include "config/XMLArchive.h"

namespace {

constexpr size_t kMaxDocumentPath = 512;
constexpr size_t kMaxWindowClass = 195;

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Copies text into buffer only when it fits with its terminator; the buffer is emptied first.
bool CopyOut(const std::wstring& text, wchar_t* buffer, int size) {
  if (!buffer || size <= 0) return false;
  buffer[0] = L'\0';
  if (text.size() >= static_cast<size_t>(size)) return false;
  text.copy(buffer, text.size());
  buffer[text.size()] = L'\0';
  return true;
}

// Fills a fixed array when the text fits; false drops the entry.
template <size_t N>
bool Fits(const std::wstring& text, wchar_t (&field)[N]) {
  if (text.size() >= N) return false;
  text.copy(field, text.size());
  field[text.size()] = L'\0';
  return true;
}

std::wstring DirectoryOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring Text(const CXMLArchiveItem& item, const wchar_t* name, const wchar_t* defaultText = L"") {
  std::wstring value;
  item.GetStringAttribute(name, value, defaultText);
  return value;
}

int Int(const CXMLArchiveItem& item, const wchar_t* name, int defaultValue) {
  int value = defaultValue;
  item.GetIntAttribute(name, value, defaultValue);
  return value;
}

bool ReadProgram(const CXMLArchiveItem& item, ProgramRecord& record) {
  record = ProgramRecord{};
  if (!Fits(Text(item, L"FileName"), record.fileName) || !Fits(Text(item, L"Type"), record.type) ||
      !Fits(Text(item, L"FuncName"), record.funcName) || !Fits(Text(item, L"Para"), record.para) ||
      !Fits(Text(item, L"Cmdline"), record.cmdline) || !Fits(Text(item, L"SignType"), record.signType)) {
    return false;
  }
  record.waitTime = Int(item, L"WaitTime", 0);
  record.sync = Int(item, L"Sync", 1);
  return true;
}

}  // namespace

UINT32 MapCloseMessage(const std::wstring& name) {
  if (name == L"WM_QUIT") return WM_QUIT;
  if (name == L"WM_COMMAND") return WM_COMMAND;
  return WM_CLOSE;
}

HKEY MapRootKey(const std::wstring& name) {
  std::wstring upper(name);
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  if (upper == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (upper == L"HKEY_USERS") return HKEY_USERS;
  if (upper == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
  if (upper == L"HKEY_CURRENT_CONFIG") return HKEY_CURRENT_CONFIG;
  return HKEY_LOCAL_MACHINE;
}

bool KeepForSystem(const std::wstring& system, bool is64BitSystem) {
  if (system.empty()) return true;
  if (system == L"32") return !is64BitSystem;
  if (system == L"64") return is64BitSystem;
  return false;
}

void RemoveDirectoryTree(const std::wstring& path) {
  if (path.size() < 4 || !Exists(path)) return;
  std::wstring base = path;
  if (base.back() != L'\\') base.push_back(L'\\');
  WIN32_FIND_DATAW data;
  win::UniqueFind find(::FindFirstFileW((base + L"*").c_str(), &data));
  if (find) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = base + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A linked directory is removed as a link; what it points to is not ours.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          ::RemoveDirectoryW(child.c_str());
        } else {
          RemoveDirectoryTree(child);
        }
      } else {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
          ::SetFileAttributesW(child.c_str(), data.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find.get(), &data));
  }
  find.reset();
  ::RemoveDirectoryW(path.c_str());
}

CSetupConfig::~CSetupConfig() { RemoveDirectoryTree(extractDir_); }

bool CSetupConfig::Is64BitSystem() const {
  if (systemIs64Override_ >= 0) return systemIs64Override_ != 0;
  if (sizeof(void*) == 8) return true;
  BOOL wow64 = FALSE;
  using IsWow64ProcessFunc = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  FARPROC proc = kernel ? ::GetProcAddress(kernel, "IsWow64Process") : nullptr;
  if (!proc) return false;
  auto isWow64 = reinterpret_cast<IsWow64ProcessFunc>(reinterpret_cast<void*>(proc));
  return isWow64(::GetCurrentProcess(), &wow64) && wow64;
}

bool CSetupConfig::LoadFromResource(HINSTANCE instance, UINT resourceId, const wchar_t* resourceType,
                                    const wchar_t* fileName) {
  CResourceUnpack resource;
  if (!resource.Init(instance, MAKEINTRESOURCEW(resourceId), resourceType)) return false;
  std::wstring directory;
  if (!resource.Unpack(directory)) return false;
  std::wstring document = directory + L"\\" + (fileName ? fileName : L"");
  bool loaded = Load(document.c_str());
  // Kept also when the load failed, so the directory is removed at exit.
  if (!extractDir_.empty() && extractDir_ != directory) RemoveDirectoryTree(extractDir_);
  extractDir_ = directory;
  return loaded;
}

bool CSetupConfig::Load(const wchar_t* path) {
  if (!path) return false;
  std::wstring document(path);
  if (document.size() >= kMaxDocumentPath || !Exists(document)) return false;
  CXMLArchive archive;
  if (archive.Open(path, 0) < 0) return false;
  std::wstring directory = DirectoryOf(document);

  CXMLArchiveItem main = archive.GetFirstItem(L"Setup/Main");
  if (main.IsValid()) {
    version_ = Text(main, L"Version", version_.c_str());
    minimizeSpace_ = Int(main, L"MinimizeSpace", minimizeSpace_);
  }
  CXMLArchiveItem rootList = archive.GetFirstItem(L"Setup/UninstallRootDirFileList");
  if (rootList.IsValid()) rootDirListPath_ = directory + Text(rootList, L"File");
  CXMLArchiveItem fileList = archive.GetFirstItem(L"Setup/FileList");
  if (fileList.IsValid()) {
    fileCount_ = Int(fileList, L"FileCount", fileCount_);
    fileListPath_ = directory + Text(fileList, L"File");
  }
  if (rootDirListPath_.empty() || !Exists(rootDirListPath_)) return false;
  rootDirList_.LoadFromFile(rootDirListPath_.c_str());

  CXMLArchiveItem appPath = archive.GetFirstItem(L"Setup/RegAppPath");
  if (appPath.IsValid()) {
    regRoot_ = MapRootKey(Text(appPath, L"HKEY", L"HKEY_LOCAL_MACHINE"));
    regSubKey_ = Text(appPath, L"SubKey");
    regValueName_ = Text(appPath, L"Value");
  }
  CXMLArchiveItem application = archive.GetFirstItem(L"Setup/Application");
  if (application.IsValid()) mainApp_ = Text(application, L"MainApp");

  closePrograms_.clear();
  CXMLArchiveItemList programs = archive.GetItemList(L"Setup/CloseAllPrograms/Program");
  for (int i = 0; i < programs.GetCount(); ++i) {
    CXMLArchiveItem item = programs.GetItem(i);
    if (!item.IsValid()) break;
    std::wstring windowClass = Text(item, L"WindowClass");
    if (windowClass.size() > kMaxWindowClass) continue;
    CloseProgramRecord record{};
    Fits(windowClass, record.windowClass);
    record.message = MapCloseMessage(Text(item, L"Message", L"WM_CLOSE"));
    record.wParam = static_cast<UINT32>(Int(item, L"WPARAM", 0x168));
    record.lParam = static_cast<UINT32>(Int(item, L"LPARAM", 0x168));
    record.timeout = static_cast<UINT32>(Int(item, L"Timeout", 2000));
    closePrograms_.push_back(record);
  }

  unregisterItems_.clear();
  bool is64 = Is64BitSystem();
  CXMLArchiveItemList items = archive.GetItemList(L"Setup/RundllUnRegisterOnUnInst/Item");
  for (int i = 0; i < items.GetCount(); ++i) {
    CXMLArchiveItem item = items.GetItem(i);
    if (!KeepForSystem(Text(item, L"System"), is64)) continue;
    UnregisterRecord record{};
    if (!Fits(Text(item, L"FileName"), record.fileName) || !Fits(Text(item, L"Entry"), record.entry) ||
        !Fits(Text(item, L"Cmdline"), record.cmdline)) {
      continue;
    }
    record.waitTime = Int(item, L"WaitTime", 0);
    unregisterItems_.push_back(record);
  }

  uninstallPrograms_.clear();
  CXMLArchiveItemList calls = archive.GetItemList(L"Setup/CallProgramOnUninst/Program");
  for (int i = 0; i < calls.GetCount(); ++i) {
    ProgramRecord record;
    if (ReadProgram(calls.GetItem(i), record)) uninstallPrograms_.push_back(record);
  }
  return true;
}

bool CSetupConfig::GetVersion(wchar_t* buffer, int size) const { return CopyOut(version_, buffer, size); }
bool CSetupConfig::GetMainApp(wchar_t* buffer, int size) const { return CopyOut(mainApp_, buffer, size); }
bool CSetupConfig::GetRegSubKey(wchar_t* buffer, int size) const { return CopyOut(regSubKey_, buffer, size); }
bool CSetupConfig::GetRegValueName(wchar_t* buffer, int size) const {
  return CopyOut(regValueName_, buffer, size);
}

bool CSetupConfig::GetCloseProgram(int index, CloseProgramRecord* record) const {
  if (!record) return false;
  *record = CloseProgramRecord{};
  if (index < 0 || index >= GetCloseProgramCount()) return false;
  *record = closePrograms_[static_cast<size_t>(index)];
  return true;
}

bool CSetupConfig::GetCheckFile(int index, wchar_t* buffer, int size) const {
  if (buffer && size > 0) buffer[0] = L'\0';
  if (index < 0 || index >= GetCheckFileCount()) return false;
  return CopyOut(checkFiles_[static_cast<size_t>(index)], buffer, size);
}

bool CSetupConfig::GetInstallProgram(int index, ProgramRecord* record) const {
  if (!record) return false;
  *record = ProgramRecord{};
  if (index < 0 || index >= GetInstallProgramCount()) return false;
  *record = installPrograms_[static_cast<size_t>(index)];
  return true;
}

bool CSetupConfig::GetUninstallProgram(int index, ProgramRecord* record) const {
  if (!record) return false;
  *record = ProgramRecord{};
  if (index < 0 || index >= GetUninstallProgramCount()) return false;
  *record = uninstallPrograms_[static_cast<size_t>(index)];
  return true;
}

int RunPreInitLibraryCheck() {
  wchar_t module[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 3;
  std::wstring path(module, length);
  path = path.substr(0, path.find_last_of(L'\\') + 1) + L"7z.dll";
  return LoadArchiveLibrary(path.c_str()) ? 0 : 3;
}
