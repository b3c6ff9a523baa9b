#include "startup/CommandParser.h"

#include <windows.h>
#include <shellapi.h>
#include <cwctype>

#include "common/UniqueHandle.h"

namespace {

std::wstring Trim(const std::wstring& s) {
  size_t first = 0, last = s.size();
  while (first < last && std::iswspace(s[first])) ++first;
  while (last > first && std::iswspace(s[last - 1])) --last;
  return s.substr(first, last - first);
}

std::wstring ToUpper(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

std::wstring Unquote(std::wstring value) {
  if (!value.empty() && value.front() == L'"') value.erase(0, 1);
  if (!value.empty() && value.back() == L'"') value.pop_back();
  return value;
}

}  // namespace

bool CCommandParser::Parse(const std::wstring& text) {
  text_ = text;
  switches_.clear();
  int count = 0;
  win::UniqueLocal args(reinterpret_cast<HLOCAL>(::CommandLineToArgvW(text.c_str(), &count)));
  if (!args) return false;
  auto* argv = reinterpret_cast<LPWSTR*>(args.get());
  for (int i = 0; i < count; ++i) {
    std::wstring arg = argv[i];
    size_t eq = arg.find(L'=');
    std::wstring name, value;
    if (eq == std::wstring::npos) {
      name = Trim(arg);
    } else {
      name = Trim(arg.substr(0, eq));
      value = Unquote(Trim(arg.substr(eq + 1)));
    }
    switches_[ToUpper(name)] = value;
  }
  return true;
}

bool CCommandParser::HasSwitch(const std::wstring& name) const {
  return switches_.count(ToUpper(name)) != 0;
}

bool CCommandParser::GetSwitchValue(const std::wstring& name, std::wstring& out) const {
  auto it = switches_.find(ToUpper(name));
  if (it == switches_.end()) return false;
  out = it->second;
  return true;
}

bool CCommandParser::IsSilent() const { return HasSwitch(L"/S") || HasSwitch(L"/Z"); }
