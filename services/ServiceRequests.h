#pragma once
// The service binding of the HTTP library, the JSON reply helpers, the synchronous POST
// adapter, the uninstall report, and the two remote-configuration singletons.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "product/VuzOD/HttpTask.h"
#include "startup/Locks.h"
#include "startup/Singleton.h"

struct cJSON;

// ---- binding ----

struct CHttpLibraryBinding {
  HMODULE module = nullptr;
  HttpInitFn http_init = nullptr;
  HttpUninitFn http_uninit = nullptr;
  ZlibUncompressFn zlib_uncompress = nullptr;
  ZlibCompressFn zlib_compress = nullptr;
  ZlibCompressBoundFn zlib_compress_bound = nullptr;
  IHttpTaskFactory* factory = nullptr;
};

// Decides whether a library file may be loaded (the signature test of the product's files).
using LibraryTrustCheck = bool (*)(const wchar_t* path);

// "VuzOD.dll" in directory (with trailing backslash), else "orbVuzOD.dll" there; loaded once,
// only when it passes trusted(path). The library stays loaded until the process ends.
bool LoadServiceBinding(const std::wstring& directory, LibraryTrustCheck trusted);
IHttpTaskFactory* ServiceFactory();

// The deleter of shared task handles: releases the task.
struct HttpTaskDeletor {
  void operator()(IHttpTask* task) const { if (task) task->Release(); }
};
using HttpTaskPtr = std::shared_ptr<IHttpTask>;
// A new task of the service binding with "ungzip" and "gzip" off; empty without a library.
HttpTaskPtr NewServiceTask();

// ---- JSON member access (direct members; a null object gives the default) ----

int JsonGetInt(const cJSON* object, const char* name, int default_value);
std::string JsonGetString(const cJSON* object, const char* name, const char* default_text);
bool JsonGetBool(const cJSON* object, const char* name, bool default_value);
int JsonGetIntFromString(const cJSON* object, const char* name, const char* default_text);
std::wstring JsonGetStringW(const cJSON* object, const char* name);  // exact name

// Decimal value of the leading digits; 0 when the text does not start with a digit.
int LeadingDecimal(const char* text);
// Splits at "," and takes LeadingDecimal of every part, the last one included.
std::vector<int> ParseReasonList(const std::wstring& text);
// The reasons reply: true and the list when errno is 0 and "data" is a non-empty text.
bool ParseReasonsReply(const std::string& body, std::vector<int>* reasons);
// The questionnaire reply: true and the URL when errno is 0, data.uninstall_questionnaire exists
// and its "status" text is non-zero.
bool ParseQuestionnaireReply(const std::string& body, std::wstring* url);

// ---- request values ----

// The query values of the GET requests: the version of "vantel.exe" in the install directory,
// the version of the running executable, the trimmed pid. The entry sets the versions once the
// install directory is known; until then they come from the executable's own directory.
void SetServiceVersions(const std::wstring& app_version, const std::wstring& module_version);
std::wstring ServiceAppVersion();
std::wstring ServiceModuleVersion();
std::wstring TrimBlanks(const std::wstring& text);
// host + path_format with its three "%s" replaced in order, without escaping.
std::wstring BuildServiceUrl(const std::wstring& host, const std::wstring& path_format, const std::wstring& appver,
                             const std::wstring& modver, const std::wstring& pid);

// ---- POST and wait ----

class CHttpTaskAdapterPost : public IHttpTaskCallback {
 public:
  CHttpTaskAdapterPost();
  ~CHttpTaskAdapterPost();
  CHttpTaskAdapterPost(const CHttpTaskAdapterPost&) = delete;
  CHttpTaskAdapterPost& operator=(const CHttpTaskAdapterPost&) = delete;
  void OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) override;

  HttpTaskPtr task_;
  IHttpTask* task_raw_ = nullptr;
  volatile LONG succeeded_ = 0;
  HANDLE completion_ = nullptr;
  std::string reply_;
};

bool PostAndWait(const wchar_t* url, const wchar_t* field_name, const wchar_t* field_value, std::string* reply,
                 DWORD timeout_ms, HANDLE abort_event);

// The default result of the uninstall report for a pid (the product's own editions).
bool UninstallReportDefault(const std::wstring& pid);
// The JSON body of the uninstall report, unformatted, members in their fixed order.
std::string BuildUninstallInfoJson(const std::string& type, const std::wstring& pid, const std::wstring& mid,
                                   const std::wstring& mid2, const std::wstring& appver, const std::wstring& modver);
extern const wchar_t kUninstallInfoKey[];
bool ReportUninstallInfo(const char* type, const wchar_t* pid, const wchar_t* app_version);

// ---- remote configuration ----

class UninstallFeedbackConfig : public IHttpTaskCallback, public CSingletonT<UninstallFeedbackConfig> {
 public:
  UninstallFeedbackConfig() = default;
  virtual ~UninstallFeedbackConfig();
  void RequestOptions();
  bool GetFeedback(std::vector<int>* reasons);
  void Close();
  void OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) override;

 private:
  HttpTaskPtr task_;
  std::vector<int> reasons_;
  int loaded_ = 0;
  HANDLE completion_ = nullptr;
  _BaseModule::CCriticalSection lock_;
};

class CUninstallConfig : public IHttpTaskCallback, public CSingletonT<CUninstallConfig> {
 public:
  CUninstallConfig() = default;
  virtual ~CUninstallConfig() = default;
  void RequestConfig();
  std::wstring GetQuestionnaireUrl();
  void Cancel();
  void OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) override;

 private:
  HttpTaskPtr task_;
  std::wstring url_;
  _BaseModule::CCriticalSection lock_;
};
