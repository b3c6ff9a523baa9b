#pragma once
// The process command line as a map from upper-cased switch name to value.
#include <map>
#include <string>

#include "startup/Singleton.h"

class CCommandParser : public CSingletonT<CCommandParser> {
 public:
  CCommandParser() = default;
  virtual ~CCommandParser() = default;

  // Replaces the map with the switches of the text; false when it cannot be split.
  bool Parse(const std::wstring& text);
  bool HasSwitch(const std::wstring& name) const;
  // Leaves out untouched when the switch is absent.
  bool GetSwitchValue(const std::wstring& name, std::wstring& out) const;
  bool IsSilent() const;

  const std::wstring& Text() const { return text_; }
  const std::map<std::wstring, std::wstring>& Switches() const { return switches_; }

 private:
  std::wstring text_;
  std::map<std::wstring, std::wstring> switches_;
};
