#pragma once
// Deleting the product's files and directories, and what happens to those that are locked:
// moved aside on their own drive and deleted at the next restart (pending renames, or a
// batch file registered under RunOnce when scheduling is not allowed).
//
// Links (junctions, symbolic links, mount points) are never followed: every walk below
// removes a link as a link and never enumerates, counts or deletes what it points to.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"

// Full paths that still existed after a deletion attempt; duplicates allowed.
using LeftoverList = std::vector<std::wstring>;
using FileDoneCallback = std::function<void()>;

// Shell delete of a file or a whole directory, silently; true for any non-null path.
bool ShellDelete(const wchar_t* path);
// Deletes a file (read-only too) or a directory tree; a path that survives joins the list.
bool DeleteFileOrDir(const std::wstring& path, LeftoverList& leftovers);
// Deletes a directory tree file by file; the callback runs once per file, deleted or not.
bool DeleteTree(const std::wstring& directory, LeftoverList& leftovers, const FileDoneCallback& callback);
// Deletes a tree; what cannot go now is scheduled for the next restart. Records nothing.
bool PurgeTree(const wchar_t* directory);
// True when the path is gone or never existed; otherwise schedules it for the next restart.
bool DeleteOrScheduleAtRestart(const wchar_t* path);
bool RemoveNow(const std::wstring& path);
// Moves the path into the cache folder of its drive under a fresh cache name.
bool MoveAside(const std::wstring& path, std::wstring& new_path);
// Deletes (or schedules) every file with the extension, e.g. ".tmp", anywhere in the tree.
bool DeleteByExtension(const std::wstring& directory, const std::wstring& extension);
// Deletes the entries named by the value names of HKLM\sub_key, relative to the directory.
void RemoveRegistryListedFiles(const std::wstring& install_dir, const wchar_t* sub_key, LeftoverList& leftovers);
// Deletes the uninstaller's copy under Program Files and its folders when they are empty.
void RemoveProgramFilesCopy();
// Moves the leftovers aside and schedules them (or writes the RunOnce batch file).
bool RunOnceCleanup(LeftoverList& leftovers, const wchar_t* install_dir);

// "{GUID}-TemporaryCache" with a new GUID.
std::wstring NewTemporaryCacheName();

// Deletion at the next restart (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT). Replaceable so
// that the batch-file fallback can be exercised where scheduling is always allowed.
using RestartScheduler = bool (*)(const wchar_t* path);
bool ScheduleDeleteAtRestart(const wchar_t* path);
void SetRestartScheduler(RestartScheduler scheduler);  // null restores the system call

const wchar_t kFileListKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe\\file_list";
const wchar_t kFilePeKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe\\file_pe";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The RunOnce batch file: ANSI text in the ANSI temporary directory, created on the first line.
class BatchFile {
 public:
  // Appends one line made from a format with one "%s" and the path. The path is converted to
  // the thread's ANSI code page; a path that would not survive the conversion or that cmd
  // would expand is refused (false), as is a line that does not fit.
  bool AppendPathLine(const char* format, const std::wstring& path);
  // Appends a line as it stands (at most 519 bytes, longer output is cut).
  bool AppendRaw(const char* text);
  bool IsOpen() const { return static_cast<bool>(file_); }
  const std::string& Path() const { return path_; }
  std::string FileName() const;
  void Close() { file_.reset(); }

  // The path as a batch line may carry it: ANSI, every "%" doubled. False when that is not
  // possible without changing which file the line names.
  static bool ToBatchText(const std::wstring& path, std::string& out);

 private:
  bool Create();
  win::UniqueFile file_;
  std::string path_;
};

// The install-directory phase: deletes the top-level entries that the allow list names or
// that the maker signed, with everything inside them, and reports progress 10..98.
class CInstallDirRemover {
 public:
  using NameTest = std::function<bool(const std::wstring& upper_name)>;
  using PathTest = std::function<bool(const std::wstring& path)>;
  using ProgressSink = std::function<void(int)>;

  CInstallDirRemover(NameTest is_listed, PathTest is_signed, ProgressSink progress)
      : is_listed_(std::move(is_listed)), is_signed_(std::move(is_signed)), progress_(std::move(progress)) {}

  void SetInstallDir(const std::wstring& dir) { install_dir_ = dir; }
  void RemoveInstallDirContents(const std::wstring& directory, LeftoverList& leftovers);
  bool CountRemovableFiles(const std::wstring& directory, int& count);
  void IncrementProgress();

  int ProgressCount() const { return progress_count_; }
  int TotalCount() const { return total_count_; }

 private:
  bool IsTopLevel(const std::wstring& full_path) const;
  bool Belongs(const std::wstring& upper_name, const std::wstring& full_path) const;

  NameTest is_listed_;
  PathTest is_signed_;
  ProgressSink progress_;
  std::wstring install_dir_;
  int progress_count_ = 0;
  int total_count_ = 0;
};

// Upper-case copy (the form the allow list and the log use).
std::wstring UpperName(const std::wstring& name);
