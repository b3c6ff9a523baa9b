#include "config/ResourceUnpack.h"

#include <cwchar>

#include "common/UniqueHandle.h"
#include "config/ArchiveClients.h"

namespace {

// Loaded once, by the pre-initialisation check, and kept until the process ends.
HMODULE g_archiveLibrary = nullptr;

constexpr DWORD kWritePiece = 4096;

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool CreateDirectoryChain(const std::wstring& path) {
  if (path.empty()) return false;
  std::wstring trimmed = path;
  while (trimmed.size() > 3 && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
  for (size_t i = 0; i <= trimmed.size(); ++i) {
    if (i == trimmed.size() || trimmed[i] == L'\\' || trimmed[i] == L'/') {
      std::wstring prefix = trimmed.substr(0, i);
      if (prefix.empty() || prefix.back() == L':' || IsDirectory(prefix)) continue;
      ::CreateDirectoryW(prefix.c_str(), nullptr);
    }
  }
  return IsDirectory(trimmed);
}

bool MakeTempCachePath(std::wstring& path) {
  wchar_t temp[1024] = {};
  DWORD length = ::GetTempPathW(1024, temp);
  if (length == 0 || length >= 1024) return false;
  for (int attempt = 0; attempt < 10; ++attempt) {
    GUID guid;
    if (FAILED(::CoCreateGuid(&guid))) continue;
    wchar_t name[64] = {};
    std::swprintf(name, 64, L"{%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}-TemporaryCache",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    std::wstring candidate = std::wstring(temp, length) + name;
    if (!PathExists(candidate)) {
      path = candidate;
      return true;
    }
  }
  return false;
}

bool LoadArchiveLibrary(const wchar_t* path) {
  if (g_archiveLibrary) return true;
  if (!path) return false;
  g_archiveLibrary = ::LoadLibraryW(path);
  return g_archiveLibrary != nullptr;
}

bool IsArchiveLibraryLoaded() { return g_archiveLibrary != nullptr; }

int ExtractArchive(const wchar_t* archivePath, const wchar_t* outDir) {
  if (!archivePath || !outDir || !*outDir) return -1;
  std::wstring directory(outDir);
  if (!IsDirectory(directory)) CreateDirectoryChain(directory);

  FARPROC proc = g_archiveLibrary ? ::GetProcAddress(g_archiveLibrary, "CreateObject") : nullptr;
  if (!proc) return -1;
  auto createObject = reinterpret_cast<sevenzip::CreateObjectFunc>(reinterpret_cast<void*>(proc));

  win::ComPtr<sevenzip::IInArchive> archive;
  if (createObject(&sevenzip::CLSID_Format7z, &sevenzip::IID_IInArchive, archive.put_void()) != S_OK || !archive) {
    return -1;
  }
  win::ComPtr<CInFileStream> stream = MakeCounted<CInFileStream>();
  if (!stream->Open(archivePath)) return -1;
  win::ComPtr<CArchiveOpenCallback> openCallback = MakeCounted<CArchiveOpenCallback>();
  const UINT64* noStartLimit = nullptr;
  if (archive->Open(static_cast<sevenzip::IInStream*>(stream.get()), noStartLimit,
                    static_cast<sevenzip::IArchiveOpenCallback*>(openCallback.get())) != S_OK) {
    return -1;
  }
  win::ComPtr<CArchiveExtractCallback> extractCallback = MakeCounted<CArchiveExtractCallback>();
  extractCallback->Init(archive.get(), directory);
  HRESULT result = archive->Extract(nullptr, 0xFFFFFFFFu, 0,
                                    static_cast<sevenzip::IArchiveExtractCallback*>(extractCallback.get()));
  extractCallback->ReleaseArchive();
  archive->Close();
  return result == S_OK ? 0 : -1;
}

bool CResourceUnpack::Init(HINSTANCE instance, const wchar_t* name, const wchar_t* type) {
  data_ = nullptr;
  size_ = 0;
  HRSRC found = ::FindResourceW(instance, name, type);
  if (!found) return false;
  HGLOBAL loaded = ::LoadResource(instance, found);
  if (!loaded) return false;
  const void* data = ::LockResource(loaded);
  DWORD size = ::SizeofResource(instance, found);
  if (!data || size == 0 || size > 0x7FFFFFFF) return false;
  data_ = data;
  size_ = static_cast<INT32>(size);
  return true;
}

bool CResourceUnpack::WriteToFile(const wchar_t* path) const {
  if (!data_ || !path) return false;
  win::UniqueFile file(::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), data_, static_cast<DWORD>(size_), &written, nullptr) &&
         written == static_cast<DWORD>(size_);
}

bool CResourceUnpack::Unpack(std::wstring& outDir) const {
  if (!data_) return false;
  std::wstring package;
  if (!MakeTempCachePath(package)) return false;
  ::DeleteFileW(package.c_str());
  {
    win::UniqueFile file(::CreateFileW(package.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // A failing write ends the writing; the extraction of the short file then fails.
    const BYTE* bytes = static_cast<const BYTE*>(data_);
    DWORD left = static_cast<DWORD>(size_);
    while (left > 0) {
      DWORD piece = left < kWritePiece ? left : kWritePiece;
      DWORD written = 0;
      if (!::WriteFile(file.get(), bytes, piece, &written, nullptr) || written != piece) break;
      bytes += piece;
      left -= piece;
    }
  }
  std::wstring directory;
  if (!MakeTempCachePath(directory)) return false;
  CreateDirectoryChain(directory);
  if (ExtractArchive(package.c_str(), directory.c_str()) != 0) return false;
  outDir = directory;
  ::DeleteFileW(package.c_str());
  return true;
}
