#include "config/UninstallRootDirList.h"

#include <cwctype>

#include "config/ResourceUnpack.h"
#include "config/XMLArchive.h"

namespace {

std::wstring UpperCased(const wchar_t* name) {
  std::wstring key(name);
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towupper(c));
  return key;
}

}  // namespace

bool CUninstallRootDirList::LoadFromResource(HINSTANCE instance, const wchar_t* name, const wchar_t* type) {
  CResourceUnpack resource;
  if (!resource.Init(instance, name, type)) return false;
  std::wstring path;
  if (!MakeTempCachePath(path)) return false;
  if (!resource.WriteToFile(path.c_str())) {
    ::DeleteFileW(path.c_str());
    return false;
  }
  bool loaded = LoadFromFile(path.c_str());
  ::DeleteFileW(path.c_str());
  return loaded;
}

bool CUninstallRootDirList::LoadFromFile(const wchar_t* path) {
  if (!path) return false;
  CXMLArchive archive;
  if (archive.Open(path, 0) < 0) return false;
  entries_.clear();
  CXMLArchiveItem dirs = archive.GetFirstItem(L"RootDirFiles/Dir");
  if (dirs.IsValid()) AddItems(dirs, 1);
  CXMLArchiveItem files = archive.GetFirstItem(L"RootDirFiles/File");
  if (files.IsValid()) AddItems(files, 0);
  return true;
}

void CUninstallRootDirList::AddItems(const CXMLArchiveItem& section, INT32 isDirectory) {
  CXMLArchiveItemList items = section.GetDescendants(L"Item");
  for (int i = 0; i < items.GetCount(); ++i) {
    CXMLArchiveItem item = items.GetItem(i);
    std::wstring name;
    item.GetStringAttribute(L"Name", name, L"");
    int optional = 0;
    item.GetIntAttribute(L"optional", optional, 0);
    // A name listed again takes the values of its last listing.
    Entry& entry = entries_[UpperCased(name.c_str())];
    entry.name = name;
    entry.isDirectory = isDirectory;
    entry.optional = optional;
  }
}

int CUninstallRootDirList::GetCount() const { return static_cast<int>(entries_.size()); }

bool CUninstallRootDirList::GetItem(int index, RootDirItemRecord* item) const {
  if (!item || index < 0 || static_cast<size_t>(index) >= entries_.size()) return false;
  auto it = entries_.begin();
  std::advance(it, index);
  *item = RootDirItemRecord{};
  it->second.name.copy(item->name, MAX_PATH - 1);
  item->isDirectory = it->second.isDirectory;
  item->optional = it->second.optional;
  return true;
}

bool CUninstallRootDirList::Remove(const wchar_t* name) {
  if (!name) return false;
  entries_.erase(UpperCased(name));
  return true;
}

bool CUninstallRootDirList::Contains(const wchar_t* name) const {
  if (!name) return false;
  return entries_.count(UpperCased(name)) != 0;
}
