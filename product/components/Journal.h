#pragma once
// What every stand-in component shares: a journal of the calls it receives and a small control
// file that tells it how to behave. Both live in the directory named by the environment
// variable COMPONENT_JOURNAL_DIR; without it a component records nothing and just returns.
//
//   <dir>\journal.txt       one UTF-8 line per call, fields separated by tabs
//   <dir>\<file name>.ini   [control] keys for the component of that file name
#include <windows.h>

#include <string>

namespace component {

// Full path of the module that contains this code (the exe or the DLL).
std::wstring OwnModulePath();
// The file-name part of a path.
std::wstring FileNameOf(const std::wstring& path);
// A [control] value of this module's control file, or the fallback.
std::wstring Control(const wchar_t* key, const wchar_t* fallback = L"");
int ControlInt(const wchar_t* key, int fallback);
// Appends one line: kind, module path, then the fields, tab-separated, with the tick count.
void Journal(const wchar_t* kind, std::initializer_list<std::wstring> fields);

}  // namespace component
