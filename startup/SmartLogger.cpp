#include "startup/SmartLogger.h"

#include <windows.h>
#include <shlobj.h>
#include <cstdarg>
#include <cstdio>

#include "common/UniqueHandle.h"

namespace {

bool DirectoryExists(const std::wstring& dir) {
  DWORD attributes = ::GetFileAttributesW(dir.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring DirectoryOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Formats into a 512-character buffer; false when the message needs more than 511.
bool FormatMessage511(wchar_t (&buffer)[kLogMessageMax + 1], const wchar_t* format, va_list args) {
  int written = ::_vsnwprintf(buffer, kLogMessageMax, format, args);
  if (written < 0) return false;
  buffer[written] = L'\0';
  return true;
}

TaskLogSink g_task_sink = &WriteLogLine;

}  // namespace

CSmartLogger::~CSmartLogger() { pending_.clear(); }

std::wstring CSmartLogger::TimeStamp() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  wchar_t text[32];
  ::_snwprintf(text, 32, L"%04d-%02d-%02d %02d:%02d:%02d ", t.wYear, t.wMonth, t.wDay, t.wHour,
               t.wMinute, t.wSecond);
  text[31] = L'\0';
  return text;
}

void CSmartLogger::SetLogPath(const std::wstring& path) {
  path_ = path;
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  unsigned long long size = 0;
  {
    win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER li{};
    if (file && ::GetFileSizeEx(file.get(), &li)) size = static_cast<unsigned long long>(li.QuadPart);
  }
  if (size > kLogSizeLimit) ::DeleteFileW(path.c_str());
}

size_t CSmartLogger::AddLine(const std::wstring& line) {
  _BaseModule::CAutoLocker hold(&lock_);
  std::wstring text = line;
  if (!text.empty() && text.back() != L'\n') text += L'\n';
  pending_.push_back(TimeStamp() + text);
  if (pending_.size() > 100) Flush();
  return pending_.size();
}

bool CSmartLogger::Flush() {
  _BaseModule::CAutoLocker hold(&lock_);
  if (path_.empty()) return false;
  std::wstring dir = DirectoryOf(path_);
  if (!dir.empty() && !DirectoryExists(dir)) ::SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
  bool opened = false;
  if (dir.empty() || DirectoryExists(dir)) {
    if (FILE* file = ::_wfopen(path_.c_str(), L"at")) {
      opened = true;
      if (first_write_) {
        ::fwprintf(file, L"\r\n================== Start Log:%ls ==================\n", TimeStamp().c_str());
        first_write_ = false;
      }
      for (const std::wstring& line : pending_) ::fputws(line.c_str(), file);
      ::fflush(file);
      ::fclose(file);
    }
  }
  pending_.clear();
  return opened;
}

void CSmartLogger::Clear() {
  _BaseModule::CAutoLocker hold(&lock_);
  pending_.clear();
}

CSmartLogger& ProcessLog() {
  static CSmartLogger log;
  return log;
}

void WriteLogLine(const wchar_t* text) {
  CSmartLogger& log = ProcessLog();
  log.AddLine(text);
  log.Flush();
}

void SetTaskLogSink(TaskLogSink sink) { g_task_sink = sink ? sink : &WriteLogLine; }

void LogPrintf(const wchar_t* format, ...) {
  wchar_t buffer[kLogMessageMax + 1];
  va_list args;
  va_start(args, format);
  bool fits = FormatMessage511(buffer, format, args);
  va_end(args);
  if (fits) WriteLogLine(buffer);
}

void TaskLogPrintf(const wchar_t* format, ...) {
  wchar_t buffer[kLogMessageMax + 1];
  va_list args;
  va_start(args, format);
  bool fits = FormatMessage511(buffer, format, args);
  va_end(args);
  if (fits) g_task_sink(buffer);
}
