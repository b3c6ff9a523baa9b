#pragma once
// The diagnostic log: one time-stamped line per call, appended to the file at once.
#include <string>
#include <vector>

#include "startup/Locks.h"

class CSmartLogger {
 public:
  CSmartLogger() = default;
  CSmartLogger(const CSmartLogger&) = delete;
  CSmartLogger& operator=(const CSmartLogger&) = delete;
  virtual ~CSmartLogger();

  // Stores the path; an existing file over 1 GiB is deleted.
  void SetLogPath(const std::wstring& path);
  // Stamps and queues the line; returns how many lines are pending.
  size_t AddLine(const std::wstring& line);
  // Appends the pending lines; true when the file was opened. Pending lines are dropped
  // either way once a path is set.
  bool Flush();
  void Clear();

  const std::wstring& Path() const { return path_; }
  static std::wstring TimeStamp();

 private:
  _BaseModule::CCriticalSection lock_;
  std::vector<std::wstring> pending_;
  std::wstring path_;
  bool first_write_ = true;
};

// The process's log.
CSmartLogger& ProcessLog();

constexpr unsigned long long kLogSizeLimit = 1073741824ULL;
constexpr int kLogMessageMax = 511;

// printf-style formatting of wide text ("%s" takes a wide string); a message over 511
// characters is dropped.
void LogPrintf(const wchar_t* format, ...);
// The same for the windows; the line reaches the log through the uninstall task.
void TaskLogPrintf(const wchar_t* format, ...);

// Where TaskLogPrintf hands its finished text; by default straight to the log.
using TaskLogSink = void (*)(const wchar_t* text);
void SetTaskLogSink(TaskLogSink sink);
// Writes one already formatted line: AddLine then Flush.
void WriteLogLine(const wchar_t* text);
