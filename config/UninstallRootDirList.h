#pragma once
// The allow list of the install directory's top-level names, compared without regard to case.
#include <map>
#include <string>

#include "config/IUninstallRootDirList.h"

class CXMLArchiveItem;

class CUninstallRootDirList : public IUninstallRootDirList {
 public:
  CUninstallRootDirList() = default;
  CUninstallRootDirList(const CUninstallRootDirList&) = delete;
  CUninstallRootDirList& operator=(const CUninstallRootDirList&) = delete;

  bool LoadFromResource(HINSTANCE instance, const wchar_t* name, const wchar_t* type) override;
  bool LoadFromFile(const wchar_t* path) override;
  int GetCount() const override;
  bool GetItem(int index, RootDirItemRecord* item) const override;
  bool Remove(const wchar_t* name) override;
  bool Contains(const wchar_t* name) const override;
  virtual ~CUninstallRootDirList() = default;

 private:
  struct Entry {
    std::wstring name;  // as written in the document
    INT32 isDirectory = 0;
    INT32 optional = 0;
  };
  void AddItems(const CXMLArchiveItem& section, INT32 isDirectory);

  std::map<std::wstring, Entry> entries_;  // keyed by the upper-cased name
};
