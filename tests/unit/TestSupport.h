#pragma once
// Small helpers shared by the unit tests: scratch folders, file bytes, child processes.
#include <windows.h>
#include <string>

namespace test_support {

// A new empty folder under the temporary directory, unique per call.
std::wstring MakeScratchDir(const std::wstring& tag);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
size_t CountOf(const std::string& haystack, const std::string& needle);
// A file of the given size whose content is not written (sparse where the file system allows).
bool MakeSparseFile(const std::wstring& path, unsigned long long size);
// The folder that holds the running test executable, with a trailing backslash.
std::wstring ExeDir();
// Runs a program that lies beside the test executable and returns its exit code (or ~0u).
DWORD RunFixture(const std::wstring& exe_name, const std::wstring& arguments, DWORD timeout_ms = 30000);

}  // namespace test_support
