#include "startup/ProductRestore.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <winver.h>

#include <vector>

#include "common/ComPtr.h"
#include "common/RegistryText.h"
#include "common/UniqueHandle.h"
#include "engine/FileRemoval.h"
#include "engine/InstallFacts.h"
#include "engine/SystemCleanup.h"

namespace {

std::wstring Join(const std::wstring& dir, const wchar_t* name) {
  if (dir.empty()) return std::wstring();
  std::wstring out = dir;
  if (out.back() != L'\\') out += L'\\';
  return out + name;
}

std::wstring SpecialFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, TRUE)) return std::wstring();
  return buffer;
}

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring DirectoryOf(const std::wstring& path) {
  size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

// Deletes the product's shortcuts and menu folders from one desktop and one programs menu;
// "orb安全中心" goes only when nothing of another product is left in it.
void RemoveOldEntries(int desktop_csidl, int programs_csidl) {
  std::wstring desktop = SpecialFolder(desktop_csidl);
  if (!desktop.empty()) {
    for (const wchar_t* name : {L"orb壁纸.lnk", L"Lumetta.lnk", L"LumettaLite.lnk"})
      DeleteOrScheduleAtRestart(Join(desktop, name).c_str());
  }
  std::wstring programs = SpecialFolder(programs_csidl);
  if (programs.empty()) return;
  for (const wchar_t* folder : {L"Lumetta", L"orb安全中心\\orb壁纸"}) {
    std::wstring path = Join(programs, folder);
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) PurgeTree(path.c_str());
  }
  ::RemoveDirectoryW(Join(programs, L"orb安全中心").c_str());  // fails while it holds anything
}

bool EnsureFolder(const std::wstring& path) {
  if (IsDirectory(path)) return true;
  int result = ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
  return (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS) && IsDirectory(path);
}

}  // namespace

CProductRestore::CProductRestore() {
  if (!ReadRegText(HKEY_LOCAL_MACHINE, kApplicationKey, L"path", KEY_WOW64_32KEY, install_dir_)) install_dir_.clear();
}

ProductEdition CProductRestore::ReadEdition() {
  std::wstring name;
  ReadRegText(HKEY_LOCAL_MACHINE, kApplicationKey, L"ProductName", KEY_WOW64_32KEY, name);
  return ::lstrcmpiW(name.c_str(), L"lumetta") == 0 ? ProductEdition::Own : ProductEdition::Partner;
}

std::wstring CProductRestore::FileVersionText(const std::wstring& path) {
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (!size) return std::wstring();
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::wstring();
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return std::wstring();
  wchar_t text[64] = {};
  wsprintfW(text, L"%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
            HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
  return text;
}

bool CProductRestore::CreateShortcut(const wchar_t* target, const wchar_t* arguments, const wchar_t* link_path,
                                     const wchar_t* icon_file, int icon_index, bool notify) {
  if (!target || !link_path || ::GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES) return false;
  win::ComInitScope com;  // the entry has COM already; this only keeps the call self-contained
  win::ComPtr<IShellLinkW> link;
  win::ComPtr<IPersistFile> file;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
      !link || FAILED(link.As(IID_IPersistFile, &file)) || !file)
    return false;
  if (FAILED(link->SetPath(target))) return false;
  if (arguments && *arguments && FAILED(link->SetArguments(arguments))) return false;
  link->SetShowCmd(SW_SHOW);
  if (icon_index >= 0 && icon_file) {
    wchar_t short_path[MAX_PATH] = {};
    DWORD length = ::GetShortPathNameW(icon_file, short_path, MAX_PATH);
    const wchar_t* icon = (length && length < MAX_PATH) ? short_path : icon_file;
    if (FAILED(link->SetIconLocation(icon, icon_index))) return false;
  }
  if (FAILED(link->SetWorkingDirectory(DirectoryOf(target).c_str()))) return false;
  if (FAILED(file->Save(link_path, TRUE))) return false;
  if (notify) {
    ::PostMessageW(HWND_BROADCAST, WM_WININICHANGE, SPI_SETNONCLIENTMETRICS, 0);
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST | SHCNF_FLUSH, nullptr, nullptr);
  }
  return true;
}

bool CProductRestore::CreateEditionShortcuts(ProductEdition edition) {
  std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  if (desktop.empty() || programs.empty()) return false;
  std::wstring main_program = Join(install_dir_, L"vantel.exe");
  std::wstring uninstaller = Join(install_dir_, L"Uninstall.exe");

  const bool own = edition == ProductEdition::Own;
  const wchar_t* desktop_name =
      own ? (::lstrcmpiW(::ReadPid().c_str(), L"zorizIrav") == 0 ? L"LumettaLite.lnk" : L"Lumetta.lnk") : L"orb壁纸.lnk";
  const int icon = own ? 1 : 0;
  std::wstring menu = Join(programs, own ? L"Lumetta" : L"orb安全中心\\orb壁纸");

  if (!CreateShortcut(main_program.c_str(), nullptr, Join(desktop, desktop_name).c_str(), main_program.c_str(), icon,
                      false))
    return false;
  if (!EnsureFolder(menu)) return false;
  if (!CreateShortcut(main_program.c_str(), nullptr, Join(menu, own ? L"Lumetta.lnk" : L"orb壁纸.lnk").c_str(),
                      main_program.c_str(), icon, false))
    return false;
  return CreateShortcut(uninstaller.c_str(), nullptr, Join(menu, own ? L"卸载Lumetta.lnk" : L"卸载orb壁纸.lnk").c_str(),
                        uninstaller.c_str(), 0, true);
}

bool CProductRestore::WriteRegistration(ProductEdition edition) {
  win::UniqueKey key;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallRegistrationKey, 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  const bool own = edition == ProductEdition::Own;
  // An entry without a display name is not listed among the installed programs, so the own
  // edition names itself; the partner edition shows the main program's icon.
  const std::wstring values[][2] = {
      {L"DisplayIcon", own ? Join(install_dir_, L"Utils\\lumetta.ico") : Join(install_dir_, L"vantel.exe")},
      {L"DisplayName", own ? L"Lumetta" : L"orb壁纸"},
      {L"DisplayVersion", FileVersionText(Join(install_dir_, L"vantel.exe"))},
      {L"InstallLocation", install_dir_},
      {L"Publisher", own ? L"" : L"orb互联网安全中心"},
      {L"UninstallString", Join(install_dir_, L"Uninstall.exe")},
      {L"URLInfoAbout", own ? L"" : kPartnerHomePage},
  };
  bool ok = true;
  for (const auto& value : values) ok = win::SetUnterminatedText(key.get(), value[0].c_str(), value[1]) == ERROR_SUCCESS && ok;
  return ok;
}

void CProductRestore::RestoreRegistration() {
  if (install_dir_.empty() || !IsDirectory(install_dir_)) return;
  RemoveOldEntries(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS);
  RemoveOldEntries(CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS);
  ProductEdition edition = ReadEdition();
  if (CreateEditionShortcuts(edition)) WriteRegistration(edition);
}

void CProductRestore::EnableAutorun() {
  // A relative config.set path would land in the Windows directory.
  if (install_dir_.empty()) return;
  ::WritePrivateProfileStringW(L"auto_run", L"open", L"1", Join(install_dir_, L"config.set").c_str());
  SetAutorun(true, Join(install_dir_, L"rodozivo.exe").c_str(), nullptr, nullptr, 60);
}

void RunRestoreMode() {
  CProductRestore restore;
  restore.RestoreRegistration();
  restore.EnableAutorun();
}
