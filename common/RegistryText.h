#pragma once
// REG_SZ values that hold exactly their characters, with no terminating zero, as the product's
// own tools write and read them. The registry extends a byte count that leaves the zero out
// whenever a zero follows the data in memory, so the text is handed over from a copy that ends
// in a non-zero guard character instead.
#include <windows.h>

#include <string>

#include "common/UniqueHandle.h"

namespace win {

inline LSTATUS SetUnterminatedText(HKEY key, const wchar_t* name, const std::wstring& text) {
  std::wstring guarded = text + L'~';
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(guarded.c_str()),
                          static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

// The same under a sub-key, created when missing.
inline LSTATUS SetUnterminatedText(HKEY root, const wchar_t* sub_key, const wchar_t* name, const std::wstring& text) {
  UniqueKey key;
  LSTATUS status = ::RegCreateKeyExW(root, sub_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
  return status == ERROR_SUCCESS ? SetUnterminatedText(key.get(), name, text) : status;
}

}  // namespace win
