#pragma once
// Building report URLs and rewriting their host: text only, no network or registry.
#include <string>

namespace services {

// The product's web hosts.
extern const wchar_t kStatisticsHost[];    // statistics reports
extern const wchar_t kServiceHost[];       // "/live/..." requests
extern const wchar_t kPublicServiceHost[]; // "/pc/ud/dogsun"
extern const wchar_t kUploadHost[];        // answer upload

// Replaces every occurrence of from (non-empty) in text; the inserted text is not searched again.
std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);

struct ReportValues {
  std::wstring type, action, app_version, module_version, mid, mid2, pid;
};

// "http://" host "/tarvo?pid={pid}&type={type}&action={action}&appver={ver}&mid={mid}&mid2={mid2}"
// with the placeholders replaced in the order type, action, ver, modver, mid, mid2, pid, values
// inserted as they are; then the extra text (null for none) verbatim.
std::wstring BuildReportUrl(const std::wstring& host, const ReportValues& values, const wchar_t* extra);

// The host part of a URL: after the first "://" up to the next "/", cut before a ":" that is
// not its first character. Empty when there is no "://" or it starts the URL.
std::wstring UrlHost(const std::wstring& url);

// Every occurrence of the URL's host replaced by replacement (the port stays in place).
std::wstring ReplaceUrlHost(const std::wstring& url, const std::wstring& replacement);

// "%d.%d.%d.%d" of a fixed file version, cut to capacity - 1 characters.
std::wstring FormatFileVersion(unsigned long ms, unsigned long ls, size_t capacity);

}  // namespace services
