#pragma once
// The COM-style interfaces of 7-Zip's archive library "7z.dll", declared from its published
// interface descriptions. They derive from the platform's IUnknown and use its calling
// convention, so the vtable layout is the library's on both 32- and 64-bit Windows.
#include <windows.h>
#include <objbase.h>
#include <propidl.h>

namespace sevenzip {

// 7-Zip's identifiers share the prefix 23170F69-40C1-278A; the fourth group is 0000 for
// interfaces, with the group and interface numbers in the last group.
constexpr GUID MakeInterfaceId(unsigned char group, unsigned char id) {
  return GUID{0x23170F69, 0x40C1, 0x278A, {0x00, 0x00, 0x00, group, 0x00, id, 0x00, 0x00}};
}

constexpr GUID IID_ISequentialInStream = MakeInterfaceId(0x03, 0x01);
constexpr GUID IID_ISequentialOutStream = MakeInterfaceId(0x03, 0x02);
constexpr GUID IID_IInStream = MakeInterfaceId(0x03, 0x03);
constexpr GUID IID_IOutStream = MakeInterfaceId(0x03, 0x04);
constexpr GUID IID_IStreamGetSize = MakeInterfaceId(0x03, 0x06);
constexpr GUID IID_IProgress = MakeInterfaceId(0x00, 0x05);
constexpr GUID IID_ICryptoGetTextPassword = MakeInterfaceId(0x05, 0x10);
constexpr GUID IID_IArchiveOpenCallback = MakeInterfaceId(0x06, 0x10);
constexpr GUID IID_IArchiveExtractCallback = MakeInterfaceId(0x06, 0x20);
constexpr GUID IID_IInArchive = MakeInterfaceId(0x06, 0x60);

// The 7z format handler's class id.
constexpr GUID CLSID_Format7z = {0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};

// Item property ids.
enum : PROPID { kpidPath = 3, kpidIsDir = 6, kpidAttrib = 9, kpidMTime = 12 };

// Ask modes and operation results of the extract callback.
enum : INT32 { kAskExtract = 0, kAskTest = 1, kAskSkip = 2 };
enum : INT32 { kOpResultOK = 0 };

// STG_E_INVALIDFUNCTION is what 7-Zip's own streams return for an unknown seek origin.
constexpr HRESULT kInvalidSeekOrigin = static_cast<HRESULT>(0x80030001L);

struct ISequentialInStream : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(void* data, UINT32 size, UINT32* processedSize) = 0;
};

struct ISequentialOutStream : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Write(const void* data, UINT32 size, UINT32* processedSize) = 0;
};

struct IInStream : public ISequentialInStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(INT64 offset, UINT32 seekOrigin, UINT64* newPosition) = 0;
};

struct IOutStream : public ISequentialOutStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(INT64 offset, UINT32 seekOrigin, UINT64* newPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(UINT64 newSize) = 0;
};

struct IStreamGetSize : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSize(UINT64* size) = 0;
};

struct IProgress : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetTotal(UINT64 total) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCompleted(const UINT64* completeValue) = 0;
};

struct ICryptoGetTextPassword : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CryptoGetTextPassword(BSTR* password) = 0;
};

struct IArchiveOpenCallback : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetTotal(const UINT64* files, const UINT64* bytes) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCompleted(const UINT64* files, const UINT64* bytes) = 0;
};

struct IArchiveExtractCallback : public IProgress {
  virtual HRESULT STDMETHODCALLTYPE GetStream(UINT32 index, ISequentialOutStream** outStream,
                                              INT32 askExtractMode) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareOperation(INT32 askExtractMode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOperationResult(INT32 opRes) = 0;
};

struct IInArchive : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Open(IInStream* stream, const UINT64* maxCheckStartPosition,
                                         IArchiveOpenCallback* openCallback) = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNumberOfItems(UINT32* numItems) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProperty(UINT32 index, PROPID propID, PROPVARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extract(const UINT32* indices, UINT32 numItems, INT32 testMode,
                                            IArchiveExtractCallback* extractCallback) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetArchiveProperty(PROPID propID, PROPVARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNumberOfProperties(UINT32* numProps) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyInfo(UINT32 index, BSTR* name, PROPID* propID,
                                                    VARTYPE* varType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNumberOfArchiveProperties(UINT32* numProps) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetArchivePropertyInfo(UINT32 index, BSTR* name, PROPID* propID,
                                                           VARTYPE* varType) = 0;
};

// The library's factory export.
using CreateObjectFunc = HRESULT(WINAPI*)(const GUID* clsid, const GUID* iid, void** outObject);

}  // namespace sevenzip
