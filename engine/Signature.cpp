#include "engine/Signature.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cwchar>

namespace signature {

const wchar_t* const kPublishers[18] = {
    L"Lumetta Software Co., Ltd.",
    L"Hangzhou Lumetta Network Technology Co., Ltd.",
    L"Orbwall Interactive Co., Ltd.",
    L"Beijing Orbwall Technology Co., Ltd.",
    L"Tarvo Desktop Studio",
    L"Shanghai Vantel Information Technology Co., Ltd.",
    L"Warden Security Software Co., Ltd.",
    L"ComWarden Technology Co., Ltd.",
    L"Nanjing Dazovoze Software Co., Ltd.",
    L"Shenzhen Rodudave Network Co., Ltd.",
    L"Lumetta Digital Media Co., Ltd.",
    L"Orbwall Wallpaper Co., Ltd.",
    L"Guangzhou Zentrik Software Co., Ltd.",
    L"Vuzod Network Services Co., Ltd.",
    L"Chengdu Ruro Technology Co., Ltd.",
    L"Xiamen Daverud Information Co., Ltd.",
    L"Lumetta Game Center Co., Ltd.",
    L"Wuhan Mvk Software Co., Ltd.",
};

bool IsPublisherName(const wchar_t* name) {
  for (const wchar_t* publisher : kPublishers)
    if (std::wcscmp(publisher, name) == 0) return true;
  return false;
}

}  // namespace signature

namespace {

bool PathExists(const wchar_t* path) { return path && *path && ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool BelowVista() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(&version)) return false;
#pragma GCC diagnostic pop
  return version.dwMajorVersion < 6;
}

enum class NameRule { kPublisherList, kGivenSignerIgnoringCase };

// One verification: verify, inspect the signer, close the state again.
bool VerifySigner(const wchar_t* path, bool allow_untrusted_root, NameRule rule, const wchar_t* signer) {
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
  data.dwUIContext = 0;

  LONG status = ::WinVerifyTrust(nullptr, &action, &data);
  bool result = false;
  bool acceptable = status == ERROR_SUCCESS || status == LONG(CERT_E_EXPIRED) ||
                    (allow_untrusted_root && status == LONG(CERT_E_UNTRUSTEDROOT));
  if (acceptable) {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* first_signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    CRYPT_PROVIDER_CERT* element = first_signer ? ::WTHelperGetProvCertFromChain(first_signer, 0) : nullptr;
    PCCERT_CONTEXT certificate = element ? element->pCert : nullptr;
    if (certificate) {
      wchar_t name[512] = {};
      DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512);
      if (length >= 1 && length <= 511) {
        result = rule == NameRule::kPublisherList ? signature::IsPublisherName(name)
                                                  : ::lstrcmpiW(name, signer) == 0;
      }
    }
  }
  // The provider keeps its state until it is closed, also after a failed verification.
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(nullptr, &action, &data);
  return result;
}

}  // namespace

bool IsSignedByMaker(const wchar_t* path) {
  if (!PathExists(path)) return false;
  if (BelowVista()) return true;
  // No structured-exception guard: mingw's compiler has no __try/__except, and a fault in
  // the trust provider is not something to continue from.
  return VerifySigner(path, true, NameRule::kPublisherList, nullptr);
}

bool IsSignedBy(const wchar_t* path, const wchar_t* signer) {
  if (!signer) return true;
  if (!PathExists(path)) return false;
  if (BelowVista()) return true;
  return VerifySigner(path, false, NameRule::kGivenSignerIgnoringCase, signer);
}
