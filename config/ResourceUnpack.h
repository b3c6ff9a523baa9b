#pragma once
// The configuration package in the executable's resources: written to a temporary file and
// extracted by 7-Zip's archive library into a fresh temporary directory.
#include <windows.h>

#include <string>

class CResourceUnpack {
 public:
  CResourceUnpack() = default;
  CResourceUnpack(const CResourceUnpack&) = delete;
  CResourceUnpack& operator=(const CResourceUnpack&) = delete;
  virtual ~CResourceUnpack() = default;

  // Finds, loads and locks the resource; false when it is missing or cannot be loaded.
  bool Init(HINSTANCE instance, const wchar_t* name, const wchar_t* type);
  // Writes the raw resource bytes to a new file.
  bool WriteToFile(const wchar_t* path) const;
  // Writes the package, extracts it and deletes the package file; outDir receives the
  // extraction directory. On an extraction failure both stay behind.
  bool Unpack(std::wstring& outDir) const;

  const void* Data() const { return data_; }
  INT32 Size() const { return size_; }

 private:
  const void* data_ = nullptr;  // inside the loaded image, not owned
  INT32 size_ = 0;
};

// "<temp>{GUID}-TemporaryCache": the first of up to 10 fresh names that does not exist yet.
bool MakeTempCachePath(std::wstring& path);
// Loads the archive library once for the process; later calls succeed at once.
bool LoadArchiveLibrary(const wchar_t* path);
bool IsArchiveLibraryLoaded();
// Extracts every item of the archive below outDir (created when missing). 0 or -1.
int ExtractArchive(const wchar_t* archivePath, const wchar_t* outDir);
// Creates a directory with its missing parents; true when it exists afterwards.
bool CreateDirectoryChain(const std::wstring& path);
