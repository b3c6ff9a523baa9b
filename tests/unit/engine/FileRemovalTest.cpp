#include "engine/FileRemoval.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "startup/SmartLogger.h"
#include "tests/unit/TestSupport.h"

namespace {

using test_support::CountOf;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Narrow(const std::wstring& text) {
  int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
  return out;
}

// A copy of the sleeper program, running: it cannot be deleted, but it can be moved.
class RunningCopy {
 public:
  explicit RunningCopy(const std::wstring& path) : path_(path) {
    if (!::CopyFileW((test_support::ExeDir() + L"sleeper.exe").c_str(), path.c_str(), FALSE)) return;
    std::wstring line = L"\"" + path + L"\" 60000";
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(path.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    process_.reset(pi.hProcess);
    win::UniqueHandle thread(pi.hThread);
    ::WaitForInputIdle(process_.get(), 2000);
    ::Sleep(300);
  }
  ~RunningCopy() { Stop(); }
  void Stop() {
    if (!process_) return;
    ::TerminateProcess(process_.get(), 0);
    ::WaitForSingleObject(process_.get(), 5000);
    process_.reset();
  }
  bool Running() const { return static_cast<bool>(process_); }

 private:
  std::wstring path_;
  win::UniqueHandle process_;
};

std::vector<std::wstring> g_scheduled;
bool RecordSchedule(const wchar_t* path) {
  g_scheduled.push_back(path);
  return true;
}
bool RefuseSchedule(const wchar_t* path) {
  g_scheduled.push_back(path);
  return false;
}

class FileRemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_support::MakeScratchDir(L"removal");
    log_ = dir_ + L".log";
    ProcessLog().SetLogPath(log_);
    g_scheduled.clear();
    SetRestartScheduler(&RecordSchedule);
  }
  void TearDown() override { SetRestartScheduler(nullptr); }

  std::wstring Make(const std::wstring& rel, const std::string& bytes = "x") {
    std::wstring path = dir_ + L"\\" + rel;
    for (size_t at = path.find(L'\\', dir_.size() + 1); at != std::wstring::npos; at = path.find(L'\\', at + 1))
      ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }
  std::string Log() { return ReadFileBytes(log_); }

  std::wstring dir_, log_;
};

TEST_F(FileRemovalTest, ReadOnlyFileIsDeletedAndLogged) {
  std::wstring file = Make(L"ro.txt");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  LeftoverList leftovers;
  EXPECT_TRUE(DeleteFileOrDir(file, leftovers));
  EXPECT_FALSE(Exists(file));
  EXPECT_TRUE(leftovers.empty());
  EXPECT_NE(Log().find("DeleteFile:" + Narrow(file) + " suceesss\r\n"), std::string::npos) << Log();
}

TEST_F(FileRemovalTest, DirectoryGoesWholeAndALockedFileIsALeftover) {
  Make(L"tree\\a\\b\\deep.txt");
  std::wstring ro = Make(L"tree\\a\\ro.txt");
  ::SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
  LeftoverList leftovers;
  EXPECT_TRUE(DeleteFileOrDir(dir_ + L"\\tree", leftovers));
  EXPECT_FALSE(Exists(dir_ + L"\\tree"));

  std::wstring running = dir_ + L"\\busy.exe";
  RunningCopy copy(running);
  ASSERT_TRUE(copy.Running());
  EXPECT_FALSE(DeleteFileOrDir(running, leftovers));
  EXPECT_EQ(leftovers, LeftoverList{running});
}

TEST_F(FileRemovalTest, DeleteTreeCallsBackOncePerFileEvenWhenOneStays) {
  Make(L"t\\one.txt");
  Make(L"t\\sub\\two.txt");
  Make(L"t\\sub\\deeper\\three.txt");
  std::wstring running = dir_ + L"\\t\\sub\\busy.exe";
  RunningCopy copy(running);
  ASSERT_TRUE(copy.Running());
  int calls = 0;
  LeftoverList leftovers;
  EXPECT_TRUE(DeleteTree(dir_ + L"\\t", leftovers, [&] { ++calls; }));
  EXPECT_EQ(calls, 4);
  EXPECT_TRUE(Exists(running));
  EXPECT_FALSE(Exists(dir_ + L"\\t\\one.txt"));
  EXPECT_FALSE(Exists(dir_ + L"\\t\\sub\\deeper"));
  // The busy file and the two folders that still hold it.
  ASSERT_EQ(leftovers.size(), 3u);
  EXPECT_EQ(leftovers[0], running);
  EXPECT_NE(std::find(leftovers.begin(), leftovers.end(), dir_ + L"\\t"), leftovers.end());
  EXPECT_FALSE(DeleteTree(L"", leftovers, nullptr));
  EXPECT_FALSE(DeleteTree(L"C:\\" + std::wstring(260, L'a'), leftovers, nullptr));
}

TEST_F(FileRemovalTest, MoveAsideOnTheWindowsDriveUsesTheTemporaryDirectoryUnderACacheName) {
  std::wstring running = dir_ + L"\\busy.exe";
  RunningCopy copy(running);
  ASSERT_TRUE(copy.Running());
  std::wstring moved;
  ASSERT_TRUE(MoveAside(running, moved));
  EXPECT_FALSE(Exists(running));
  EXPECT_TRUE(Exists(moved));
  wchar_t temp[MAX_PATH];
  DWORD n = ::GetTempPathW(MAX_PATH, temp);
  ASSERT_EQ(moved.compare(0, n, temp), 0) << moved;
  std::wstring name = moved.substr(n);
  ASSERT_EQ(name.size(), 38u + 15u) << name;
  EXPECT_EQ(name[0], L'{');
  EXPECT_EQ(name.substr(37), L"}-TemporaryCache");
  copy.Stop();
  ::DeleteFileW(moved.c_str());

  std::wstring none;
  EXPECT_FALSE(MoveAside(dir_ + L"\\missing", none));
  EXPECT_FALSE(MoveAside(L"", none));
  EXPECT_TRUE(none.empty());
}

TEST_F(FileRemovalTest, CacheNameHasTheLowerCaseThirdGroup) {
  std::wstring name = NewTemporaryCacheName();
  ASSERT_EQ(name.size(), 53u);
  for (size_t i : {1u, 10u, 20u, 25u}) EXPECT_TRUE(iswxdigit(name[i])) << name;
  std::wstring third = name.substr(15, 4);
  for (wchar_t c : third) EXPECT_FALSE(c >= L'A' && c <= L'F') << name;
  EXPECT_NE(NewTemporaryCacheName(), name);
}

TEST_F(FileRemovalTest, DeleteOrScheduleAtRestartSchedulesOnlyWhatStays) {
  std::wstring ro = Make(L"ro.bin");
  ::SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteOrScheduleAtRestart(ro.c_str()));
  EXPECT_TRUE(DeleteOrScheduleAtRestart((dir_ + L"\\never-was").c_str()));
  std::wstring running = dir_ + L"\\busy.exe";
  RunningCopy copy(running);
  ASSERT_TRUE(copy.Running());
  EXPECT_FALSE(DeleteOrScheduleAtRestart(running.c_str()));
  EXPECT_EQ(g_scheduled, std::vector<std::wstring>{running});
  EXPECT_NE(Log().find("delete " + Narrow(running) + " failed, error=5"), std::string::npos) << Log();
}

TEST_F(FileRemovalTest, TheSystemSchedulerWritesPendingFileRenameOperations) {
  SetRestartScheduler(nullptr);
  std::wstring file = Make(L"pending.txt");
  ASSERT_TRUE(ScheduleDeleteAtRestart(file.c_str()));
  win::UniqueKey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                            KEY_QUERY_VALUE, key.put()),
            ERROR_SUCCESS);
  std::vector<wchar_t> data(65536);
  DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  ASSERT_EQ(::RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(data.data()), &size),
            ERROR_SUCCESS);
  std::wstring all(data.data(), size / sizeof(wchar_t));
  EXPECT_NE(all.find(L"\\??\\" + file), std::wstring::npos);
}

TEST_F(FileRemovalTest, PurgeTreeClearsReadOnlyAndRemovesEverything) {
  Make(L"p\\a.txt");
  std::wstring ro = Make(L"p\\sub\\ro.txt");
  ::SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesW((dir_ + L"\\p").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(PurgeTree((dir_ + L"\\p").c_str()));
  EXPECT_FALSE(Exists(dir_ + L"\\p"));
  EXPECT_TRUE(g_scheduled.empty());
  EXPECT_FALSE(PurgeTree(L""));
  EXPECT_FALSE(PurgeTree(nullptr));
}

TEST_F(FileRemovalTest, DeleteByExtensionTakesTmpInAnyCaseAndSchedulesTheBusyOne) {
  std::wstring a = Make(L"x\\a.tmp"), b = Make(L"x\\deep\\B.TMP"), keep = Make(L"x\\keep.tmpx");
  std::wstring ro = Make(L"x\\ro.Tmp");
  ::SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
  std::wstring busy = dir_ + L"\\x\\busy.tmp";
  RunningCopy copy(busy);
  ASSERT_TRUE(copy.Running());
  EXPECT_TRUE(DeleteByExtension(dir_ + L"\\x", L".tmp"));
  EXPECT_FALSE(Exists(a));
  EXPECT_FALSE(Exists(b));
  EXPECT_FALSE(Exists(ro));
  EXPECT_TRUE(Exists(keep));
  EXPECT_FALSE(Exists(busy));  // moved aside, and the moved copy scheduled
  ASSERT_EQ(g_scheduled.size(), 1u);
  EXPECT_NE(g_scheduled[0].find(L"-TemporaryCache"), std::wstring::npos);
  EXPECT_NE(Log().find("delete file:" + Narrow(busy) + " by pending:" + Narrow(g_scheduled[0])), std::string::npos);
  EXPECT_FALSE(DeleteByExtension(L"", L".tmp"));
  EXPECT_FALSE(DeleteByExtension(dir_, L""));
  copy.Stop();
  ::DeleteFileW(g_scheduled[0].c_str());
}

TEST_F(FileRemovalTest, RegistryListedNamesAreDeletedRelativeToTheDirectory) {
  const wchar_t* sub_key = L"SOFTWARE\\UninstEngineTest\\file_list";
  win::UniqueKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, sub_key, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                              key.put(), nullptr),
            ERROR_SUCCESS);
  for (const wchar_t* name : {L"listed.dll", L"Plugins", L"absent.txt"})
    ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
  std::wstring listed = Make(L"listed.dll"), inside = Make(L"Plugins\\p\\q.dat"), other = Make(L"other.dll");
  LeftoverList leftovers;
  RemoveRegistryListedFiles(dir_, sub_key, leftovers);
  EXPECT_FALSE(Exists(listed));
  EXPECT_FALSE(Exists(dir_ + L"\\Plugins"));
  EXPECT_TRUE(Exists(other));
  EXPECT_TRUE(leftovers.empty());
  key.reset();
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, sub_key, KEY_WOW64_32KEY, 0);
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\UninstEngineTest", KEY_WOW64_32KEY, 0);
}

TEST(BatchText, PathsCannotExpandOrChangeMeaning) {
  struct Case {
    const wchar_t* path;
    bool ok;
    const char* text;
  } cases[] = {
      {L"C:\\Program Files (x86)\\Lumetta\\a.dll", true, "C:\\Program Files (x86)\\Lumetta\\a.dll"},
      {L"C:\\100%\\x%PATH%y", true, "C:\\100%%\\x%%PATH%%y"},
      {L"C:\\a & b\\c^d|e", true, "C:\\a & b\\c^d|e"},  // inside the quotes these are plain text
      {L"C:\\no\\such\\\x4E2D\x6587\x0915.txt", false, ""},  // cannot be written without "?"
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(BatchFile::ToBatchText(c.path, out), c.ok) << Narrow(c.path);
    if (c.ok) {
      EXPECT_EQ(out, c.text);
    }
  }
}

class RunOnceTest : public FileRemovalTest {
 protected:
  void TearDown() override {
    FileRemovalTest::TearDown();
    win::UniqueKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS && !value_.empty())
      ::RegDeleteValueA(key.get(), value_.c_str());
  }
  std::string value_;
};

TEST_F(RunOnceTest, WithoutSchedulingTheBatchFileGetsEveryLineAndRunOnceNamesIt) {
  SetRestartScheduler(&RefuseSchedule);
  std::wstring install = dir_ + L"\\inst";
  std::wstring busy_file = install + L"\\busy.exe";
  std::wstring busy_dir = install + L"\\Dir";
  Make(L"inst\\Dir\\keep.txt");
  RunningCopy a(busy_file);
  ASSERT_TRUE(a.Running());
  LeftoverList leftovers{busy_file, busy_dir};
  EXPECT_TRUE(RunOnceCleanup(leftovers, install.c_str()));
  EXPECT_TRUE(leftovers.empty());
  EXPECT_FALSE(Exists(busy_file));
  EXPECT_FALSE(Exists(busy_dir));

  std::string log = Log();
  size_t at = log.find("write runonce bat to registry");
  ASSERT_NE(at, std::string::npos) << log;
  // The registered value is named after the batch file and holds its path.
  win::UniqueKey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_QUERY_VALUE, key.put()), ERROR_SUCCESS);
  std::string bat;
  for (DWORD i = 0;; ++i) {
    char name[MAX_PATH];
    DWORD name_length = MAX_PATH;
    char data[MAX_PATH + 2] = {};
    DWORD data_size = MAX_PATH;
    if (::RegEnumValueA(key.get(), i, name, &name_length, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                        &data_size) != ERROR_SUCCESS)
      break;
    std::string n(name, name_length);
    if (n.rfind("mvk", 0) == 0 && n.size() > 4 && n.substr(n.size() - 4) == ".bat" &&
        log.find(n) != std::string::npos) {
      value_ = n;
      bat = data;
    }
  }
  ASSERT_FALSE(value_.empty());
  if (bat.front() == '"') bat = bat.substr(1, bat.size() - 2);
  std::string lines = ReadFileBytes(std::wstring(bat.begin(), bat.end()));
  ASSERT_EQ(g_scheduled.size(), 3u);  // file, directory, the drive's cache folder
  std::string expected = "del /q \"" + Narrow(g_scheduled[0]) + "\" \r\n" + "rd /s /q \"" + Narrow(g_scheduled[1]) +
                         "\" \r\n" + "rd /q \"" + Narrow(g_scheduled[2]) + "\" \r\n" + "del /q \"" + bat + "\" \r\n";
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(g_scheduled[2], std::wstring(1, install[0]) + L":\\.temp");
  EXPECT_NE(log.find("cut " + Narrow(busy_file) + " to " + Narrow(g_scheduled[0]) + " success"), std::string::npos);
  EXPECT_NE(log.find("write to runonce bat: " + bat), std::string::npos);
  a.Stop();
  ::DeleteFileW(g_scheduled[0].c_str());
  PurgeTree(g_scheduled[1].c_str());
  ::DeleteFileA(bat.c_str());
}

TEST_F(RunOnceTest, EmptyListStillSchedulesTheCacheFolderAndWritesNoBatch) {
  std::wstring dir = dir_ + L"\\i2";
  ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
  LeftoverList leftovers;
  EXPECT_TRUE(RunOnceCleanup(leftovers, dir.c_str()));
  EXPECT_EQ(g_scheduled, std::vector<std::wstring>{std::wstring(1, dir[0]) + L":\\.temp"});
  EXPECT_EQ(Log().find("runonce bat"), std::string::npos);
  EXPECT_NE(Log().find("write " + Narrow(g_scheduled[0]) + " to pending success"), std::string::npos);
  EXPECT_FALSE(Exists(dir));  // the empty install directory goes too
  EXPECT_FALSE(RunOnceCleanup(leftovers, nullptr));
}

// The install-directory phase with a fixed allow list and one "signed" file.
class InstallDirTest : public FileRemovalTest {
 protected:
  CInstallDirRemover Remover() {
    CInstallDirRemover r([](const std::wstring& upper) { return upper == L"LISTED.DLL" || upper == L"PLUGINS"; },
                         [](const std::wstring& path) { return path.size() > 10 && path.substr(path.size() - 10) == L"signed.exe"; },
                         [this](int value) { progress_.push_back(value); });
    r.SetInstallDir(dir_);
    return r;
  }
  std::vector<int> progress_;
};

TEST_F(InstallDirTest, ListedAndSignedGoInAnyCaseUnlistedStaysAndIsLoggedTwice) {
  std::wstring listed = Make(L"Listed.Dll");
  ::SetFileAttributesW(listed.c_str(), FILE_ATTRIBUTE_READONLY);
  Make(L"pLuGiNs\\a.txt");
  Make(L"pLuGiNs\\sub\\whatever.bin");
  Make(L"signed.exe");
  std::wstring stranger = Make(L"stranger.txt");
  Make(L"Foreign\\inside.txt");
  CInstallDirRemover r = Remover();
  LeftoverList leftovers;
  r.RemoveInstallDirContents(dir_, leftovers);

  EXPECT_FALSE(Exists(listed));
  EXPECT_FALSE(Exists(dir_ + L"\\pLuGiNs"));
  EXPECT_FALSE(Exists(dir_ + L"\\signed.exe"));
  EXPECT_TRUE(Exists(stranger));
  EXPECT_TRUE(Exists(dir_ + L"\\Foreign\\inside.txt"));
  EXPECT_EQ(r.TotalCount(), 4);
  EXPECT_EQ(progress_, (std::vector<int>{32, 54, 76, 98}));
  std::string log = Log();
  EXPECT_EQ(CountOf(log, "File NOT exists in xml: STRANGER.TXT\r\n"), 2u) << log;
  EXPECT_EQ(CountOf(log, "File NOT exists in xml: FOREIGN\r\n"), 2u);
  EXPECT_NE(log.find("Delete File: " + Narrow(listed) + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("remove directory " + Narrow(dir_) + " failed.\r\n"), std::string::npos);
  EXPECT_TRUE(leftovers.empty());
}

TEST_F(InstallDirTest, ABusyTopLevelFileGivesNoLineNoStepButABusyInnerFileSteps) {
  Make(L"plugins\\one.txt");
  std::wstring inner = dir_ + L"\\plugins\\held.exe";
  std::wstring top = dir_ + L"\\signed.exe";
  RunningCopy a(inner), b(top);
  ASSERT_TRUE(a.Running() && b.Running());
  CInstallDirRemover r = Remover();
  LeftoverList leftovers;
  r.RemoveInstallDirContents(dir_, leftovers);
  EXPECT_EQ(r.TotalCount(), 3);
  EXPECT_EQ(progress_, (std::vector<int>{39, 68}));
  EXPECT_EQ(Log().find("Delete File: " + Narrow(top)), std::string::npos);
  EXPECT_NE(std::find(leftovers.begin(), leftovers.end(), top), leftovers.end());
  EXPECT_NE(std::find(leftovers.begin(), leftovers.end(), inner), leftovers.end());
}

TEST_F(InstallDirTest, EmptyDirectoryIsRemovedAndProgressNeverPassesTheTotal) {
  CInstallDirRemover r = Remover();
  LeftoverList leftovers;
  r.RemoveInstallDirContents(dir_, leftovers);
  EXPECT_TRUE(progress_.empty());
  EXPECT_FALSE(Exists(dir_));
  EXPECT_NE(Log().find("remove directory " + Narrow(dir_) + " suceess\r\n"), std::string::npos);
  r.IncrementProgress();  // total 0: clamped, still a valid percentage
  ASSERT_EQ(progress_.size(), 1u);
  EXPECT_LE(progress_[0], 98);
  int count = 0;
  EXPECT_FALSE(r.CountRemovableFiles(L"", count));
}

}  // namespace
