#pragma once
// Writes small UTF-16 documents for the configuration tests.
#include <windows.h>

#include <string>

#include "common/ComPtr.h"
#include "tests/unit/TestSupport.h"

namespace config_test {

inline bool WriteUtf16(const std::wstring& path, const std::wstring& text) {
  std::string bytes("\xFF\xFE", 2);
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return test_support::WriteFileBytes(path, bytes);
}

inline std::wstring Doc(const std::wstring& body) {
  return L"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n" + body;
}

using ComScope = win::ComInitScope;

}  // namespace config_test
