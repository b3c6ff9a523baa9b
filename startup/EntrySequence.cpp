#include "startup/EntrySequence.h"

#include <cwctype>

namespace entry {

const wchar_t kBrokenUninstallerText[] = L"卸载程序已被破坏，请重新下载安装后再进行卸载";
const wchar_t kBroken7zText[] = L"7z.dll文件破坏，请重新下载安装后进行卸载";
const wchar_t kAlreadyRunningText[] = L"安装或卸载程序已经在运行,点击“确定”退出";
const wchar_t kInitFailureKey[] = L"&{720260B5-154E-483f-A485-0B46C3D6C50D}=";
const wchar_t kReinstallPage[] = L"http://www.lumetta-soft.com/download/";

std::wstring ArgumentsOfCommandLine(const wchar_t* line) {
  if (!line) return std::wstring();
  const wchar_t* p = line;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

std::wstring BuildCopyParameters(const std::wstring& command_line, bool silent, const std::wstring& token) {
  std::wstring parameters = command_line + L"  " + kReadyUninstall;
  if (silent) parameters += std::wstring(L"  ") + kCallerTokenSwitch + L"=" + token;
  return parameters;
}

namespace {

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool IsLegalCallToken(bool silent, bool relaunched, const std::wstring& token, const std::wstring& key,
                      const DecryptFunction& decrypt) {
  if (!silent || !relaunched) return true;
  if (token.empty() || !decrypt) return false;
  return EqualIgnoringCase(decrypt(token, key), kCallerWord);
}

std::wstring ChooseTemporaryCacheDir(const std::wstring& temp_dir, const std::function<std::wstring()>& new_name,
                                     const std::function<bool(const std::wstring&)>& exists) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::wstring candidate = temp_dir + new_name();
    if (!exists(candidate)) return candidate;
  }
  return std::wstring();
}

std::wstring ProgramNameOfPath(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

std::wstring UninstallFromExtra(const std::wstring& program, const std::wstring& os_version) {
  return L"&ex1=" + program + L"&ex2=" + os_version;
}

std::wstring OsVersionText(bool known, unsigned long major, unsigned long minor) {
  if (!known) return std::wstring();
  return std::to_wstring(major) + L"." + std::to_wstring(minor);
}

std::wstring PreInitFailureText(int code) {
  if (code == 2) return kBrokenUninstallerText;
  if (code == 3) return kBroken7zText;
  return std::wstring();
}

std::wstring PreInitFailureExtra(int code) {
  return std::wstring(kInitFailureKey) + L"PreInitCheck:" + std::to_wstring(code);
}

}  // namespace entry
