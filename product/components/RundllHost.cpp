// The product's rundll host: "--dll=<path> --entry=<export> <arguments>" loads the library and
// calls the export with the rest of the command line as its one text argument.
#include <windows.h>

#include <string>

#include "common/UniqueHandle.h"
#include "product/components/Journal.h"

namespace {

// Reads one "--name=value" token; the value may be quoted. Returns false when absent.
bool TakeOption(const std::wstring& line, size_t& pos, const wchar_t* name, std::wstring& value) {
  while (pos < line.size() && line[pos] == L' ') ++pos;
  std::wstring prefix = std::wstring(L"--") + name + L"=";
  if (line.compare(pos, prefix.size(), prefix) != 0) return false;
  pos += prefix.size();
  if (pos < line.size() && line[pos] == L'"') {
    size_t end = line.find(L'"', pos + 1);
    if (end == std::wstring::npos) return false;
    value = line.substr(pos + 1, end - pos - 1);
    pos = end + 1;
  } else {
    size_t end = line.find(L' ', pos);
    if (end == std::wstring::npos) end = line.size();
    value = line.substr(pos, end - pos);
    pos = end;
  }
  return true;
}

// The command line without the program's own name.
std::wstring Arguments() {
  std::wstring line = GetCommandLineW();
  size_t pos = 0;
  if (!line.empty() && line[0] == L'"') {
    size_t end = line.find(L'"', 1);
    pos = end == std::wstring::npos ? line.size() : end + 1;
  } else {
    pos = line.find(L' ');
    if (pos == std::wstring::npos) pos = line.size();
  }
  return line.substr(pos);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  component::Journal(L"exe", {GetCommandLineW()});
  std::wstring args = Arguments();
  size_t pos = 0;
  std::wstring dll, entry;
  if (!TakeOption(args, pos, L"dll", dll) || !TakeOption(args, pos, L"entry", entry)) return 2;
  while (pos < args.size() && args[pos] == L' ') ++pos;
  std::wstring text = args.substr(pos);

  win::UniqueModule library(LoadLibraryW(dll.c_str()));
  if (!library) return 3;
  std::string entry_name(entry.begin(), entry.end());
  using Export = void(WINAPI*)(const wchar_t*);
  auto function = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(library.get(), entry_name.c_str())));
  if (!function) return 4;
  function(text.c_str());
  return 0;
}
