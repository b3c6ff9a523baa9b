#pragma once
// Registry and folder helpers of the cleanup and restore tests.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "common/UniqueHandle.h"

namespace cleanup_test {

inline REGSAM DefaultView(HKEY root) { return root == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : 0; }

inline bool SetText(HKEY root, const std::wstring& key_path, const wchar_t* name, const std::wstring& value,
                    REGSAM view = ~0u, DWORD type = REG_SZ) {
  if (view == ~0u) view = DefaultView(root);
  win::UniqueKey key;
  if (::RegCreateKeyExW(root, key_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return ::RegSetValueExW(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The value's data exactly as stored (a terminating NUL shows as a trailing L'\0').
inline std::wstring RawValue(HKEY root, const std::wstring& key_path, const wchar_t* name, REGSAM view,
                             DWORD* type = nullptr, DWORD* bytes = nullptr) {
  win::UniqueKey key;
  if (::RegOpenKeyExW(root, key_path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return L"<no key>";
  DWORD t = 0, size = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &t, nullptr, &size) != ERROR_SUCCESS) return L"<no value>";
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(key.get(), name, nullptr, &t, reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS)
    return L"<unreadable>";
  data.resize(size / sizeof(wchar_t));
  if (type) *type = t;
  if (bytes) *bytes = size;
  return data;
}

inline bool ValueExists(HKEY root, const std::wstring& key_path, const wchar_t* name, REGSAM view) {
  win::UniqueKey key;
  if (::RegOpenKeyExW(root, key_path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return false;
  return ::RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

inline bool KeyExists(HKEY root, const std::wstring& key_path, REGSAM view = ~0u) {
  if (view == ~0u) view = DefaultView(root);
  win::UniqueKey key;
  return ::RegOpenKeyExW(root, key_path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

inline void DeleteValue(HKEY root, const std::wstring& key_path, const wchar_t* name, REGSAM view) {
  win::UniqueKey key;
  if (::RegOpenKeyExW(root, key_path.c_str(), 0, KEY_SET_VALUE | view, key.put()) == ERROR_SUCCESS)
    ::RegDeleteValueW(key.get(), name);
}

inline std::wstring SpecialDir(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  ::SHGetSpecialFolderPathW(nullptr, buffer, csidl, TRUE);
  return buffer;
}

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool MakeFile(const std::wstring& path) {
  std::wstring dir = path.substr(0, path.find_last_of(L'\\'));
  ::SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
  win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  return static_cast<bool>(file);
}

inline void RemoveTree(const std::wstring& dir) {
  std::wstring from = dir + L'\0';
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  ::SHFileOperationW(&op);
}

inline std::string Narrow(const std::wstring& text) {
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
  return out;
}

}  // namespace cleanup_test
