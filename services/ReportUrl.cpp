#include "services/ReportUrl.h"

#include <cstdio>

namespace services {

const wchar_t kStatisticsHost[] = L"stat.lumetta-soft.com";
const wchar_t kServiceHost[] = L"api.lumetta-soft.com";
const wchar_t kPublicServiceHost[] = L"pub.lumetta-soft.com";
const wchar_t kUploadHost[] = L"up.lumetta-soft.com";

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  if (from.empty()) return text;
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::wstring::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

std::wstring BuildReportUrl(const std::wstring& host, const ReportValues& v, const wchar_t* extra) {
  std::wstring url = L"http://" + host +
                     L"/tarvo?pid={pid}&type={type}&action={action}&appver={ver}&mid={mid}&mid2={mid2}";
  url = ReplaceAll(url, L"{type}", v.type);
  url = ReplaceAll(url, L"{action}", v.action);
  url = ReplaceAll(url, L"{ver}", v.app_version);
  url = ReplaceAll(url, L"{modver}", v.module_version);
  url = ReplaceAll(url, L"{mid}", v.mid);
  url = ReplaceAll(url, L"{mid2}", v.mid2);
  url = ReplaceAll(url, L"{pid}", v.pid);
  if (extra) url += extra;
  return url;
}

std::wstring UrlHost(const std::wstring& url) {
  size_t scheme = url.find(L"://");
  if (scheme == std::wstring::npos || scheme == 0) return std::wstring();
  size_t begin = scheme + 3;
  size_t end = url.find(L'/', begin);
  std::wstring host = url.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
  size_t colon = host.find(L':', 1);
  if (colon != std::wstring::npos) host.resize(colon);
  return host;
}

std::wstring ReplaceUrlHost(const std::wstring& url, const std::wstring& replacement) {
  std::wstring host = UrlHost(url);
  if (host.empty()) return url;
  return ReplaceAll(url, host, replacement);
}

std::wstring FormatFileVersion(unsigned long ms, unsigned long ls, size_t capacity) {
  if (!capacity) return std::wstring();
  wchar_t text[64];
  std::swprintf(text, 64, L"%d.%d.%d.%d", static_cast<int>(ms >> 16), static_cast<int>(ms & 0xFFFF),
                static_cast<int>(ls >> 16), static_cast<int>(ls & 0xFFFF));
  std::wstring out = text;
  if (out.size() > capacity - 1) out.resize(capacity - 1);
  return out;
}

}  // namespace services
