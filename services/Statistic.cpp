#include "services/Statistic.h"

#include <iphlpapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#include "common/UniqueHandle.h"
#include "services/Codecs.h"
#include "services/ReportUrl.h"
#include "identity/Mid.h"

const wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe";
const wchar_t kOemConfigKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\dazovoze.exe\\oemconfig";
const wchar_t COemHostMap::kKeyText[] = L"D3E1A06C-5B7F-4E92-8C14-2F6A9B0E7D53";

namespace {

std::atomic<Mid2Source> g_mid2_source{nullptr};

// The heap record handed to one report thread; the thread frees it.
struct DownloadJob {
  CStatistic* owner;
  wchar_t url[2048];
  wchar_t target[520];
  bool owned;
};

bool ValidStringData(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  if (size == 0) return true;
  if (size % 2 != 0) return false;
  return data[size - 1] == 0 && data[size - 2] == 0;
}

}  // namespace

void SetMid2Source(Mid2Source source) { g_mid2_source = source; }

bool ReadStrictRegString(HKEY key, const wchar_t* name, DWORD max_bytes, std::wstring* out) {
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (size > max_bytes) return false;
  std::vector<BYTE> data(size + 2, 0);
  DWORD got = size;
  if (::RegQueryValueExW(key, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS || got != size) return false;
  if (!ValidStringData(type, data, size)) return false;
  out->assign(reinterpret_cast<const wchar_t*>(data.data()));
  return true;
}

void COemHostMap::Load(const std::wstring& product, HKEY root, const std::wstring& app_key, REGSAM view) {
  product_ = product;
  hosts_.clear();
  key_path_ = app_key + L"\\oemconfig";
  enabled_ = 0;
  win::UniqueKey app;
  if (::RegOpenKeyExW(root, app_key.c_str(), 0, KEY_READ | view, app.put()) != ERROR_SUCCESS) return;
  std::wstring flag;
  if (!ReadStrictRegString(app.get(), L"oem_f", 520, &flag) || _wcsicmp(flag.c_str(), L"1") != 0) return;
  enabled_ = 1;
  win::UniqueKey oem;
  if (::RegOpenKeyExW(root, key_path_.c_str(), 0, KEY_READ | view, oem.put()) != ERROR_SUCCESS) return;
  std::vector<wchar_t> name(4097);
  std::vector<BYTE> data(8192 + 2);
  for (DWORD index = 0;; ++index) {
    DWORD name_len = 4097, type = 0, size = 8192;
    std::fill(data.begin(), data.end(), 0);
    LONG rc = ::RegEnumValueW(oem.get(), index, name.data(), &name_len, nullptr, &type, data.data(), &size);
    if (rc == ERROR_MORE_DATA) continue;  // a name or value too large is skipped
    if (rc != ERROR_SUCCESS) break;
    if (!ValidStringData(type, data, size)) continue;
    std::wstring key = codecs::DecryptTextW(std::wstring(name.data(), name_len), kKeyText);
    std::wstring host = codecs::DecryptTextW(reinterpret_cast<const wchar_t*>(data.data()), kKeyText);
    if (!key.empty() && !host.empty()) hosts_[key] = host;
  }
}

std::wstring COemHostMap::Rewrite(const std::wstring& service_key, const std::wstring& url) const {
  if (!enabled_) return url;
  auto it = hosts_.find(service_key);
  if (it == hosts_.end()) return url;
  return services::ReplaceUrlHost(url, it->second);
}

std::wstring RunningExePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    if (buffer.size() > 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring RunningExeDirectory() {
  std::wstring path = RunningExePath();
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring ReadProductPid() {
  win::UniqueKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\orbWallPaper", 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return std::wstring();
  }
  wchar_t buffer[261] = {};  // 260 characters and a terminator of our own
  DWORD type = 0, size = 260 * sizeof(wchar_t);
  if (::RegQueryValueExW(key.get(), L"pid", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::wstring();
  }
  buffer[size / sizeof(wchar_t)] = 0;
  return buffer;
}

CStatistic::CStatistic() : oem_(new (std::nothrow) COemHostMap) {
  if (oem_) oem_->LoadDefault();
}

void CStatistic::SetType(const wchar_t* type) { type_ = type ? type : L""; }

void CStatistic::SetAppVersionFromFile(const wchar_t* path) {
  wchar_t version[260] = {};
  GetFileVersion(path, version, 260);
  app_version_ = version;
}

bool CStatistic::Report(const wchar_t* action, const wchar_t* extra, bool synchronous) {
  return ReportAs(type_.c_str(), action, extra, synchronous);
}

bool CStatistic::ReportAs(const wchar_t* type, const wchar_t* action, const wchar_t* extra, bool synchronous) {
  if (!action || !*action || !type || !*type) return false;
  FillDefaults();
  services::ReportValues v{type, action, app_version_, module_version_, mid_, mid2_, pid_};
  std::wstring url = services::BuildReportUrl(services::kStatisticsHost, v, extra);
  return SendUrl(url.c_str(), synchronous);
}

void CStatistic::FillDefaults() {
  wchar_t buffer[260];
  if (mid_.empty()) {
    buffer[0] = 0;
    GetMid(buffer, 260);
    mid_ = buffer;
  }
  if (mid2_.empty()) {
    buffer[0] = 0;
    if (GetMid2(buffer, 260)) mid2_ = buffer;
  }
  if (app_version_.empty()) {
    buffer[0] = 0;
    if (GetFileVersion((RunningExeDirectory() + L"vantel.exe").c_str(), buffer, 260)) app_version_ = buffer;
  }
  if (pid_.empty()) pid_ = ReadProductPid();
  if (module_version_.empty()) {
    buffer[0] = 0;
    if (GetFileVersion(RunningExePath().c_str(), buffer, 260)) module_version_ = buffer;
  }
}

bool CStatistic::SendUrl(const wchar_t* url, bool synchronous) {
  if (!url) return false;
  std::wstring target = oem_ ? oem_->Rewrite(L"statis", url) : std::wstring(url);
  return Download(target.c_str(), nullptr, !synchronous);
}

bool CStatistic::GetFileVersion(const wchar_t* path, wchar_t* out, size_t capacity) {
  if (!path || !out || !capacity) return false;
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path, &handle);
  if (size == 0 || size > 16383) return false;
  std::vector<BYTE> block(16384);
  if (!::GetFileVersionInfoW(path, 0, static_cast<DWORD>(block.size()), block.data())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT info_len = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &info_len) || !info ||
      info_len < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  std::wstring text = services::FormatFileVersion(info->dwFileVersionMS, info->dwFileVersionLS, capacity);
  std::wmemcpy(out, text.c_str(), text.size() + 1);
  return true;
}

bool CStatistic::IsNetworkAvailable() {
  DWORD flags = 0;
  if (::InternetGetConnectedState(&flags, 0) && (flags & 7)) return true;
  return HasGatewayAdapter();
}

bool CStatistic::HasGatewayAdapter() {
  ULONG size = 648;
  std::vector<BYTE> buffer(size);
  ULONG rc = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  if (rc == ERROR_BUFFER_OVERFLOW) {
    buffer.assign(size, 0);
    rc = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (rc != ERROR_SUCCESS) return false;
  for (auto* a = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()); a; a = a->Next) {
    if (a->GatewayList.IpAddress.String[0]) return true;
  }
  return false;
}

bool CStatistic::Fetch(const wchar_t* url, const wchar_t* target_file) {
  if (!url || !*url) return false;
  if (target_file && *target_file) {
    return SUCCEEDED(::URLDownloadToFileW(nullptr, url, target_file, 0, nullptr));
  }
  wchar_t cache_file[260] = {};
  if (FAILED(::URLDownloadToCacheFileW(nullptr, url, cache_file, 260, 0, nullptr))) return false;
  ::DeleteFileW(cache_file);
  return true;
}

DWORD WINAPI CStatistic::DownloadThread(void* param) {
  std::unique_ptr<DownloadJob> job(static_cast<DownloadJob*>(param));
  if (job->owner && job->url[0] && job->owner->IsNetworkAvailable()) {
    Fetch(job->url, job->target[0] ? job->target : nullptr);
  }
  return 0;
}

bool CStatistic::Download(const wchar_t* url, const wchar_t* target_file, bool asynchronous) {
  if (!url) return false;
  if (!asynchronous) return Fetch(url, target_file);
  std::unique_ptr<DownloadJob> job(new (std::nothrow) DownloadJob);
  if (!job) return false;
  std::memset(job.get(), 0, sizeof(DownloadJob));
  job->owner = this;
  std::wcsncpy(job->url, url, 2047);  // a longer URL is cut
  if (target_file) std::wcsncpy(job->target, target_file, 519);
  job->owned = true;
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &CStatistic::DownloadThread, job.get(), 0, nullptr));
  if (!thread) return false;  // the job stays ours and is freed here
  job.release();
  return true;
}

void CStatistic::GetMid(wchar_t* out, size_t capacity) {
  if (!out || !capacity) return;
  out[0] = 0;
  ::GetMid(out, capacity);
}

bool CStatistic::GetMid2(wchar_t* out, size_t capacity) {
  if (!out || !capacity) return false;
  out[0] = 0;
  Mid2Source source = g_mid2_source.load();
  if (!source) return false;
  bool ok = SUCCEEDED(source(out, capacity));
  out[capacity - 1] = 0;
  if (!ok) out[0] = 0;
  return ok;
}
