#pragma once
// The second machine identifier "mid2": 44 characters, a 40-digit SHA-1 of network address,
// disk and processor texts (or a random fallback), two hex digits of component flags and a
// CRC-8/MAXIM check pair. Cached in the registry, computed at most once per process.
#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <functional>
#include <string>

namespace identity {

enum : uint8_t {
  kMid2Network = 0x01,
  kMid2Disk = 0x02,
  kMid2Processor = 0x08,
  kMid2Guid = 0x10,
  kMid2Sha1 = 0x20,
  kMid2AllComponents = kMid2Network | kMid2Disk | kMid2Processor,
};

struct Mid2Components {
  std::string network, disk, processor;
  uint8_t flags = 0;
};

struct Mid2CacheKey {
  HKEY root;
  std::wstring path;
  REGSAM view;
};
Mid2CacheKey DefaultMid2CacheKey();  // HKLM "SOFTWARE\ComWarden", 32-bit view

struct Mid2Cache {
  bool valid = false;
  std::string text;       // only when valid: an invalid entry is never carried to "m2_old"
  bool fallback = false;  // the cached text is a "ffffffff" GUID identifier
};
// Valid: REG_SZ of 45 characters with the NUL whose last two are the CRC-8/MAXIM of the
// first 42 in hex.
Mid2Cache ReadMid2Cache(const Mid2CacheKey& key);
// A non-empty previous text that differs (ignoring case) moves to "m2_old"; then "m2".
// True when "m2" was written.
bool WriteMid2Cache(const Mid2CacheKey& key, const std::string& fresh, const std::string& previous);

// What the computation needs from the machine; tests replace it.
struct Mid2Probes {
  // Fills the components of `mask` whose bit is still clear and sets their bits.
  std::function<void(Mid2Components&, uint8_t mask)> collect;
  std::function<bool(GUID&)> newGuid;
  std::function<void(DWORD ms)> sleep;
};
Mid2Probes SystemMid2Probes();

// The id, flags pair and check pair from the components. False for a fallback (GUID or forty
// "0"). Not elevated: a non-"ffffffff" id begins with "eeeeeeee".
bool GenerateMid2(const Mid2Components& components, bool elevated, const Mid2Probes& probes, std::string& text);
// id + "%02x" flags + "%02x" CRC-8/MAXIM of both.
std::string FinishMid2(const std::string& id, uint8_t flags);
// The whole decision: cache, probes, at most one 500 ms pause for missing components, write.
std::string ComputeMid2(const Mid2CacheKey& key, bool elevated, const Mid2Probes& probes);

// Elevated unless the version is known and at least 6, the token opens and its elevation
// query succeeds saying "not elevated".
struct ElevationFacts {
  bool versionKnown;
  DWORD major;
  bool tokenOpened;
  bool queryOk;
  bool tokenElevated;
};
bool IsElevatedBy(const ElevationFacts& facts);
bool ProcessIsElevated();

// The component texts.
std::string Mid2ProcessorText();
std::string Mid2ProcessorTextFrom(const std::string& vendor, unsigned signature, const std::string& brand);
std::string Mid2NetworkText();
std::string Mid2DiskText();
void CollectMid2Components(Mid2Components& components, uint8_t mask);

// Pure pieces of the probes.
// Exchanges the bytes of each pair, after moving the text behind leading blanks to the front
// (the blanks go to the end and are dropped). Only for even lengths of at least 2.
void PairSwap(std::string& text);
// Serial number text of a storage descriptor: 4 to 40 characters; exactly 40 hex digits are
// decoded (up to the first zero byte); pair-swapped on 6.1 and earlier; trimmed.
std::string ConvertStorageSerial(const std::string& raw, bool windows7_or_earlier);
// Classification of a card from its NDIS medium answers: 1 wireless, 0 wired, -1 rejected.
struct MediumAnswers {
  bool exOk;
  ULONG ex;
  bool plainOk;
  ULONG plain;
};
int ClassifyCardMedium(const MediumAnswers& answers, bool wireless_by_registry);

// The object behind GetMid2.
struct IExtend : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Extend1(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend2(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend3(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend4(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend5(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend6(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend7(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend8(DWORD, DWORD, DWORD, DWORD) = 0;
};
struct INewMID : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetMID2(wchar_t* buffer, size_t capacity) = 0;
};
extern const IID IID_IExtend;  // {191FF683-45BC-472E-AAFF-2F9E2B434B56}
extern const IID IID_INewMID;  // {88D6FFD4-88B6-4943-AF29-C5CA67BAFCD1}

class CEmptyExtendImpl : public IExtend {
 public:
  HRESULT STDMETHODCALLTYPE Extend1(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend2(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend3(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend4(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend5(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend6(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend7(DWORD a, DWORD b, DWORD c) override { return Extend8(a, 0, b, c); }
  HRESULT STDMETHODCALLTYPE Extend8(DWORD, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  virtual ~CEmptyExtendImpl() = default;
};

class CMvkMID2 : public CEmptyExtendImpl, public INewMID {
 public:
  // compute gives the process-wide text; by default ComputeMid2 on the real cache and probes.
  explicit CMvkMID2(std::function<std::string()> compute = {});
  ~CMvkMID2() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // Computes once (again after a failure), then copies the text; E_FAIL when it cannot be
  // computed or does not fit in 49 characters.
  HRESULT STDMETHODCALLTYPE GetMID2(wchar_t* buffer, size_t capacity) override;

  static CMvkMID2& Instance();

 private:
  std::function<std::string()> compute_;
  CRITICAL_SECTION lock_;
  bool computed_ = false;
  wchar_t mid2_[50] = {};
};

}  // namespace identity

// E_INVALIDARG for a null buffer or a capacity below 50; otherwise the identifier.
HRESULT GetMid2(wchar_t* buffer, size_t capacity);
