#include "config/ArchiveClients.h"

#include "config/ResourceUnpack.h"

namespace {

HRESULT LastErrorResult() {
  DWORD error = ::GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT SeekFile(HANDLE file, INT64 offset, UINT32 origin, UINT64* newPosition) {
  if (origin > FILE_END) return sevenzip::kInvalidSeekOrigin;  // FILE_BEGIN, FILE_CURRENT, FILE_END only
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(file, distance, &position, origin)) return LastErrorResult();
  if (newPosition) *newPosition = static_cast<UINT64>(position.QuadPart);
  return S_OK;
}

template <class T>
ULONG DecrementAndMaybeDelete(T* self, ULONG& refs) {
  ULONG left = --refs;
  if (left == 0) delete self;
  return left;
}

}  // namespace

bool IsSafeMemberPath(const std::wstring& itemPath) {
  if (itemPath.empty()) return false;
  if (itemPath[0] == L'\\' || itemPath[0] == L'/') return false;  // rooted or UNC
  if (itemPath.find(L':') != std::wstring::npos) return false;    // drive or alternate stream
  size_t start = 0;
  while (start <= itemPath.size()) {
    size_t end = itemPath.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = itemPath.size();
    std::wstring part = itemPath.substr(start, end - start);
    // The file system drops trailing dots and blanks, so ".. " climbs like "..".
    if (part.find_first_not_of(L". ") == std::wstring::npos) return false;
    start = end + 1;
  }
  return true;
}

// ---- CInFileStream ----

bool CInFileStream::Open(const wchar_t* path) {
  file_.reset(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file_);
}

HRESULT CInFileStream::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == sevenzip::IID_ISequentialInStream || iid == sevenzip::IID_IInStream) {
    *out = static_cast<sevenzip::IInStream*>(this);
  } else if (iid == sevenzip::IID_IStreamGetSize) {
    *out = static_cast<sevenzip::IStreamGetSize*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CInFileStream::AddRef() { return ++refs_; }
ULONG CInFileStream::Release() { return DecrementAndMaybeDelete(this, refs_); }

HRESULT CInFileStream::Read(void* data, UINT32 size, UINT32* processedSize) {
  if (processedSize) *processedSize = 0;
  DWORD read = 0;
  if (!::ReadFile(file_.get(), data, size, &read, nullptr)) return LastErrorResult();
  if (processedSize) *processedSize = read;
  return S_OK;
}

HRESULT CInFileStream::Seek(INT64 offset, UINT32 seekOrigin, UINT64* newPosition) {
  return SeekFile(file_.get(), offset, seekOrigin, newPosition);
}

HRESULT CInFileStream::GetSize(UINT64* size) {
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(file_.get(), &length)) return LastErrorResult();
  if (size) *size = static_cast<UINT64>(length.QuadPart);
  return S_OK;
}

// ---- COutFileStream ----

HRESULT COutFileStream::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == sevenzip::IID_ISequentialOutStream || iid == sevenzip::IID_IOutStream) {
    *out = static_cast<sevenzip::IOutStream*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG COutFileStream::AddRef() { return ++refs_; }
ULONG COutFileStream::Release() { return DecrementAndMaybeDelete(this, refs_); }

HRESULT COutFileStream::Write(const void* data, UINT32 size, UINT32* processedSize) {
  if (processedSize) *processedSize = 0;
  DWORD written = 0;
  if (!::WriteFile(file_.get(), data, size, &written, nullptr)) return LastErrorResult();
  written_ += written;
  if (processedSize) *processedSize = written;
  return S_OK;
}

HRESULT COutFileStream::Seek(INT64 offset, UINT32 seekOrigin, UINT64* newPosition) {
  return SeekFile(file_.get(), offset, seekOrigin, newPosition);
}

HRESULT COutFileStream::SetSize(UINT64 newSize) {
  UINT64 current = 0;
  HRESULT hr = SeekFile(file_.get(), 0, FILE_CURRENT, &current);
  if (FAILED(hr)) return hr;
  hr = SeekFile(file_.get(), static_cast<INT64>(newSize), FILE_BEGIN, nullptr);
  if (FAILED(hr)) return hr;
  if (!::SetEndOfFile(file_.get())) return LastErrorResult();
  return SeekFile(file_.get(), static_cast<INT64>(current), FILE_BEGIN, nullptr);
}

HRESULT COutFileStream::Finish(const FILETIME* modified) {
  if (!file_) return S_OK;
  if (modified) ::SetFileTime(file_.get(), nullptr, nullptr, modified);
  HANDLE handle = file_.release();
  if (!::CloseHandle(handle)) return LastErrorResult();
  return S_OK;
}

// ---- CArchiveOpenCallback ----

HRESULT CArchiveOpenCallback::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == sevenzip::IID_IArchiveOpenCallback) {
    *out = static_cast<sevenzip::IArchiveOpenCallback*>(this);
  } else if (iid == sevenzip::IID_ICryptoGetTextPassword) {
    *out = static_cast<sevenzip::ICryptoGetTextPassword*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CArchiveOpenCallback::AddRef() { return ++refs_; }
ULONG CArchiveOpenCallback::Release() { return DecrementAndMaybeDelete(this, refs_); }
HRESULT CArchiveOpenCallback::SetTotal(const UINT64*, const UINT64*) { return S_OK; }
HRESULT CArchiveOpenCallback::SetCompleted(const UINT64*, const UINT64*) { return S_OK; }

HRESULT CArchiveOpenCallback::CryptoGetTextPassword(BSTR* password) {
  if (!passwordDefined_) return E_ABORT;
  if (!password) return E_POINTER;
  *password = ::SysAllocString(password_.c_str());
  return *password ? S_OK : E_OUTOFMEMORY;
}

// ---- CArchiveExtractCallback ----

void CArchiveExtractCallback::Init(sevenzip::IInArchive* archive, const std::wstring& outDir) {
  archive_.reset();
  if (archive) {
    archive->AddRef();
    archive_ = win::ComPtr<sevenzip::IInArchive>::Attach(archive);
  }
  outDir_ = outDir;
  if (!outDir_.empty() && outDir_.back() != L'\\') outDir_.push_back(L'\\');
}

HRESULT CArchiveExtractCallback::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == sevenzip::IID_IArchiveExtractCallback || iid == sevenzip::IID_IProgress) {
    *out = static_cast<sevenzip::IArchiveExtractCallback*>(this);
  } else if (iid == sevenzip::IID_ICryptoGetTextPassword) {
    *out = static_cast<sevenzip::ICryptoGetTextPassword*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CArchiveExtractCallback::AddRef() { return ++refs_; }
ULONG CArchiveExtractCallback::Release() { return DecrementAndMaybeDelete(this, refs_); }
HRESULT CArchiveExtractCallback::SetTotal(UINT64) { return S_OK; }
HRESULT CArchiveExtractCallback::SetCompleted(const UINT64*) { return S_OK; }

HRESULT CArchiveExtractCallback::GetStream(UINT32 index, sevenzip::ISequentialOutStream** outStream,
                                           INT32 askExtractMode) {
  if (!outStream) return E_POINTER;
  *outStream = nullptr;
  outStream_.reset();
  attributesDefined_ = false;
  modifiedDefined_ = false;
  isDirectory_ = false;
  fullPath_.clear();
  if (!archive_) return E_FAIL;

  PROPVARIANT value;
  ::PropVariantInit(&value);
  if (FAILED(archive_->GetProperty(index, sevenzip::kpidPath, &value))) return E_FAIL;
  if (value.vt == VT_BSTR) {
    itemPath_.assign(value.bstrVal ? value.bstrVal : L"");
  } else if (value.vt == VT_EMPTY) {
    itemPath_ = L"[Content]";
  } else {
    ::PropVariantClear(&value);
    return E_FAIL;
  }
  ::PropVariantClear(&value);
  if (itemPath_.empty()) itemPath_ = L"[Content]";

  if (askExtractMode != sevenzip::kAskExtract) return S_OK;

  // A hostile package must not write outside the extraction directory.
  if (!IsSafeMemberPath(itemPath_)) {
    ++errors_;
    return E_ABORT;
  }

  ::PropVariantInit(&value);
  if (FAILED(archive_->GetProperty(index, sevenzip::kpidAttrib, &value))) return E_FAIL;
  if (value.vt == VT_UI4) {
    attributes_ = value.ulVal;
    attributesDefined_ = true;
  } else if (value.vt == VT_EMPTY) {
    attributesDefined_ = false;
  } else {
    ::PropVariantClear(&value);
    return E_FAIL;
  }

  ::PropVariantInit(&value);
  if (FAILED(archive_->GetProperty(index, sevenzip::kpidIsDir, &value))) return E_FAIL;
  if (value.vt == VT_BOOL) {
    isDirectory_ = value.boolVal != VARIANT_FALSE;
  } else if (value.vt == VT_EMPTY) {
    isDirectory_ = false;
  } else {
    ::PropVariantClear(&value);
    return E_FAIL;
  }

  ::PropVariantInit(&value);
  if (FAILED(archive_->GetProperty(index, sevenzip::kpidMTime, &value))) return E_FAIL;
  if (value.vt == VT_FILETIME) {
    modified_ = value.filetime;
    modifiedDefined_ = true;
  } else if (value.vt == VT_EMPTY) {
    modifiedDefined_ = false;
  } else {
    ::PropVariantClear(&value);
    return E_FAIL;
  }

  size_t slash = itemPath_.find_last_of(L'\\');
  if (slash != std::wstring::npos) CreateDirectoryChain(outDir_ + itemPath_.substr(0, slash));
  fullPath_ = outDir_ + itemPath_;

  if (isDirectory_) {
    CreateDirectoryChain(fullPath_);
    return S_OK;
  }

  if (::GetFileAttributesW(fullPath_.c_str()) != INVALID_FILE_ATTRIBUTES && !::DeleteFileW(fullPath_.c_str())) {
    return E_ABORT;
  }
  win::UniqueFile file(::CreateFileW(fullPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return E_ABORT;
  outStream_ = MakeCounted<COutFileStream>(std::move(file));
  outStream_->AddRef();
  *outStream = outStream_.get();
  return S_OK;
}

HRESULT CArchiveExtractCallback::PrepareOperation(INT32 askExtractMode) {
  extractMode_ = askExtractMode == sevenzip::kAskExtract;
  return S_OK;
}

HRESULT CArchiveExtractCallback::SetOperationResult(INT32 opRes) {
  if (opRes != sevenzip::kOpResultOK) ++errors_;
  if (outStream_) {
    HRESULT closed = outStream_->Finish(modifiedDefined_ ? &modified_ : nullptr);
    outStream_.reset();
    if (FAILED(closed)) return closed;
  }
  if (extractMode_ && attributesDefined_ && !fullPath_.empty()) {
    // Archives made on POSIX systems carry the mode bits above bit 15; only the low word is
    // a Windows attribute set.
    DWORD attributes = attributes_ & 0x7FFF;
    ::SetFileAttributesW(fullPath_.c_str(), attributes);
  }
  return S_OK;
}

HRESULT CArchiveExtractCallback::NotifyItemStart() {
  return observer_ ? observer_->OnItemStart(itemPath_.c_str()) : static_cast<HRESULT>(-1);
}

HRESULT CArchiveExtractCallback::NotifyItemResult(INT32 result) {
  return observer_ ? observer_->OnItemResult(itemPath_.c_str(), result) : static_cast<HRESULT>(-1);
}

HRESULT CArchiveExtractCallback::CryptoGetTextPassword(BSTR* password) {
  if (!passwordDefined_) return E_ABORT;
  if (!password) return E_POINTER;
  *password = ::SysAllocString(password_.c_str());
  return *password ? S_OK : E_OUTOFMEMORY;
}

void CArchiveExtractCallback::ReleaseArchive() { archive_.reset(); }
