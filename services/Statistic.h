#pragma once
// Usage reports ("actions") to the statistics host: one HTTP GET per report, reply discarded.
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "startup/Singleton.h"

// The application key of the product (32-bit view) and its OEM sub-key.
extern const wchar_t kAppPathsKey[];  // SOFTWARE\...\App Paths\dazovoze.exe
extern const wchar_t kOemConfigKey[]; // ...\dazovoze.exe\oemconfig

// Reads a string value (plain or expandable) whose data is at most max_bytes, of even size and
// NUL-terminated (an empty value is empty text). False otherwise.
bool ReadStrictRegString(HKEY key, const wchar_t* name, DWORD max_bytes, std::wstring* out);

// Optional replacement hosts for the product's services, kept in the registry in encrypted form.
class COemHostMap {
 public:
  // Enabled when "oem_f" of the application key is "1" (ignoring case); then every value of the
  // oemconfig key whose name and data decrypt to non-empty texts maps a service key to a host.
  void Load(const std::wstring& product, HKEY root, const std::wstring& app_key, REGSAM view);
  void LoadDefault() { Load(L"tarvo", HKEY_LOCAL_MACHINE, kAppPathsKey, KEY_WOW64_32KEY); }
  // The URL with its host replaced by the mapping of service_key; unchanged without one.
  std::wstring Rewrite(const std::wstring& service_key, const std::wstring& url) const;

  bool enabled() const { return enabled_ != 0; }
  const std::map<std::wstring, std::wstring>& entries() const { return hosts_; }

  // The cipher key text of the oemconfig values.
  static const wchar_t kKeyText[];

 private:
  std::wstring product_;
  std::map<std::wstring, std::wstring> hosts_;
  std::wstring key_path_;
  int enabled_ = 0;
};

// Source of the second machine identifier; installed by whoever provides it (returns an
// HRESULT like GetMid2). Without a source mid2 stays empty.
using Mid2Source = HRESULT (*)(wchar_t* buffer, size_t capacity);
void SetMid2Source(Mid2Source source);

class CStatistic : public CSingletonT<CStatistic> {
 public:
  CStatistic();
  virtual ~CStatistic() = default;
  CStatistic(const CStatistic&) = delete;
  CStatistic& operator=(const CStatistic&) = delete;

  virtual bool SendUrl(const wchar_t* url, bool synchronous);
  virtual bool GetFileVersion(const wchar_t* path, wchar_t* out, size_t capacity);
  virtual bool IsNetworkAvailable();
  virtual bool HasGatewayAdapter();
  virtual bool Download(const wchar_t* url, const wchar_t* target_file, bool asynchronous);
  virtual void GetMid(wchar_t* out, size_t capacity);
  virtual bool GetMid2(wchar_t* out, size_t capacity);

  // Returns false when nothing was sent (empty action or type); else the result of SendUrl.
  bool Report(const wchar_t* action, const wchar_t* extra, bool synchronous);
  bool ReportAs(const wchar_t* type, const wchar_t* action, const wchar_t* extra, bool synchronous);
  void SetType(const wchar_t* type);
  void SetAppVersionFromFile(const wchar_t* path);
  // Fills every still-empty value from its source.
  void FillDefaults();

  std::wstring app_version() const { return app_version_; }
  std::wstring mid() const { return mid_; }
  std::wstring module_version() const { return module_version_; }
  const COemHostMap* oem_host_map() const { return oem_.get(); }

 protected:
  // For tests: a map loaded from elsewhere.
  void ReplaceOemHostMap(std::unique_ptr<COemHostMap> map) { oem_ = std::move(map); }
  // The fetch of Download (URL Moniker), on the calling thread.
  static bool Fetch(const wchar_t* url, const wchar_t* target_file);

 private:
  static DWORD WINAPI DownloadThread(void* param);

  std::wstring app_version_;
  std::wstring mid_;
  std::wstring type_;
  std::wstring pid_;
  std::wstring module_version_;
  std::wstring mid2_;
  std::unique_ptr<COemHostMap> oem_;
};

// The directory of the running executable with a trailing backslash.
std::wstring RunningExeDirectory();
std::wstring RunningExePath();
// Value "pid" of HKCU "Software\orbWallPaper" (260-character buffer; empty when missing or longer).
std::wstring ReadProductPid();
