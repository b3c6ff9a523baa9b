#include "services/Uploader.h"

#include <wincrypt.h>

#include <atomic>
#include <vector>

#include "services/Codecs.h"
#include "services/ReportUrl.h"
#include "services/Statistic.h"

const char kUploadCipherKey[] = "hofnwrek";

namespace {

std::atomic<LibraryTrustCheck> g_upload_trust{nullptr};

class CryptContext {
 public:
  CryptContext() {
    if (!::CryptAcquireContextW(&prov_, nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) prov_ = 0;
  }
  CryptContext(const CryptContext&) = delete;
  CryptContext& operator=(const CryptContext&) = delete;
  ~CryptContext() {
    if (key_) ::CryptDestroyKey(key_);
    if (prov_) ::CryptReleaseContext(prov_, 0);
  }
  bool ImportDesKey(const unsigned char key[8]) {
    if (!prov_) return false;
    struct {
      BLOBHEADER header;
      DWORD size;
      BYTE key[8];
    } blob{};
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.aiKeyAlg = CALG_DES;
    blob.size = 8;
    memcpy(blob.key, key, 8);
    if (!::CryptImportKey(prov_, reinterpret_cast<const BYTE*>(&blob), sizeof(blob), 0, 0, &key_)) {
      key_ = 0;
      return false;
    }
    DWORD mode = CRYPT_MODE_ECB, padding = PKCS5_PADDING;
    return ::CryptSetKeyParam(key_, KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0) &&
           ::CryptSetKeyParam(key_, KP_PADDING, reinterpret_cast<const BYTE*>(&padding), 0);
  }
  HCRYPTKEY key() const { return key_; }

 private:
  HCRYPTPROV prov_ = 0;
  HCRYPTKEY key_ = 0;
};

}  // namespace

bool DesEcbPkcs5Encrypt(const std::string& plain, const unsigned char key[8], std::string* cipher) {
  CryptContext ctx;
  if (!ctx.ImportDesKey(key) || plain.size() > 0x7FFFFFF0u) return false;
  std::vector<BYTE> buffer(plain.begin(), plain.end());
  buffer.resize(plain.size() + 8);
  DWORD length = static_cast<DWORD>(plain.size());
  if (!::CryptEncrypt(ctx.key(), 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size()))) return false;
  cipher->assign(reinterpret_cast<const char*>(buffer.data()), length);
  return true;
}

bool DesEcbPkcs5Decrypt(const std::string& cipher, const unsigned char key[8], std::string* plain) {
  CryptContext ctx;
  if (!ctx.ImportDesKey(key) || cipher.empty() || cipher.size() % 8) return false;
  std::vector<BYTE> buffer(cipher.begin(), cipher.end());
  DWORD length = static_cast<DWORD>(buffer.size());
  if (!::CryptDecrypt(ctx.key(), 0, TRUE, 0, buffer.data(), &length)) return false;
  plain->assign(reinterpret_cast<const char*>(buffer.data()), length);
  return true;
}

std::string Base64EncodeLines76(const std::string& bytes) {
  std::string flat = codecs::Base64Encode(bytes);
  std::string out;
  // Runs of 76 characters come from 57 whole input bytes; only such complete runs end a line.
  size_t whole = (bytes.size() / 57) * 76;
  for (size_t pos = 0; pos < flat.size(); pos += 76) {
    out.append(flat, pos, 76);
    if (pos + 76 <= whole) out += "\r\n";
  }
  return out;
}

std::wstring BuildUploadJson(const std::wstring& mid, const std::wstring& appver, const std::wstring& modver,
                             const std::wstring& check, const std::wstring& contact) {
  std::wstring json =
      L"{\"mid\":\"{MID}\",\t\"appver\":\"{APPVER}\", \t\"modver\":\"{MODVER}\", \t\"check\":\"{CHECK}\", "
      L"\t\"contact\":\"{CONTACT}\" \t}";
  json = services::ReplaceAll(json, L"{MID}", mid);
  json = services::ReplaceAll(json, L"{APPVER}", appver);
  json = services::ReplaceAll(json, L"{MODVER}", modver);
  json = services::ReplaceAll(json, L"{CHECK}", check);
  json = services::ReplaceAll(json, L"{CONTACT}", contact);
  return json;
}

std::string EncodeUploadField(const std::wstring& json) {
  std::string cipher;
  if (!DesEcbPkcs5Encrypt(codecs::WideToUtf8(json), reinterpret_cast<const unsigned char*>(kUploadCipherKey),
                          &cipher) ||
      cipher.size() > 1024) {
    return std::string();
  }
  std::string text = Base64EncodeLines76(cipher);
  return text.size() + 1 > 1024 ? std::string() : text;  // with its terminator in 1024 bytes
}

std::string ImageContentType(const std::wstring& file_name) {
  size_t dot = file_name.rfind(L'.');
  if (dot == std::wstring::npos) return std::string();
  std::wstring ext = file_name.substr(dot);
  if (_wcsicmp(ext.c_str(), L".jpg") == 0) return "image/jpeg";
  std::wstring type = L"image/" + ext.substr(1);
  int n = ::WideCharToMultiByte(CP_ACP, 0, type.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, type.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

// ---- manager ----

void SetUploadLibraryTrustCheck(LibraryTrustCheck trusted) { g_upload_trust = trusted; }

CUpLoadMgr* CUpLoadMgr::Instance() {
  static CUpLoadMgr manager;  // torn down at process exit
  return &manager;
}

CUpLoadMgr::CUpLoadMgr() { ::InitializeCriticalSection(&lock_); }

CUpLoadMgr::~CUpLoadMgr() {
  IHttpTask* current = nullptr;
  ::EnterCriticalSection(&lock_);
  current = current_;
  current_ = nullptr;
  target_ = nullptr;
  ::LeaveCriticalSection(&lock_);
  if (current) current->Release();
  if (exports_.http_uninit && factory_) exports_.http_uninit(factory_);
  if (module_) ::FreeLibrary(module_);
  module_ = nullptr;
  loaded_ = false;
  ::DeleteCriticalSection(&lock_);
}

bool CUpLoadMgr::LoadHttpLibrary(const wchar_t* path, LibraryTrustCheck trusted) {
  if (loaded_) return true;
  if (module_ || !path) return false;  // a library without its exports stays unusable
  DWORD attributes = ::GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (!trusted || !trusted(path)) return false;
  module_ = ::LoadLibraryW(path);
  if (!module_) return false;
  exports_.module = module_;
  exports_.http_init = HttpLibraryProc<HttpInitFn>(module_, "HttpInit");
  exports_.http_uninit = HttpLibraryProc<HttpUninitFn>(module_, "HttpUninit");
  exports_.zlib_uncompress = HttpLibraryProc<ZlibUncompressFn>(module_, "zlib_uncompress");
  exports_.zlib_compress = HttpLibraryProc<ZlibCompressFn>(module_, "zlib_compress");
  exports_.zlib_compress_bound = HttpLibraryProc<ZlibCompressBoundFn>(module_, "zlib_compressBound");
  if (exports_.http_init) factory_ = exports_.http_init();
  loaded_ = exports_.http_init && exports_.http_uninit && factory_;
  return loaded_;
}

IHttpTask* CUpLoadMgr::CreateTask() {
  IHttpTask* task = factory_ ? factory_->CreateTask() : nullptr;
  if (task) {
    task->SetOption("ungzip", 0);
    task->SetOption("gzip", 0);
  }
  return task;
}

HRESULT CUpLoadMgr::Upload(const wchar_t* url, const UploadItemList* list, CUploader* target) {
  if (!url || !list || !target || (list->count && !list->items)) return E_INVALIDARG;
  if (!loaded_) return E_FAIL;
  IHttpTask* task = CreateTask();
  if (!task) return E_FAIL;
  for (DWORD i = 0; i < list->count; ++i) {
    const UploadItem& item = list->items[i];
    if (!item.name) continue;
    if (item.kind == 1) {
      task->AddParam(item.name, static_cast<const char*>(item.data));
    } else if ((item.kind == 2 || item.kind == 3) && item.file_name) {
      int n = ::WideCharToMultiByte(CP_ACP, 0, item.file_name, -1, nullptr, 0, nullptr, nullptr);
      std::string name(n > 0 ? n : 1, '\0');
      if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, item.file_name, -1, &name[0], n, nullptr, nullptr);
      std::string type = item.kind == 2 ? ImageContentType(item.file_name) : "application/octet-stream";
      task->AddFile(item.name, item.data, item.size, name.c_str(), type.c_str());
    }
  }
  IHttpTask* previous = nullptr;
  ::EnterCriticalSection(&lock_);
  target_ = target;
  previous = current_;
  current_ = task;
  ::LeaveCriticalSection(&lock_);
  if (previous) previous->Release();  // outside the lock: a release waits for a running callback
  task->SetCallback(this);
  return task->Start(kHttpPostForm, url) ? S_OK : E_FAIL;
}

void CUpLoadMgr::OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) {
  ::EnterCriticalSection(&lock_);
  if (target_) target_->OnUploadEvent(task, event);
  bool current = task == current_;
  if (current) current_ = nullptr;
  ::LeaveCriticalSection(&lock_);
  if (current) task->Release();
}

void CUpLoadMgr::ForgetTarget(CUploader* target) {
  ::EnterCriticalSection(&lock_);
  if (target_ == target) target_ = nullptr;
  ::LeaveCriticalSection(&lock_);
}

// ---- uploader ----

CUploader::~CUploader() { CUpLoadMgr::Instance()->ForgetTarget(this); }

void CUploader::OnUploadEvent(IHttpTask*, const HttpTaskEvent*) {}

void CUploader::SetAppVersion(const wchar_t* path) {
  wchar_t text[260] = {};
  if (CStatistic* statistic = CStatistic::Instance()) statistic->GetFileVersion(path, text, 260);
  app_version_ = text;
}

bool CUploader::UploadAnswers(const wchar_t* check, const wchar_t* contact) {
  check_ = check ? check : L"";
  contact_ = contact ? contact : L"";
  if (check_.empty() && contact_.empty()) return true;  // no answers, nothing to upload
  std::wstring dir = RunningExeDirectory();
  std::wstring path = dir + L"orbVuzOD.dll";
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) path = dir + L"vevevevivarudir\\VuzOD.dll";
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) path = dir + L"vevevevivarudir\\orbVuzOD.dll";
  CUpLoadMgr* manager = CUpLoadMgr::Instance();
  manager->LoadHttpLibrary(path.c_str(), g_upload_trust.load());
  CStatistic* statistic = CStatistic::Instance();
  wchar_t text[260] = {};
  if (module_version_.empty() && statistic && statistic->GetFileVersion(RunningExePath().c_str(), text, 260)) {
    module_version_ = text;
  }
  if (mid_.empty() && statistic) {
    text[0] = 0;
    statistic->GetMid(text, 260);
    mid_ = text;
  }
  std::string field = EncodeUploadField(BuildUploadJson(mid_, app_version_, module_version_, check_, contact_));
  UploadItem item{"unint_ask", 1, 0, field.c_str(), nullptr};
  UploadItemList list{1, &item};
  std::wstring url = std::wstring(L"http://") + services::kUploadHost + L"/inst/uninst.php?from=tarvo";
  manager->Upload(url.c_str(), &list, this);
  return true;
}
