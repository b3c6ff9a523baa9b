#pragma once
// What the uninstaller learns about the installation: where it is, the user's pid, the
// installed version, the game-centre facts and whether the system is 64-bit.
#include <windows.h>

#include <string>

const wchar_t kApplicationKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe";
const wchar_t kGameCenterKey[] = L"SOFTWARE\\MVKGameCenter";

// The install directory from the application key's "path"; empty when missing, too long for
// a 260-character buffer, or not an existing directory.
std::wstring ReadInstallDir();
// The user's pid (HKCU "Software\orbWallPaper" "pid") without surrounding white space.
std::wstring ReadPid();
// The file version text of a program; false (out untouched) without version information.
bool GetProductVersionText(const wchar_t* path, std::wstring& out);
bool IsSystem64Bit();
// Game centre: owned when "VendorID" contains the product word in any case; unplayed when
// "Played" is absent or empty.
bool ReadGameCenterOwned();
bool ReadGameCenterUnplayed();

// The version text from version information already read: the string version with "," made
// "." and blanks removed when use_string_version, else (or when that is empty) the fixed one.
bool VersionTextFromInfo(const void* info, bool use_string_version, std::wstring& out);
// Windows 10 or later by the native version numbers (6.4 counts: early Windows 10 builds).
bool IsWindows10OrLater(DWORD major, DWORD minor);
// A REG_SZ value read into a 260-character buffer (at most 259 characters); false when absent.
bool ReadRegText(HKEY root, const wchar_t* sub_key, const wchar_t* name, REGSAM view, std::wstring& out);
