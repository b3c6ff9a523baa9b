#pragma once
// The encrypted second copy of the questionnaire answers: DES/Base64 form field posted to the
// upload host through an upload manager with its own binding of the HTTP library.
#include <windows.h>

#include <string>

#include "product/VuzOD/HttpTask.h"
#include "services/ServiceRequests.h"

// ---- pure pieces ----

// DES (FIPS 46-3) in ECB mode with PKCS #5 padding, through the platform's CryptoAPI.
bool DesEcbPkcs5Encrypt(const std::string& plain, const unsigned char key[8], std::string* cipher);
bool DesEcbPkcs5Decrypt(const std::string& cipher, const unsigned char key[8], std::string* plain);
// Standard Base64 with a CR LF after every complete run of 76 characters.
std::string Base64EncodeLines76(const std::string& bytes);
// The answers' JSON text, values inserted as they are.
std::wstring BuildUploadJson(const std::wstring& mid, const std::wstring& appver, const std::wstring& modver,
                             const std::wstring& check, const std::wstring& contact);
// The "unint_ask" value: empty when encryption fails or the cipher or Base64 text would not fit
// in 1024 bytes.
std::string EncodeUploadField(const std::wstring& json);
extern const char kUploadCipherKey[];  // "hofnwrek"

// ---- upload manager ----

struct UploadItem {
  const char* name;
  DWORD kind;  // 1 text, 2 image file, 3 binary file
  DWORD size;
  const void* data;
  const wchar_t* file_name;
};
struct UploadItemList {
  DWORD count;
  const UploadItem* items;
};

// The content type of an image file name: "image/jpeg" for ".jpg", else "image/" + extension.
std::string ImageContentType(const std::wstring& file_name);

class CUploader;

class CUpLoadMgr : public IHttpTaskCallback {
 public:
  static CUpLoadMgr* Instance();
  ~CUpLoadMgr();

  bool LoadHttpLibrary(const wchar_t* path, LibraryTrustCheck trusted);
  IHttpTask* CreateTask();
  HRESULT Upload(const wchar_t* url, const UploadItemList* items, CUploader* target);
  void OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) override;
  // An uploader that goes away before its event stops being the target.
  void ForgetTarget(CUploader* target);
  bool loaded() const { return loaded_; }

 private:
  CUpLoadMgr();
  bool loaded_ = false;
  CUploader* target_ = nullptr;
  HMODULE module_ = nullptr;
  CHttpLibraryBinding exports_;
  IHttpTaskFactory* factory_ = nullptr;
  IHttpTask* current_ = nullptr;
  CRITICAL_SECTION lock_;
};

// The signature test applied to the uploader's library candidates (none: nothing is loaded).
void SetUploadLibraryTrustCheck(LibraryTrustCheck trusted);

class CUploader {
 public:
  CUploader() = default;
  virtual ~CUploader();
  CUploader(const CUploader&) = delete;
  CUploader& operator=(const CUploader&) = delete;
  virtual void OnUploadEvent(IHttpTask* task, const HttpTaskEvent* event);

  void SetAppVersion(const wchar_t* path);
  // Always true: nothing is awaited.
  bool UploadAnswers(const wchar_t* check, const wchar_t* contact);

 private:
  std::wstring check_;
  std::wstring contact_;
  std::wstring module_version_;
  std::wstring app_version_;
  std::wstring mid_;
};
