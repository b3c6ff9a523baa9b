// VuzOD.dll: HTTP tasks over WinINet with the system's proxy settings. Each started task runs
// on a thread of its own, which delivers the task's events and then ends.
#include <windows.h>
#include <wininet.h>
#include <zlib.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "product/VuzOD/FormBody.h"
#include "product/VuzOD/HttpTask.h"

namespace {

constexpr DWORD kDefaultTimeoutMs = 30000;
constexpr DWORD kDefaultMaxReply = 4u * 1024 * 1024;
constexpr DWORD kMaxTimeoutMs = 600000;
constexpr DWORD kMaxReplyCeiling = 64u * 1024 * 1024;

struct InternetHandle {
  HINTERNET h = nullptr;
  explicit InternetHandle(HINTERNET handle) : h(handle) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() { if (h) ::InternetCloseHandle(h); }
};

void SetTimeouts(HINTERNET handle, DWORD ms) {
  ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof(ms));
  ::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof(ms));
  ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof(ms));
}

class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
  void Enter() { ::EnterCriticalSection(&cs_); }
  void Leave() { ::LeaveCriticalSection(&cs_); }
 private:
  CRITICAL_SECTION cs_;
};

class Hold {
 public:
  explicit Hold(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
  ~Hold() { cs_.Leave(); }
 private:
  CriticalSection& cs_;
};

class Factory final : public IHttpTaskFactory {
 public:
  IHttpTask* CreateTask() override;
  LONG LiveTaskCount() override { return live_tasks_.load(); }
  LONG LiveThreadCount() override { return live_threads_.load(); }

  std::atomic<LONG> live_tasks_{0};
  std::atomic<LONG> live_threads_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<LONG> users_{0};
};

Factory g_factory;

class HttpTask final : public IHttpTask {
 public:
  HttpTask() { g_factory.live_tasks_.fetch_add(1); }
  ~HttpTask() { g_factory.live_tasks_.fetch_sub(1); }

  void SetCallback(IHttpTaskCallback* callback) override {
    Hold hold(lock_);
    if (!released_) callback_ = callback;
  }

  bool Start(int method, const wchar_t* url) override;

  void Cancel() override { abort_ = true; }

  void Release() override {
    {
      // Taking the lock waits for a callback in progress on another thread; a callback that
      // releases its own task re-enters the lock on the same thread.
      Hold hold(lock_);
      released_ = true;
      callback_ = nullptr;
      // A started request still goes out and completes (within its time-out): callers such as
      // the upload manager release on the first event and rely on the request being sent.
    }
    Unref();
  }

  bool AddParam(const char* name, const char* value) override {
    if (!name) return false;
    Hold hold(lock_);
    if (started_) return false;
    fields_.push_back({name, value ? value : ""});
    return true;
  }

  bool AddParamW(const wchar_t* name, const wchar_t* value) override {
    if (!name) return false;
    Hold hold(lock_);
    if (started_) return false;
    fields_.push_back({vuzod::Utf8FromWide(name), vuzod::Utf8FromWide(value)});
    return true;
  }

  bool AddFile(const char* name, const void* data, DWORD size, const char* file_name,
               const char* content_type) override {
    if (!name || (!data && size)) return false;
    Hold hold(lock_);
    if (started_) return false;
    vuzod::FormFile file;
    file.name = name;
    if (size) file.data.assign(static_cast<const char*>(data), size);
    file.file_name = file_name ? file_name : "";
    file.content_type = content_type ? content_type : "";
    files_.push_back(std::move(file));
    return true;
  }

  bool SetOption(const char* name, int value) override {
    if (!name) return false;
    Hold hold(lock_);
    if (started_) return false;
    std::string key = name;
    if (key == "gzip") gzip_ = value != 0;
    else if (key == "ungzip") ungzip_ = value != 0;
    else if (key == "timeout") timeout_ms_ = value <= 0 ? kDefaultTimeoutMs : (static_cast<DWORD>(value) > kMaxTimeoutMs ? kMaxTimeoutMs : static_cast<DWORD>(value));
    else if (key == "max_reply") max_reply_ = value <= 0 ? kDefaultMaxReply : (static_cast<DWORD>(value) > kMaxReplyCeiling ? kMaxReplyCeiling : static_cast<DWORD>(value));
    else return false;
    return true;
  }

  bool AddHeader(const char* name, const char* value) override {
    if (!name || !*name || !value) return false;
    std::string line = std::string(name) + ": " + value;
    if (line.find_first_of("\r\n") != std::string::npos) return false;  // no header injection
    Hold hold(lock_);
    if (started_) return false;
    headers_ += line + "\r\n";
    return true;
  }

  DWORD GetHttpStatus() override { return http_status_.load(); }

 private:
  static DWORD WINAPI ThreadMain(void* param);
  void Run();
  void Transfer(HttpTaskEvent* final_event, std::string* body);
  void Deliver(DWORD status, DWORD http_status, const std::string* body, DWORD error);
  void Unref() {
    if (refs_.fetch_sub(1) == 1) delete this;
  }
  bool Aborted() const { return abort_.load() || g_factory.stopping_.load(); }

  std::atomic<LONG> refs_{1};  // the caller's reference; a started request holds another
  CriticalSection lock_;       // guards the fields below and every callback
  IHttpTaskCallback* callback_ = nullptr;
  bool released_ = false;
  bool started_ = false;
  std::atomic<bool> abort_{false};
  std::atomic<DWORD> http_status_{0};
  int method_ = kHttpGet;
  std::wstring url_;
  std::vector<vuzod::FormField> fields_;
  std::vector<vuzod::FormFile> files_;
  std::string headers_;
  bool gzip_ = false;
  bool ungzip_ = false;
  DWORD timeout_ms_ = kDefaultTimeoutMs;
  DWORD max_reply_ = kDefaultMaxReply;
};

IHttpTask* Factory::CreateTask() {
  if (stopping_.load()) return nullptr;
  return new (std::nothrow) HttpTask;
}

bool HttpTask::Start(int method, const wchar_t* url) {
  if (!url || (method != kHttpGet && method != kHttpPostForm)) return false;
  if (_wcsnicmp(url, L"http://", 7) != 0 && _wcsnicmp(url, L"https://", 8) != 0) return false;
  {
    Hold hold(lock_);
    if (started_ || released_) return false;
    started_ = true;
    method_ = method;
    url_ = url;
  }
  // The thread keeps the library loaded until it has left the library's code.
  HMODULE self = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&HttpTask::ThreadMain), &self)) {
    return false;
  }
  refs_.fetch_add(1);
  g_factory.live_threads_.fetch_add(1);
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &HttpTask::ThreadMain, this, 0, nullptr));
  if (!thread) {
    g_factory.live_threads_.fetch_sub(1);
    refs_.fetch_sub(1);
    ::FreeLibrary(self);
    Hold hold(lock_);
    started_ = false;
    return false;
  }
  return true;
}

DWORD WINAPI HttpTask::ThreadMain(void* param) {
  static_cast<HttpTask*>(param)->Run();
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&HttpTask::ThreadMain), &self);
  g_factory.live_threads_.fetch_sub(1);
  ::FreeLibraryAndExitThread(self, 0);
  return 0;
}

void HttpTask::Deliver(DWORD status, DWORD http_status, const std::string* body, DWORD error) {
  HttpTaskEvent event{};
  event.size = sizeof(event);
  event.status = status;
  event.http_status = http_status;
  event.body = body ? body->c_str() : nullptr;
  event.body_length = body ? static_cast<DWORD>(body->size()) : 0;
  event.error = error;
  Hold hold(lock_);
  if (!released_ && callback_) callback_->OnTaskEvent(this, &event);
}

void HttpTask::Run() {
  HttpTaskEvent final_event{};
  final_event.status = kHttpTaskFailed;
  std::string body;
  Transfer(&final_event, &body);
  if (abort_.load() && final_event.status == kHttpTaskFinished) {
    final_event.status = kHttpTaskFailed;
    final_event.error = ERROR_CANCELLED;
  }
  bool with_body = final_event.http_status != 0;
  Deliver(final_event.status, final_event.http_status, with_body ? &body : nullptr, final_event.error);
  Unref();
}

void HttpTask::Transfer(HttpTaskEvent* result, std::string* body) {
  const DWORD started_at = ::GetTickCount();
  auto fail = [result](DWORD error) {
    result->status = kHttpTaskFailed;
    result->error = error ? error : ERROR_INTERNET_INTERNAL_ERROR;
  };
  if (Aborted()) return fail(ERROR_CANCELLED);

  // The request was fixed when Start returned; no lock needed for these reads.
  std::wstring url = url_;
  std::string payload;
  std::string headers = headers_;
  if (method_ == kHttpPostForm) {
    if (files_.empty()) {
      payload = vuzod::EncodeForm(fields_);
      headers += "Content-Type: application/x-www-form-urlencoded\r\n";
    } else {
      std::string boundary = vuzod::ChooseBoundary(fields_, files_, ::GetTickCount() ^ ::GetCurrentThreadId());
      payload = vuzod::EncodeMultipart(fields_, files_, boundary);
      headers += "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n";
    }
    if (gzip_) {
      std::string packed;
      if (!vuzod::GzipCompress(payload, &packed)) return fail(ERROR_NOT_ENOUGH_MEMORY);
      payload.swap(packed);
      headers += "Content-Encoding: gzip\r\n";
    }
  } else if (!fields_.empty()) {
    std::string query = vuzod::EncodeForm(fields_);
    url += url.find(L'?') == std::wstring::npos ? L'?' : L'&';
    url += std::wstring(query.begin(), query.end());  // ASCII after encoding
  }
  if (ungzip_) headers += "Accept-Encoding: gzip\r\n";

  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof(parts);
  wchar_t host[256] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = ARRAYSIZE(host);
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) || !host[0]) {
    return fail(::GetLastError());
  }
  std::wstring object = parts.lpszUrlPath ? std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) : L"";
  if (parts.lpszExtraInfo) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (object.empty()) object = L"/";
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  Deliver(kHttpTaskConnecting, 0, nullptr, 0);
  if (Aborted()) return fail(ERROR_CANCELLED);

  InternetHandle session(::InternetOpenW(L"VuzOD/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session.h) return fail(::GetLastError());
  SetTimeouts(session.h, timeout_ms_);
  InternetHandle connection(::InternetConnectW(session.h, host, parts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection.h) return fail(::GetLastError());
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
  if (secure) flags |= INTERNET_FLAG_SECURE;
  InternetHandle request(::HttpOpenRequestW(connection.h, method_ == kHttpPostForm ? L"POST" : L"GET",
                                            object.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (!request.h) return fail(::GetLastError());
  // Handles do not reliably inherit the time-outs of their parents: set them on each level.
  SetTimeouts(connection.h, timeout_ms_);
  SetTimeouts(request.h, timeout_ms_);
  std::wstring wide_headers(headers.begin(), headers.end());
  if (!::HttpSendRequestW(request.h, wide_headers.empty() ? nullptr : wide_headers.c_str(),
                          static_cast<DWORD>(wide_headers.size()),
                          payload.empty() ? nullptr : &payload[0], static_cast<DWORD>(payload.size()))) {
    return fail(::GetLastError());
  }
  DWORD status = 0, size = sizeof(status);
  if (!::HttpQueryInfoW(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    return fail(::GetLastError());
  }
  http_status_ = status;
  Deliver(kHttpTaskReceiving, status, nullptr, 0);

  DWORD declared = 0;
  size = sizeof(declared);
  if (::HttpQueryInfoW(request.h, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &declared, &size, nullptr) &&
      declared > max_reply_) {
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  wchar_t encoding[64] = {};
  size = sizeof(encoding);
  bool gzipped = ::HttpQueryInfoW(request.h, HTTP_QUERY_CONTENT_ENCODING, encoding, &size, nullptr) &&
                 (_wcsicmp(encoding, L"gzip") == 0 || _wcsicmp(encoding, L"deflate") == 0);

  std::string raw;
  char chunk[16384];
  for (;;) {
    if (Aborted()) return fail(ERROR_CANCELLED);
    if (::GetTickCount() - started_at > timeout_ms_) return fail(ERROR_INTERNET_TIMEOUT);
    DWORD got = 0;
    if (!::InternetReadFile(request.h, chunk, sizeof(chunk), &got)) return fail(::GetLastError());
    if (!got) break;
    if (raw.size() + got > max_reply_) return fail(ERROR_INSUFFICIENT_BUFFER);
    raw.append(chunk, got);
  }
  if (ungzip_ && gzipped) {
    if (!vuzod::InflateBounded(raw, max_reply_, body)) return fail(ERROR_INVALID_DATA);
  } else {
    body->swap(raw);
  }
  result->http_status = status;
  if (status >= 200 && status < 300) {
    result->status = kHttpTaskFinished;
    result->error = 0;
  } else {
    result->status = kHttpTaskFailed;
    result->error = ERROR_INTERNET_EXTENDED_ERROR;
  }
}

}  // namespace

extern "C" {

IHttpTaskFactory* WINAPI HttpInit() {
  g_factory.users_.fetch_add(1);
  g_factory.stopping_ = false;
  return &g_factory;
}

// Stops the factory's work: new tasks are refused, running ones abort, and the call waits
// (bounded) for their threads so that the library can be freed afterwards.
void WINAPI HttpUninit(IHttpTaskFactory* factory) {
  if (factory != &g_factory) return;
  if (g_factory.users_.fetch_sub(1) > 1) return;
  g_factory.stopping_ = true;
  for (int i = 0; i < 200 && g_factory.live_threads_.load() > 0; ++i) ::Sleep(25);
}

int WINAPI zlib_uncompress(unsigned char* dest, unsigned long* dest_len,
                                                  const unsigned char* source, unsigned long source_len) {
  if (!dest || !dest_len || (!source && source_len)) return Z_STREAM_ERROR;
  uLongf out = *dest_len;
  int rc = uncompress(dest, &out, source, source_len);
  *dest_len = out;
  return rc;
}

int WINAPI zlib_compress(unsigned char* dest, unsigned long* dest_len,
                                                const unsigned char* source, unsigned long source_len) {
  if (!dest || !dest_len || (!source && source_len)) return Z_STREAM_ERROR;
  uLongf out = *dest_len;
  int rc = compress(dest, &out, source, source_len);
  *dest_len = out;
  return rc;
}

unsigned long WINAPI zlib_compressBound(unsigned long source_len) {
  return compressBound(source_len);
}

}  // extern "C"
