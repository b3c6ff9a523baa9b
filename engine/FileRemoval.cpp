#include "engine/FileRemoval.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>

#include "startup/SmartLogger.h"

namespace {

constexpr size_t kMaxPath = MAX_PATH;  // 260: paths must stay below it

RestartScheduler g_scheduler = nullptr;

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsDots(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

std::wstring Join(const std::wstring& directory, const std::wstring& name) {
  if (directory.empty()) return name;
  wchar_t last = directory.back();
  if (last == L'\\' || last == L'/') return directory + name;
  return directory + L'\\' + name;
}

// Calls visit(full path, find data) for each entry but "." and "..". A walk that cannot
// start is an empty directory.
template <class Visit>
void ForEachEntry(const std::wstring& directory, const wchar_t* pattern, Visit visit) {
  WIN32_FIND_DATAW data;
  win::UniqueFind find(::FindFirstFileExW(Join(directory, pattern).c_str(), FindExInfoBasic, &data,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return;
  do {
    if (IsDots(data.cFileName)) continue;
    visit(Join(directory, data.cFileName), data);
  } while (::FindNextFileW(find.get(), &data));
}

bool IsDirectoryEntry(const WIN32_FIND_DATAW& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Removes a link itself. A directory link goes with RemoveDirectoryW (which never touches
// the target); a file link with DeleteFileW.
bool RemoveLink(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (::RemoveDirectoryW(path.c_str())) return true;
  }
  if (::DeleteFileW(path.c_str())) return true;
  return !Exists(path);
}

// The shell's recursive delete follows links; take every link out of the tree first so that
// it can only see what really lies inside.
void RemoveLinksBelow(const std::wstring& directory) {
  ForEachEntry(directory, L"*", [](const std::wstring& path, const WIN32_FIND_DATAW& data) {
    if (IsLink(data.dwFileAttributes))
      RemoveLink(path);
    else if (IsDirectoryEntry(data))
      RemoveLinksBelow(path);
  });
}

std::wstring WindowsDriveLetterUpper() {
  wchar_t windows[MAX_PATH] = {};
  UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (!length || length >= MAX_PATH) return std::wstring();
  return UpperName(std::wstring(windows, 1));
}

std::wstring TempDirectory() {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  return (length && length <= MAX_PATH) ? std::wstring(buffer, length) : std::wstring();
}

// The folder a locked file of this path's drive moves into: the user's temporary directory
// on the Windows drive, else a hidden ".temp" at the drive's root.
std::wstring CacheFolderFor(const std::wstring& path) {
  std::wstring first = UpperName(path.substr(0, 1));
  if (first == WindowsDriveLetterUpper()) return TempDirectory();
  wchar_t folder[16];
  ::swprintf(folder, 16, L"%c:\\.temp", path[0]);
  if (!Exists(folder)) {
    if (::SHCreateDirectory(nullptr, folder) == ERROR_SUCCESS) {
      DWORD attributes = ::GetFileAttributesW(folder);
      if (attributes != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesW(folder, attributes | FILE_ATTRIBUTE_HIDDEN);
    }
  }
  return folder;
}

std::string Narrow(const std::wstring& text, UINT code_page, bool* lossy) {
  BOOL used_default = FALSE;
  BOOL* used = (code_page == CP_UTF8 || code_page == CP_UTF7) ? nullptr : &used_default;
  int size = ::WideCharToMultiByte(code_page, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   used);
  std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0)
    ::WideCharToMultiByte(code_page, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, used);
  if (lossy) *lossy = used_default != FALSE || (size <= 0 && !text.empty());
  return out;
}

}  // namespace

std::wstring UpperName(const std::wstring& name) {
  std::wstring upper = name;
  if (!upper.empty()) ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
  return upper;
}

std::wstring NewTemporaryCacheName() {
  GUID g{};
  ::CoCreateGuid(&g);
  wchar_t text[64];
  ::swprintf(text, 64, L"{%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}-TemporaryCache",
             static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
             g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

bool ScheduleDeleteAtRestart(const wchar_t* path) {
  if (g_scheduler) return g_scheduler(path);
  return ::MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

void SetRestartScheduler(RestartScheduler scheduler) { g_scheduler = scheduler; }

bool ShellDelete(const wchar_t* path) {
  if (!path) return false;
  DWORD attributes = ::GetFileAttributesW(path);
  if (IsLink(attributes)) {
    RemoveLink(path);
    return true;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // Most directories reach here already emptied: spare the shell for those.
    if (::RemoveDirectoryW(path)) return true;
    RemoveLinksBelow(path);
  }
  size_t length = ::wcsnlen(path, 4096);
  if (length > 4095) return true;
  std::wstring from(path, length);
  from.push_back(L'\0');  // the list ends with a second NUL
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
  ::SHFileOperationW(&op);
  return true;
}

bool DeleteFileOrDir(const std::wstring& path, LeftoverList& leftovers) {
  if (IsDirectory(path)) {
    ShellDelete(path.c_str());
  } else if (::DeleteFileW(path.c_str())) {
    LogPrintf(L"DeleteFile:%s suceesss", path.c_str());
  } else if (::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) && ::DeleteFileW(path.c_str())) {
    LogPrintf(L"DeleteFile:%s suceesss", path.c_str());
  }
  if (Exists(path)) {
    leftovers.push_back(path);
    return false;
  }
  return true;
}

bool DeleteTree(const std::wstring& directory, LeftoverList& leftovers, const FileDoneCallback& callback) {
  if (directory.empty() || directory.size() >= kMaxPath) return false;
  if (!IsLink(::GetFileAttributesW(directory.c_str()))) {
    ForEachEntry(directory, L"*", [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
      if (IsDirectoryEntry(data)) {
        DeleteTree(path, leftovers, callback);
      } else {
        DeleteFileOrDir(path, leftovers);
        if (callback) callback();
      }
    });
  }
  DeleteFileOrDir(directory, leftovers);
  return true;
}

bool PurgeTree(const wchar_t* directory) {
  if (!directory || !*directory || ::wcsnlen(directory, kMaxPath) >= kMaxPath) return false;
  DWORD attributes = ::GetFileAttributesW(directory);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    ::SetFileAttributesW(directory, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!IsLink(attributes)) {
    ForEachEntry(directory, L"*", [](const std::wstring& path, const WIN32_FIND_DATAW& data) {
      if (IsDirectoryEntry(data))
        PurgeTree(path.c_str());
      else
        DeleteOrScheduleAtRestart(path.c_str());
    });
  }
  ShellDelete(directory);
  return true;
}

bool DeleteOrScheduleAtRestart(const wchar_t* path) {
  if (::DeleteFileW(path)) return true;
  if (::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return true;
  ::SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  if (::DeleteFileW(path)) return true;
  LogPrintf(L"delete %s failed, error=%d", path, static_cast<int>(::GetLastError()));
  ScheduleDeleteAtRestart(path);
  return false;
}

bool RemoveNow(const std::wstring& path) {
  if (::DeleteFileW(path.c_str())) return true;
  if (!Exists(path)) return true;
  if (::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) && ::DeleteFileW(path.c_str())) return true;
  return IsDirectory(path) && ::RemoveDirectoryW(path.c_str());
}

bool MoveAside(const std::wstring& path, std::wstring& new_path) {
  if (path.empty() || !Exists(path)) return false;
  std::wstring base = CacheFolderFor(path);
  std::wstring target;
  if (!base.empty() && base.size() <= kMaxPath) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      std::wstring candidate = Join(base, NewTemporaryCacheName());
      if (!Exists(candidate)) {
        target = candidate;
        break;
      }
    }
  }
  if (!::MoveFileW(path.c_str(), target.c_str())) {
    LogPrintf(L"move %s to %s, failed, error=%d", path.c_str(), target.c_str(), static_cast<int>(::GetLastError()));
    return false;
  }
  if (Exists(path)) {
    // Two copies would be worse than one: give up the moved one.
    DeleteOrScheduleAtRestart(target.c_str());
    return false;
  }
  new_path = target;
  return true;
}

bool DeleteByExtension(const std::wstring& directory, const std::wstring& extension) {
  if (directory.empty() || extension.empty() || directory.size() >= kMaxPath) return false;
  ForEachEntry(directory, L"*.*", [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
    if (IsLink(data.dwFileAttributes) && IsDirectoryEntry(data)) return;  // never walk into a link
    if (IsDirectoryEntry(data)) {
      DeleteByExtension(path, extension);
      return;
    }
    if (::lstrcmpiW(::PathFindExtensionW(path.c_str()), extension.c_str()) != 0) return;
    if (::DeleteFileW(path.c_str())) return;
    if (!Exists(path)) return;
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::DeleteFileW(path.c_str())) return;
    if (IsDirectory(path) && ::RemoveDirectoryW(path.c_str())) return;
    std::wstring moved;
    std::wstring scheduled = MoveAside(path, moved) ? moved : path;
    ScheduleDeleteAtRestart(scheduled.c_str());
    LogPrintf(L"delete file:%s by pending:%s", path.c_str(), scheduled.c_str());
  });
  return true;
}

void RemoveRegistryListedFiles(const std::wstring& install_dir, const wchar_t* sub_key, LeftoverList& leftovers) {
  if (install_dir.empty() || !Exists(install_dir)) return;
  win::UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub_key, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, key.put()) != ERROR_SUCCESS)
    return;
  // Collect first: deleting does not change the key, but keep the walk simple and bounded.
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    LONG result = ::RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;  // a name too long for the buffer is skipped
    names.emplace_back(name, length);
  }
  for (const std::wstring& name : names) {
    std::wstring path = Join(install_dir, name);
    if (!Exists(path)) continue;
    if (IsDirectory(path))
      DeleteTree(path, leftovers, nullptr);
    else
      DeleteFileOrDir(path, leftovers);
  }
}

void RemoveProgramFilesCopy() {
  wchar_t program_files[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, program_files))) return;
  std::wstring orb = Join(program_files, L"orb");
  std::wstring folder = Join(orb, L"orbtarvo");
  std::wstring copy = Join(folder, L"Uninstall.exe");
  if (Exists(copy)) ::DeleteFileW(copy.c_str());
  if (Exists(folder)) ::RemoveDirectoryW(folder.c_str());
  if (Exists(orb)) ::RemoveDirectoryW(orb.c_str());
}

// --- RunOnce batch file ---------------------------------------------------------------------

bool BatchFile::ToBatchText(const std::wstring& path, std::string& out) {
  bool lossy = false;
  std::string text = Narrow(path, CP_THREAD_ACP, &lossy);
  if (lossy) {
    // A replaced character could turn the path into a wildcard ("?") naming other files;
    // the short name is plain ANSI where the volume keeps short names.
    wchar_t short_path[MAX_PATH] = {};
    DWORD length = ::GetShortPathNameW(path.c_str(), short_path, MAX_PATH);
    if (!length || length >= MAX_PATH) return false;
    text = Narrow(std::wstring(short_path, length), CP_THREAD_ACP, &lossy);
    if (lossy) return false;
  }
  out.clear();
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '"') return false;  // cannot be in a file name
    out.push_back(c);
    if (c == '%') out.push_back('%');  // "%%" is a literal "%" in a batch file
  }
  return true;
}

bool BatchFile::Create() {
  char temp[MAX_PATH] = {};
  DWORD length = ::GetTempPathA(MAX_PATH - 1, temp);
  if (!length || length >= MAX_PATH - 1) return false;
  char name[MAX_PATH] = {};
  if (!::GetTempFileNameA(temp, "mvk", 0, name)) return false;
  ::DeleteFileA(name);
  if (!::PathRenameExtensionA(name, ".bat")) return false;
  ::DeleteFileA(name);
  file_.reset(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) return false;
  path_ = name;
  return true;
}

bool BatchFile::AppendRaw(const char* text) {
  if (!file_ && !Create()) return false;
  size_t length = ::strnlen(text, 519);
  DWORD written = 0;
  return ::WriteFile(file_.get(), text, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

bool BatchFile::AppendPathLine(const char* format, const std::wstring& path) {
  std::string text;
  if (!ToBatchText(path, text)) {
    LogPrintf(L"batch line refused for %s", path.c_str());
    return false;
  }
  char line[520];
  int length = ::snprintf(line, sizeof(line), format, text.c_str());
  // A cut line would name a different path: refuse it rather than write it.
  if (length < 0 || length >= static_cast<int>(sizeof(line))) {
    LogPrintf(L"batch line refused for %s", path.c_str());
    return false;
  }
  return AppendRaw(line);
}

std::string BatchFile::FileName() const {
  size_t slash = path_.find_last_of("\\/");
  return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

namespace {

// Writes the batch file under RunOnce; the value is named after the file.
bool RegisterBatchFile(const BatchFile& batch) {
  win::UniqueKey key;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  std::string data = batch.Path();
  // A temporary directory with a blank (a user name like "Jo Smith") would otherwise start
  // whatever program the first word names.
  if (data.find(' ') != std::string::npos) data = "\"" + data + "\"";
  return ::RegSetValueExA(key.get(), batch.FileName().c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

}  // namespace

bool RunOnceCleanup(LeftoverList& leftovers, const wchar_t* install_dir) {
  if (!install_dir) return false;
  BatchFile batch;
  std::vector<std::wstring> directories;
  for (const std::wstring& path : leftovers) {
    if (IsDirectory(path)) {
      directories.push_back(path);
      continue;
    }
    std::wstring moved;
    if (MoveAside(path, moved)) {
      LogPrintf(L"cut %s to %s success", path.c_str(), moved.c_str());
      if (ScheduleDeleteAtRestart(moved.c_str())) {
        LogPrintf(L"write %s to pending success", moved.c_str());
      } else {
        batch.AppendPathLine("del /q \"%s\" \r\n", moved);
        LogPrintf(L"write to runonce bat: %s", moved.c_str());
      }
    } else {
      LogPrintf(L"cut %s to temp failed, delete by pending", path.c_str());
      DeleteOrScheduleAtRestart(path.c_str());
    }
  }
  leftovers.clear();

  for (const std::wstring& path : directories) {
    if (RemoveNow(path)) continue;
    std::wstring moved;
    if (MoveAside(path, moved)) {
      LogPrintf(L"cut %s to %s success", path.c_str(), moved.c_str());
      if (ScheduleDeleteAtRestart(moved.c_str())) {
        LogPrintf(L"write %s to pending success", moved.c_str());
      } else {
        batch.AppendPathLine("rd /s /q \"%s\" \r\n", moved);
        LogPrintf(L"write to runonce bat: %s", moved.c_str());
      }
    } else {
      LogPrintf(L"cut %s to temp failed,delete by pending", path.c_str());
      DeleteOrScheduleAtRestart(path.c_str());
    }
  }

  if (*install_dir) {
    wchar_t cache[16];
    ::swprintf(cache, 16, L"%c:\\.temp", install_dir[0]);
    if (ScheduleDeleteAtRestart(cache)) {
      LogPrintf(L"write %s to pending success", cache);
    } else {
      batch.AppendPathLine("rd /q \"%s\" \r\n", cache);
      LogPrintf(L"write to runonce bat: %s", cache);
    }
  }

  if (batch.IsOpen()) {
    int size = ::MultiByteToWideChar(CP_ACP, 0, batch.Path().c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? static_cast<size_t>(size - 1) : 0, L'\0');
    if (size > 1) ::MultiByteToWideChar(CP_ACP, 0, batch.Path().c_str(), -1, &wide[0], size);
    batch.AppendPathLine("del /q \"%s\" \r\n", wide);
    LogPrintf(L"write to runonce bat: %s", wide.c_str());
    if (RegisterBatchFile(batch)) LogPrintf(L"write runonce bat to registry");
  }
  ::RemoveDirectoryW(install_dir);
  batch.Close();
  return true;
}

// --- the install directory ------------------------------------------------------------------

bool CInstallDirRemover::IsTopLevel(const std::wstring& full_path) const {
  size_t slash = full_path.find_last_of(L'\\');
  std::wstring parent = slash == std::wstring::npos ? std::wstring() : full_path.substr(0, slash);
  std::wstring dir = install_dir_;
  while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  if (dir.size() == 3 && dir.back() == L'\\') dir.pop_back();  // "C:\" joins as "C:\name"
  // The application key and the enumeration may differ in letter case only.
  return ::CompareStringOrdinal(parent.c_str(), static_cast<int>(parent.size()), dir.c_str(),
                                static_cast<int>(dir.size()), TRUE) == CSTR_EQUAL;
}

bool CInstallDirRemover::Belongs(const std::wstring& upper_name, const std::wstring& full_path) const {
  return (is_listed_ && is_listed_(upper_name)) || (is_signed_ && is_signed_(full_path));
}

bool CInstallDirRemover::CountRemovableFiles(const std::wstring& directory, int& count) {
  if (directory.empty() || directory.size() >= kMaxPath) return false;
  ForEachEntry(directory, L"*", [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
    std::wstring upper = UpperName(data.cFileName);
    if (IsTopLevel(path) && !Belongs(upper, path)) {
      LogPrintf(L"File NOT exists in xml: %s", upper.c_str());
      return;
    }
    if (IsLink(data.dwFileAttributes)) return;  // a link is removed, not counted
    if (IsDirectoryEntry(data))
      CountRemovableFiles(path, count);
    else
      ++count;
  });
  return true;
}

void CInstallDirRemover::IncrementProgress() {
  ++progress_count_;
  if (progress_count_ > total_count_) progress_count_ = total_count_;
  float share = total_count_ > 0 ? static_cast<float>(progress_count_) / static_cast<float>(total_count_) : 1.0f;
  int value = static_cast<int>(share * 88.0f + 10.0f);
  if (progress_) progress_(value);
}

void CInstallDirRemover::RemoveInstallDirContents(const std::wstring& directory, LeftoverList& leftovers) {
  if (directory.empty() || directory.size() >= kMaxPath) return;
  int total = 0;
  if (!CountRemovableFiles(directory, total)) total = 200;
  total_count_ = total;
  ForEachEntry(directory, L"*", [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
    std::wstring upper = UpperName(data.cFileName);
    if (!Belongs(upper, path)) {
      LogPrintf(L"File NOT exists in xml: %s", upper.c_str());
      return;
    }
    if (IsDirectoryEntry(data)) {
      DeleteTree(path, leftovers, [this] { IncrementProgress(); });
    } else if (DeleteFileOrDir(path, leftovers)) {
      LogPrintf(L"Delete File: %s", path.c_str());
      IncrementProgress();
    }
  });
  bool removed = ::RemoveDirectoryW(directory.c_str()) != FALSE;
  LogPrintf(L"remove directory %s %s", directory.c_str(), removed ? L"suceess" : L"failed.");
}
