#include "tests/unit/TestSupport.h"

#include <shlobj.h>
#include <winioctl.h>
#include <vector>

#include "common/UniqueHandle.h"

namespace test_support {

std::wstring MakeScratchDir(const std::wstring& tag) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  // A name no earlier run left behind: the directory must be new.
  for (;;) {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    std::wstring dir = std::wstring(temp) + L"uninst-test-" + tag + L"-" + std::to_wstring(::GetCurrentProcessId()) +
                       L"-" + std::to_wstring(now.QuadPart);
    if (::CreateDirectoryW(dir.c_str(), nullptr)) return dir;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return dir;
  }
}

std::string ReadFileBytes(const std::wstring& path) {
  win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got) bytes.append(chunk, got);
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

size_t CountOf(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size()))
    ++count;
  return count;
}

bool MakeSparseFile(const std::wstring& path, unsigned long long size) {
  win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD ignored = 0;
  ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
}

std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

DWORD RunFixture(const std::wstring& exe_name, const std::wstring& arguments, DWORD timeout_ms) {
  std::wstring exe = ExeDir() + exe_name;
  std::wstring line = L"\"" + exe + L"\" " + arguments;
  std::vector<wchar_t> buffer(line.begin(), line.end());
  buffer.push_back(L'\0');
  STARTUPINFOW si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return ~0u;
  win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return ~0u;
  }
  DWORD code = ~0u;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

}  // namespace test_support
