#pragma once
// Interface of VuzOD.dll, the product's HTTP service library. The uninstaller loads the library
// at run time and reaches it only through these abstract classes and the exported functions;
// the slot order of every interface is part of the binary contract and must not change.
#include <windows.h>

class IHttpTask;

// One event of a task. The first fields are 32 bits wide on every architecture.
struct HttpTaskEvent {
  DWORD size;         // sizeof(HttpTaskEvent)
  DWORD status;       // HttpTaskStatus
  DWORD http_status;  // HTTP status code of the reply, 0 when none arrived
  DWORD body_length;  // bytes in body, without the terminating NUL
  const char* body;   // reply body, NUL-terminated; null when there is none
  DWORD error;        // Win32/WinINet error code of a failure, 0 otherwise
};

enum HttpTaskStatus : DWORD {
  kHttpTaskConnecting = 0,  // intermediate: the request is being sent
  kHttpTaskReceiving = 1,   // intermediate: reply headers arrived
  kHttpTaskFinished = 2,    // final: a 2xx reply, body complete
  kHttpTaskFailed = 3,      // final: no reply, a non-2xx reply, time-out, or reply too large
};

enum HttpTaskMethod : int {
  kHttpGet = 0,
  kHttpPostForm = 2,
};

class IHttpTaskCallback {
 public:
  // Runs on a thread of the library. The event and its body are valid during the call only.
  virtual void OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) = 0;
 protected:
  ~IHttpTaskCallback() = default;
};

class IHttpTask {
 public:
  virtual void SetCallback(IHttpTaskCallback* callback) = 0;
  // method: kHttpGet or kHttpPostForm. False when the task was started already or the URL is
  // not an http(s) URL. Events follow only after a true result.
  virtual bool Start(int method, const wchar_t* url) = 0;
  // Aborts the request; a final kHttpTaskFailed event follows unless the task is released.
  virtual void Cancel() = 0;
  // Ends the task. No callback runs after Release returns (a callback running on another thread
  // is waited for); a started request still completes, bounded by its time-out, and its reply
  // is discarded. The task must not be used afterwards.
  virtual void Release() = 0;
  // Form fields: narrow values are sent as their bytes, UTF-16 values as UTF-8.
  virtual bool AddParam(const char* name, const char* value) = 0;
  virtual bool AddParamW(const wchar_t* name, const wchar_t* value) = 0;
  // A file part; any file makes the POST multipart/form-data. The data is copied.
  virtual bool AddFile(const char* name, const void* data, DWORD size, const char* file_name,
                       const char* content_type) = 0;
  // "gzip": 1 compresses the POST body (Content-Encoding: gzip).
  // "ungzip": 1 asks for and inflates gzip-encoded replies.
  // "timeout": whole-request time-out in ms (default 30000).
  // "max_reply": largest accepted reply body in bytes (default 4 MiB).
  virtual bool SetOption(const char* name, int value) = 0;
  virtual bool AddHeader(const char* name, const char* value) = 0;
  virtual DWORD GetHttpStatus() = 0;
 protected:
  ~IHttpTask() = default;
};

class IHttpTaskFactory {
 public:
  virtual IHttpTask* CreateTask() = 0;
  // Tasks and worker threads alive right now (for diagnostics and leak checks).
  virtual LONG LiveTaskCount() = 0;
  virtual LONG LiveThreadCount() = 0;
 protected:
  ~IHttpTaskFactory() = default;
};

// Exports, by undecorated name.
typedef IHttpTaskFactory*(WINAPI* HttpInitFn)();
typedef void(WINAPI* HttpUninitFn)(IHttpTaskFactory* factory);
typedef int(WINAPI* ZlibUncompressFn)(unsigned char* dest, unsigned long* dest_len,
                                      const unsigned char* source, unsigned long source_len);
typedef int(WINAPI* ZlibCompressFn)(unsigned char* dest, unsigned long* dest_len,
                                    const unsigned char* source, unsigned long source_len);
typedef unsigned long(WINAPI* ZlibCompressBoundFn)(unsigned long source_len);

// GetProcAddress typed as one of the export types above.
template <class Fn>
inline Fn HttpLibraryProc(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}
