#include "identity/ProductTable.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/UniqueHandle.h"

namespace identity {

namespace {

bool IsFileIn(const std::wstring& directory, const std::wstring& name) {
  wchar_t path[MAX_PATH] = {};
  if (directory.empty() || !::PathCombineW(path, directory.c_str(), name.c_str())) return false;
  DWORD attributes = ::GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Lookup(const std::map<int, std::wstring>& column, int id) {
  auto it = column.find(id);
  return it == column.end() ? std::wstring() : it->second;
}

}  // namespace

const ProductTable& Products() {
  // The other products of the family (identifiers 60 to 70) are not handled by this program.
  static const ProductTable table = {
      {{kProductLumetta, L"vantel.exe"}},
      {{kProductLumetta, L"tarvo"}},
      {{kProductLumetta, L"Software\\orbWallPaper"}},
  };
  return table;
}

std::wstring ProductDirectory(const std::wstring& module_path, int levels) {
  if (module_path.empty() || module_path.size() >= MAX_PATH) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  module_path.copy(path, module_path.size());
  ::PathRemoveFileSpecW(path);
  for (int i = 0; i < levels; ++i) ::PathRemoveFileSpecW(path);
  return path;
}

int DetectProductIn(const std::wstring& directory) {
  for (const auto& row : Products().mainExecutable) {
    if (IsFileIn(directory, row.second)) return row.first;
    if (row.first == kProductLumetta && IsFileIn(directory, L"dazovoze.exe")) return row.first;
  }
  return kProductNone;
}

int DetectProduct(int levels) {
  if (levels < 0) return kProductNone;
  wchar_t module[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return kProductNone;
  return DetectProductIn(ProductDirectory(module, levels));
}

std::wstring GetProductCode(int levels) { return Lookup(Products().productCode, DetectProduct(levels)); }

std::wstring GetProductPid(int levels) {
  return ReadProductPidValue(HKEY_LOCAL_MACHINE, Lookup(Products().pidKey, DetectProduct(levels)), KEY_WOW64_32KEY);
}

std::wstring ReadProductPidValue(HKEY root, const std::wstring& key_path, REGSAM view) {
  win::UniqueKey key;
  if (::RegOpenKeyExW(root, key_path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return std::wstring();
  wchar_t data[260 + 1] = {};  // 520 bytes, and room for a terminator the checks below insist on
  DWORD size = 520, type = 0;
  if (::RegQueryValueExW(key.get(), L"PID", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
    return std::wstring();
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::wstring();
  if (size == 0) return std::wstring();
  if (size % 2 != 0 || data[size / 2 - 1] != L'\0') return std::wstring();
  return data;
}

}  // namespace identity
