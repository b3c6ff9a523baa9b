#pragma once
// The objects 7z.dll calls back while it opens and extracts the package: file streams and the
// open and extract callbacks. Reference counted in 7-Zip's manner: the count starts at 0 and
// the object deletes itself when it drops back to 0.
#include <windows.h>

#include <string>

#include "common/ComPtr.h"
#include "common/UniqueHandle.h"
#include "config/SevenZipInterfaces.h"

// Counted creation: the returned pointer holds the first reference.
template <class T, class... Args>
win::ComPtr<T> MakeCounted(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  object->AddRef();
  return win::ComPtr<T>::Attach(object);
}

class CInFileStream : public sevenzip::IInStream, public sevenzip::IStreamGetSize {
 public:
  CInFileStream() = default;
  bool Open(const wchar_t* path);  // shared read of an existing file

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Read(void* data, UINT32 size, UINT32* processedSize) override;
  HRESULT STDMETHODCALLTYPE Seek(INT64 offset, UINT32 seekOrigin, UINT64* newPosition) override;
  virtual ~CInFileStream() = default;
  HRESULT STDMETHODCALLTYPE GetSize(UINT64* size) override;

 private:
  ULONG refs_ = 0;
  win::UniqueFile file_;
};

class COutFileStream : public sevenzip::IOutStream {
 public:
  explicit COutFileStream(win::UniqueFile file) : file_(std::move(file)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, UINT32 size, UINT32* processedSize) override;
  HRESULT STDMETHODCALLTYPE Seek(INT64 offset, UINT32 seekOrigin, UINT64* newPosition) override;
  HRESULT STDMETHODCALLTYPE SetSize(UINT64 newSize) override;
  virtual ~COutFileStream() = default;

  // Sets the modification time, closes the file and returns the close error if any.
  HRESULT Finish(const FILETIME* modified);
  UINT64 BytesWritten() const { return written_; }

 private:
  ULONG refs_ = 0;
  win::UniqueFile file_;
  UINT64 written_ = 0;
};

class CArchiveOpenCallback : public sevenzip::IArchiveOpenCallback, public sevenzip::ICryptoGetTextPassword {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE SetTotal(const UINT64* files, const UINT64* bytes) override;
  HRESULT STDMETHODCALLTYPE SetCompleted(const UINT64* files, const UINT64* bytes) override;
  HRESULT STDMETHODCALLTYPE CryptoGetTextPassword(BSTR* password) override;
  virtual ~CArchiveOpenCallback() = default;

 private:
  ULONG refs_ = 0;
  bool passwordDefined_ = false;
  std::wstring password_;
};

// Receives per-item notices during extraction; nothing in the uninstaller supplies one.
class IExtractObserver {
 public:
  virtual HRESULT OnItemStart(const wchar_t* itemPath) = 0;
  virtual HRESULT OnItemResult(const wchar_t* itemPath, INT32 result) = 0;
 protected:
  ~IExtractObserver() = default;
};

class CArchiveExtractCallback : public sevenzip::IArchiveExtractCallback, public sevenzip::ICryptoGetTextPassword {
 public:
  // outDir gets a trailing backslash when it has none.
  void Init(sevenzip::IInArchive* archive, const std::wstring& outDir);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE SetTotal(UINT64 total) override;
  HRESULT STDMETHODCALLTYPE SetCompleted(const UINT64* completeValue) override;
  HRESULT STDMETHODCALLTYPE GetStream(UINT32 index, sevenzip::ISequentialOutStream** outStream,
                                      INT32 askExtractMode) override;
  HRESULT STDMETHODCALLTYPE PrepareOperation(INT32 askExtractMode) override;
  HRESULT STDMETHODCALLTYPE SetOperationResult(INT32 opRes) override;
  // Forwarded to the observer; -1 without one.
  virtual HRESULT NotifyItemStart();
  virtual HRESULT NotifyItemResult(INT32 result);
  HRESULT STDMETHODCALLTYPE CryptoGetTextPassword(BSTR* password) override;
  virtual ~CArchiveExtractCallback() = default;

  UINT64 ErrorCount() const { return errors_; }
  // Drops the archive reference once the extraction is over (the archive may hold us).
  void ReleaseArchive();
  void SetObserver(IExtractObserver* observer) { observer_ = observer; }

 private:
  ULONG refs_ = 0;
  win::ComPtr<sevenzip::IInArchive> archive_;
  std::wstring outDir_;
  std::wstring itemPath_;
  std::wstring fullPath_;
  bool extractMode_ = false;
  UINT32 attributes_ = 0;
  bool attributesDefined_ = false;
  bool isDirectory_ = false;
  FILETIME modified_{};
  bool modifiedDefined_ = false;
  win::ComPtr<COutFileStream> outStream_;
  UINT64 errors_ = 0;
  bool passwordDefined_ = false;
  std::wstring password_;
  IExtractObserver* observer_ = nullptr;
};

// True when an archive member name stays below the extraction directory: relative, no drive,
// no "..", no empty or "." component games that climb out. Exposed for the table tests.
bool IsSafeMemberPath(const std::wstring& itemPath);
