#pragma once
// Read-only allow list of the install directory's top-level names that belong to the product.
#include <windows.h>

// One entry as handed out by GetItem.
struct RootDirItemRecord {
  wchar_t name[MAX_PATH];  // at most 259 characters, always terminated
  INT32 isDirectory;       // 1 for entries of the Dir section, 0 for the File section
  INT32 optional;          // the entry's optional mark; nothing acts on it
};

class IUninstallRootDirList {
 public:
  virtual bool LoadFromResource(HINSTANCE instance, const wchar_t* name, const wchar_t* type) = 0;
  virtual bool LoadFromFile(const wchar_t* path) = 0;
  virtual int GetCount() const = 0;
  virtual bool GetItem(int index, RootDirItemRecord* item) const = 0;
  virtual bool Remove(const wchar_t* name) = 0;
  // Case-insensitive; ignores the directory and optional marks.
  virtual bool Contains(const wchar_t* name) const = 0;

 protected:
  // Owners destroy the implementation, never callers of the interface.
  ~IUninstallRootDirList() = default;
};
