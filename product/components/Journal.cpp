#include "product/components/Journal.h"

#include <vector>

#include "common/UniqueHandle.h"

namespace component {
namespace {

std::wstring JournalDir() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableW(L"COMPONENT_JOURNAL_DIR", buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  return buffer;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring OwnModulePath() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModulePath), &self);
  std::vector<wchar_t> buffer(32768);
  DWORD n = GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), n);
}

std::wstring FileNameOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring Control(const wchar_t* key, const wchar_t* fallback) {
  std::wstring dir = JournalDir();
  if (dir.empty()) return fallback;
  std::wstring ini = dir + L"\\" + FileNameOf(OwnModulePath()) + L".ini";
  std::vector<wchar_t> buffer(8192);
  GetPrivateProfileStringW(L"control", key, fallback, buffer.data(), static_cast<DWORD>(buffer.size()), ini.c_str());
  return buffer.data();
}

int ControlInt(const wchar_t* key, int fallback) {
  std::wstring text = Control(key);
  return text.empty() ? fallback : _wtoi(text.c_str());
}

void Journal(const wchar_t* kind, std::initializer_list<std::wstring> fields) {
  std::wstring dir = JournalDir();
  if (dir.empty()) return;
  std::wstring line = kind;
  line += L"\t" + std::to_wstring(GetTickCount()) + L"\t" + OwnModulePath();
  for (const auto& f : fields) line += L"\t" + f;
  std::string bytes = ToUtf8(line) + "\n";
  std::wstring path = dir + L"\\journal.txt";
  // Several components may write at once; a sharing conflict is retried briefly.
  for (int attempt = 0; attempt < 50; ++attempt) {
    win::UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD written = 0;
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      return;
    }
    Sleep(20);
  }
}

}  // namespace component
