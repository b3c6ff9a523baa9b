#include "services/ServiceRequests.h"

#include <cjson/cJSON.h>

#include <cstring>
#include <cwctype>

#include "common/UniqueHandle.h"
#include "services/Codecs.h"
#include "services/ReportUrl.h"
#include "services/Statistic.h"

namespace {

CHttpLibraryBinding g_binding;
_BaseModule::CCriticalSection& BindingLock() {
  static _BaseModule::CCriticalSection lock;
  return lock;
}

_BaseModule::CCriticalSection& VersionLock() {
  static _BaseModule::CCriticalSection lock;
  return lock;
}
std::wstring g_app_version, g_module_version;
bool g_versions_set = false;

bool FileExists(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FileVersion(const std::wstring& path) {
  wchar_t text[260] = {};
  CStatistic* statistic = CStatistic::Instance();
  if (statistic) statistic->GetFileVersion(path.c_str(), text, 260);
  return text;
}

struct JsonDoc {
  cJSON* root;
  explicit JsonDoc(const std::string& text) : root(cJSON_Parse(text.c_str())) {}
  JsonDoc(const JsonDoc&) = delete;
  JsonDoc& operator=(const JsonDoc&) = delete;
  ~JsonDoc() { if (root) cJSON_Delete(root); }
};

}  // namespace

// ---- binding ----

bool LoadServiceBinding(const std::wstring& directory, LibraryTrustCheck trusted) {
  _BaseModule::CAutoLocker hold(&BindingLock());
  if (g_binding.module) return g_binding.factory != nullptr;
  std::wstring path = directory + L"VuzOD.dll";
  if (!FileExists(path)) path = directory + L"orbVuzOD.dll";
  if (!FileExists(path) || !trusted || !trusted(path.c_str())) return false;
  HMODULE module = ::LoadLibraryW(path.c_str());
  if (!module) return false;
  g_binding.module = module;
  g_binding.http_init = HttpLibraryProc<HttpInitFn>(module, "HttpInit");
  g_binding.http_uninit = HttpLibraryProc<HttpUninitFn>(module, "HttpUninit");
  g_binding.zlib_uncompress = HttpLibraryProc<ZlibUncompressFn>(module, "zlib_uncompress");
  g_binding.zlib_compress = HttpLibraryProc<ZlibCompressFn>(module, "zlib_compress");
  g_binding.zlib_compress_bound = HttpLibraryProc<ZlibCompressBoundFn>(module, "zlib_compressBound");
  if (g_binding.http_init) g_binding.factory = g_binding.http_init();
  return g_binding.factory != nullptr;
}

IHttpTaskFactory* ServiceFactory() {
  _BaseModule::CAutoLocker hold(&BindingLock());
  return g_binding.factory;
}

HttpTaskPtr NewServiceTask() {
  IHttpTaskFactory* factory = ServiceFactory();
  IHttpTask* task = factory ? factory->CreateTask() : nullptr;
  if (!task) return HttpTaskPtr();
  task->SetOption("ungzip", 0);
  task->SetOption("gzip", 0);
  return HttpTaskPtr(task, HttpTaskDeletor());
}

// ---- JSON ----

int JsonGetInt(const cJSON* object, const char* name, int default_value) {
  const cJSON* item = object ? cJSON_GetObjectItem(object, name) : nullptr;
  return cJSON_IsNumber(item) ? item->valueint : default_value;
}

std::string JsonGetString(const cJSON* object, const char* name, const char* default_text) {
  const cJSON* item = object ? cJSON_GetObjectItem(object, name) : nullptr;
  if (cJSON_IsString(item) && item->valuestring) return item->valuestring;
  return default_text ? default_text : "";
}

bool JsonGetBool(const cJSON* object, const char* name, bool default_value) {
  const cJSON* item = object ? cJSON_GetObjectItem(object, name) : nullptr;
  if (cJSON_IsFalse(item)) return false;
  if (cJSON_IsTrue(item)) return true;
  return default_value;
}

int LeadingDecimal(const char* text) {
  long long value = 0;
  for (const char* p = text; p && *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;  // saturate rather than wrap
  }
  return static_cast<int>(value);
}

int JsonGetIntFromString(const cJSON* object, const char* name, const char* default_text) {
  const cJSON* item = object ? cJSON_GetObjectItem(object, name) : nullptr;
  if (cJSON_IsString(item) && item->valuestring) return LeadingDecimal(item->valuestring);
  return LeadingDecimal(default_text);
}

std::wstring JsonGetStringW(const cJSON* object, const char* name) {
  const cJSON* item = object ? cJSON_GetObjectItemCaseSensitive(object, name) : nullptr;
  if (!cJSON_IsString(item) || !item->valuestring) return std::wstring();
  return codecs::Utf8ToWide(item->valuestring);
}

std::vector<int> ParseReasonList(const std::wstring& text) {
  std::vector<int> out;
  size_t begin = 0;
  for (;;) {
    size_t comma = text.find(L',', begin);
    std::wstring part = text.substr(begin, comma == std::wstring::npos ? std::wstring::npos : comma - begin);
    out.push_back(LeadingDecimal(codecs::WideToUtf8(part).c_str()));
    if (comma == std::wstring::npos) break;
    begin = comma + 1;
  }
  return out;
}

bool ParseReasonsReply(const std::string& body, std::vector<int>* reasons) {
  JsonDoc doc(body);
  if (!cJSON_IsObject(doc.root) || JsonGetInt(doc.root, "errno", 1) != 0) return false;
  std::wstring text = JsonGetStringW(doc.root, "data");
  if (text.empty()) return false;
  *reasons = ParseReasonList(text);
  return true;
}

bool ParseQuestionnaireReply(const std::string& body, std::wstring* url) {
  JsonDoc doc(body);
  if (!cJSON_IsObject(doc.root) || JsonGetInt(doc.root, "errno", 1) != 0) return false;
  const cJSON* data = cJSON_GetObjectItem(doc.root, "data");
  const cJSON* q = data ? cJSON_GetObjectItem(data, "uninstall_questionnaire") : nullptr;
  if (!q) return false;
  if (JsonGetIntFromString(q, "status", "0") == 0) return false;
  *url = codecs::Utf8ToWide(JsonGetString(q, "url", ""));
  return true;
}

// ---- request values ----

void SetServiceVersions(const std::wstring& app_version, const std::wstring& module_version) {
  _BaseModule::CAutoLocker hold(&VersionLock());
  g_app_version = app_version;
  g_module_version = module_version;
  g_versions_set = true;
}

std::wstring ServiceAppVersion() {
  {
    _BaseModule::CAutoLocker hold(&VersionLock());
    if (g_versions_set) return g_app_version;
  }
  return FileVersion(RunningExeDirectory() + L"vantel.exe");
}

std::wstring ServiceModuleVersion() {
  {
    _BaseModule::CAutoLocker hold(&VersionLock());
    if (g_versions_set) return g_module_version;
  }
  return FileVersion(RunningExePath());
}

std::wstring TrimBlanks(const std::wstring& text) {
  size_t b = 0, e = text.size();
  while (b < e && std::iswspace(text[b])) ++b;
  while (e > b && std::iswspace(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::wstring BuildServiceUrl(const std::wstring& host, const std::wstring& path_format, const std::wstring& appver,
                             const std::wstring& modver, const std::wstring& pid) {
  std::wstring out = L"http://" + host;
  const std::wstring* values[] = {&appver, &modver, &pid};
  size_t next = 0, pos = 0;
  while (pos < path_format.size()) {
    size_t hit = path_format.find(L"%s", pos);
    if (hit == std::wstring::npos || next == 3) {
      out += path_format.substr(pos);
      break;
    }
    out += path_format.substr(pos, hit - pos);
    out += *values[next++];
    pos = hit + 2;
  }
  return out;
}

// ---- POST and wait ----

CHttpTaskAdapterPost::CHttpTaskAdapterPost() : completion_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CHttpTaskAdapterPost::~CHttpTaskAdapterPost() {
  task_.reset();  // no callback can reach the adapter after this
  if (completion_) ::CloseHandle(completion_);
}

void CHttpTaskAdapterPost::OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) {
  if (!event || event->status < kHttpTaskFinished || task != task_raw_) return;
  ::InterlockedExchange(&succeeded_, event->status == kHttpTaskFinished ? 1 : 0);
  if (event->body) reply_.append(event->body, event->body_length);
  ::SetEvent(completion_);
}

bool PostAndWait(const wchar_t* url, const wchar_t* field_name, const wchar_t* field_value, std::string* reply,
                 DWORD timeout_ms, HANDLE abort_event) {
  auto adapter = std::make_shared<CHttpTaskAdapterPost>();
  if (timeout_ms == 0 || !adapter->completion_ || !url) return false;
  HttpTaskPtr task = NewServiceTask();
  if (!task) return false;
  adapter->task_ = task;
  adapter->task_raw_ = task.get();
  task->SetCallback(adapter.get());
  task->AddParamW(field_name ? field_name : L"", field_value ? field_value : L"");
  if (!task->Start(kHttpPostForm, url)) return false;
  task.reset();  // the adapter's handle keeps it
  HANDLE handles[2] = {adapter->completion_, abort_event};
  DWORD waited = ::WaitForMultipleObjects(abort_event ? 2 : 1, handles, FALSE, timeout_ms);
  if (waited != WAIT_OBJECT_0) return false;
  // The task is released before the reply is read, so no event can still be appending to it.
  adapter->task_.reset();
  if (!adapter->succeeded_) return false;
  if (reply) *reply = adapter->reply_;
  return true;
}

// ---- uninstall report ----

const wchar_t kUninstallInfoKey[] = L"4e7a1d08-b6c3-4f59-8a2e-0d91c5f3b7e6";

bool UninstallReportDefault(const std::wstring& pid) {
  const wchar_t* editions[] = {L"tarvo_home", L"rireduz", L"kesto", L"vezazuz", L"zoraz"};
  for (const wchar_t* e : editions) {
    if (_wcsicmp(pid.c_str(), e) == 0) return true;
  }
  return pid.size() >= 6 && _wcsnicmp(pid.c_str(), L"system", 6) == 0;
}

std::string BuildUninstallInfoJson(const std::string& type, const std::wstring& pid, const std::wstring& mid,
                                   const std::wstring& mid2, const std::wstring& appver, const std::wstring& modver) {
  cJSON* root = cJSON_CreateObject();
  if (!root) return std::string();
  cJSON_AddStringToObject(root, "type", type.c_str());
  cJSON_AddStringToObject(root, "pid", codecs::WideToUtf8(pid).c_str());
  cJSON_AddStringToObject(root, "mid", codecs::WideToUtf8(mid).c_str());
  cJSON_AddStringToObject(root, "mid2", codecs::WideToUtf8(mid2).c_str());
  cJSON_AddStringToObject(root, "appver", codecs::WideToUtf8(appver).c_str());
  cJSON_AddStringToObject(root, "modver", codecs::WideToUtf8(modver).c_str());
  cJSON_AddStringToObject(root, "appname", "wp");
  char* printed = cJSON_PrintUnformatted(root);
  std::string out = printed ? printed : "";
  if (printed) cJSON_free(printed);
  cJSON_Delete(root);
  return out;
}

bool ReportUninstallInfo(const char* type, const wchar_t* pid, const wchar_t* app_version) {
  std::wstring pid_text = pid ? pid : L"";
  bool result = UninstallReportDefault(pid_text);
  wchar_t mid[260] = {}, mid2[260] = {};
  CStatistic* statistic = CStatistic::Instance();
  if (statistic) {
    statistic->GetMid(mid, 260);
    statistic->GetMid2(mid2, 260);
  }
  std::string json = BuildUninstallInfoJson(type ? type : "", pid_text, mid, mid2, app_version ? app_version : L"",
                                            FileVersion(RunningExePath()));
  std::wstring data = EncryptTextW(codecs::Utf8ToWide(json), kUninstallInfoKey);
  std::wstring url = std::wstring(L"http://") + services::kPublicServiceHost + L"/pc/ud/dogsun";
  std::string reply;
  if (!PostAndWait(url.c_str(), L"data", data.c_str(), &reply, 30000, nullptr)) return result;
  std::wstring plain = DecryptTextW(codecs::Utf8ToWide(reply), kUninstallInfoKey);
  std::wstring mid2_text = mid2;
  size_t at = mid2_text.empty() ? std::wstring::npos : plain.find(mid2_text);
  return at != std::wstring::npos && at > 0;
}

// ---- remote configuration ----

UninstallFeedbackConfig::~UninstallFeedbackConfig() { Close(); }

void UninstallFeedbackConfig::RequestOptions() {
  HttpTaskPtr task;
  {
    _BaseModule::CAutoLocker hold(&lock_);
    reasons_ = {1, 2, 3, 4};
    task = NewServiceTask();
    if (!task) return;
    task_ = task;
    if (!completion_) completion_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  task->SetCallback(this);
  std::wstring url = BuildServiceUrl(services::kServiceHost, L"/live/intf/getUninstallOptions?appver=%s&modver=%s&pid=%s",
                                     ServiceAppVersion(), ServiceModuleVersion(), TrimBlanks(ReadProductPid()));
  task->Start(kHttpGet, url.c_str());
}

bool UninstallFeedbackConfig::GetFeedback(std::vector<int>* reasons) {
  HANDLE event = nullptr;
  {
    _BaseModule::CAutoLocker hold(&lock_);
    event = completion_;
  }
  if (event) ::WaitForSingleObject(event, 2000);
  ::OutputDebugStringW(L"UninstallFeedbackConfig::GetFeedback");
  _BaseModule::CAutoLocker hold(&lock_);
  if (reasons) *reasons = reasons_;
  return loaded_ != 0;
}

void UninstallFeedbackConfig::Close() {
  HttpTaskPtr task;
  HANDLE event = nullptr;
  {
    _BaseModule::CAutoLocker hold(&lock_);
    task.swap(task_);
    event = completion_;
    completion_ = nullptr;
  }
  task.reset();  // outside the lock: releasing waits for a callback that may want the lock
  if (event) ::CloseHandle(event);
}

void UninstallFeedbackConfig::OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) {
  if (!event || (event->status != kHttpTaskFinished && event->status != kHttpTaskFailed)) return;
  HttpTaskPtr finished;
  {
    _BaseModule::CAutoLocker hold(&lock_);
    if (!task_ || task_.get() != task) return;
    std::vector<int> list;
    if (event->status == kHttpTaskFinished && event->body &&
        ParseReasonsReply(std::string(event->body, event->body_length), &list)) {
      reasons_ = list;
      loaded_ = 1;
    }
    if (completion_) ::SetEvent(completion_);
    finished.swap(task_);
  }
}

void CUninstallConfig::RequestConfig() {
  HttpTaskPtr task = NewServiceTask();
  if (!task) return;
  {
    _BaseModule::CAutoLocker hold(&lock_);
    task_ = task;
  }
  task->SetCallback(this);
  std::wstring url = BuildServiceUrl(services::kServiceHost, L"/live/intf/GetConfig?appver=%s&modver=%s&pid=%s",
                                     ServiceAppVersion(), ServiceModuleVersion(), TrimBlanks(ReadProductPid()));
  task->Start(kHttpGet, url.c_str());
}

std::wstring CUninstallConfig::GetQuestionnaireUrl() {
  _BaseModule::CAutoLocker hold(&lock_);
  return url_;
}

void CUninstallConfig::Cancel() {
  HttpTaskPtr task;
  {
    _BaseModule::CAutoLocker hold(&lock_);
    task.swap(task_);
  }
}

void CUninstallConfig::OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) {
  if (!event || (event->status != kHttpTaskFinished && event->status != kHttpTaskFailed)) return;
  HttpTaskPtr finished;
  _BaseModule::CAutoLocker hold(&lock_);
  if (!task_ || task_.get() != task) return;
  std::wstring url;
  if (event->status == kHttpTaskFinished && event->body &&
      ParseQuestionnaireReply(std::string(event->body, event->body_length), &url)) {
    url_ = url;
  }
  finished.swap(task_);
}
