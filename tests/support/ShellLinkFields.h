#pragma once
// A shell link read back through IShellLinkW, for checking the shortcuts the restore mode makes.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "common/ComPtr.h"

struct ShellLinkFields {
  bool loaded = false;
  std::wstring path, arguments, working_dir, icon;
  int icon_index = -1;
  int show = 0;
};

inline ShellLinkFields ReadShellLink(const std::wstring& link_path) {
  ShellLinkFields out;
  win::ComInitScope com;
  win::ComPtr<IShellLinkW> link;
  win::ComPtr<IPersistFile> file;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
      FAILED(link.As(IID_IPersistFile, &file)) || FAILED(file->Load(link_path.c_str(), STGM_READ)))
    return out;
  wchar_t buffer[MAX_PATH] = {};
  out.loaded = true;
  if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH))) out.path = buffer;
  buffer[0] = 0;
  if (SUCCEEDED(link->GetArguments(buffer, MAX_PATH))) out.arguments = buffer;
  buffer[0] = 0;
  if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) out.working_dir = buffer;
  buffer[0] = 0;
  if (SUCCEEDED(link->GetIconLocation(buffer, MAX_PATH, &out.icon_index))) out.icon = buffer;
  link->GetShowCmd(&out.show);
  return out;
}
