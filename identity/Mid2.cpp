#include "identity/Mid2.h"

#include <windows.h>
#include <winioctl.h>
#include <ntddndis.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <cpuid.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/UniqueHandle.h"
#include "identity/Digests.h"
#include "identity/OSVersion.h"

namespace identity {

const IID IID_IExtend = {0x191FF683, 0x45BC, 0x472E, {0xAA, 0xFF, 0x2F, 0x9E, 0x2B, 0x43, 0x4B, 0x56}};
const IID IID_INewMID = {0x88D6FFD4, 0x88B6, 0x4943, {0xAF, 0x29, 0xC5, 0xCA, 0x67, 0xBA, 0xFC, 0xD1}};

namespace {

const wchar_t kNetworkCards[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
const wchar_t kNetClass[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
const char kFallbackPrefix[] = "ffffffff";
const size_t kMid2Length = 44;

bool StartsWithIgnoringCase(const std::string& text, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b.c_str());
}

bool ContainsIgnoringCase(const std::wstring& text, const wchar_t* part) {
  std::wstring t = text, p = part;
  for (auto& c : t) c = wchar_t(::towlower(c));
  for (auto& c : p) c = wchar_t(::towlower(c));
  return t.find(p) != std::wstring::npos;
}

std::string Trim(const std::string& s, bool any_white_space) {
  auto blank = [&](char c) { return any_white_space ? std::isspace(static_cast<unsigned char>(c)) != 0 : c == ' '; };
  size_t begin = 0, end = s.size();
  while (begin < end && blank(s[begin])) ++begin;
  while (end > begin && blank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), nullptr, 0);
  std::wstring w(n > 0 ? size_t(n) : 0, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), &w[0], n);
  return w;
}

std::string Hex2(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof(text), "%02x", value & 0xFF);
  return text;
}

// A string value of at most max_bytes, NUL-terminated; empty otherwise.
std::wstring ReadText(HKEY key, const wchar_t* name, DWORD max_bytes) {
  std::vector<wchar_t> data(max_bytes / 2 + 1, L'\0');
  DWORD size = max_bytes, type = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size < 2 || size % 2 || data[size / 2 - 1] != L'\0')
    return std::wstring();
  return data.data();
}

std::string MacText(const uint8_t* mac) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

bool QueryOid(HANDLE device, ULONG oid, void* answer, DWORD size, DWORD& returned) {
  returned = 0;
  return ::DeviceIoControl(device, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof(oid), answer, size, &returned,
                           nullptr) &&
         returned > 0;
}

struct CardClass {
  bool found = false;
  bool physical = false;
  bool wireless = false;
};

// The class key's entry of a card: physical when "BusType" reads 5; wireless by its
// description or lower interface range.
CardClass ClassifyInRegistry(HKEY class_key, const std::wstring& service) {
  CardClass result;
  for (DWORD i = 0; i < 256; ++i) {
    wchar_t name[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    LONG status = ::RegEnumKeyExW(class_key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    win::UniqueKey card;
    if (::RegOpenKeyExW(class_key, name, 0, KEY_READ, card.put()) != ERROR_SUCCESS) continue;
    if (::lstrcmpiW(ReadText(card.get(), L"NetCfgInstanceId", 520).c_str(), service.c_str()) != 0) continue;
    result.found = true;
    std::wstring bus = ReadText(card.get(), L"BusType", 520);
    result.physical = !bus.empty() && bus.find_first_not_of(L"0123456789") == std::wstring::npos && _wtoi(bus.c_str()) == 5;
    if (ContainsIgnoringCase(ReadText(card.get(), L"DriverDesc", 520), L"Wireless")) {
      result.wireless = true;
    } else {
      win::UniqueKey interfaces;
      if (::RegOpenKeyExW(card.get(), L"NDI\\Interfaces", 0, KEY_READ, interfaces.put()) == ERROR_SUCCESS) {
        std::wstring range = ReadText(interfaces.get(), L"LowerRange", 520);
        result.wireless = ContainsIgnoringCase(range, L"wlan") || ContainsIgnoringCase(range, L"vwifi");
      }
    }
    break;
  }
  return result;
}

void KeepSmallest(std::string& best, const std::string& text) {
  if (best.empty() || ::lstrcmpA(text.c_str(), best.c_str()) < 0) best = text;
}

bool NetworkByCards(std::string& text) {
  win::UniqueKey cards;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetworkCards, 0, KEY_READ, cards.put()) != ERROR_SUCCESS) return false;
  win::UniqueKey class_key;
  bool have_class = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetClass, 0, KEY_READ, class_key.put()) == ERROR_SUCCESS;
  std::string wired, wireless;
  for (DWORD i = 0; i < 100; ++i) {
    wchar_t name[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    LONG status = ::RegEnumKeyExW(cards.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    win::UniqueKey card;
    if (::RegOpenKeyExW(cards.get(), name, 0, KEY_READ, card.put()) != ERROR_SUCCESS) continue;
    std::wstring service = ReadText(card.get(), L"ServiceName", 520);
    if (service.empty()) continue;
    bool is_wireless = false;
    if (have_class) {
      CardClass c = ClassifyInRegistry(class_key.get(), service);
      if (!c.physical) continue;
      is_wireless = c.wireless;
    }
    win::UniqueFile device(::CreateFileW((L"\\\\.\\" + service).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device) continue;
    MediumAnswers answers = {};
    DWORD returned = 0;
    answers.exOk = QueryOid(device.get(), OID_GEN_PHYSICAL_MEDIUM_EX, &answers.ex, sizeof(answers.ex), returned);
    answers.plainOk = QueryOid(device.get(), OID_GEN_PHYSICAL_MEDIUM, &answers.plain, sizeof(answers.plain), returned);
    int kind = ClassifyCardMedium(answers, is_wireless);
    if (kind < 0) continue;
    uint8_t mac[64] = {};
    if (!QueryOid(device.get(), OID_802_3_PERMANENT_ADDRESS, mac, sizeof(mac), returned) || returned < 6) continue;
    KeepSmallest(kind ? wireless : wired, MacText(mac));
  }
  text = !wired.empty() ? wired : wireless;
  return !text.empty();
}

bool NetworkByAdapters(std::string& text) {
  std::vector<std::wstring> physical;
  win::UniqueKey class_key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetClass, 0, KEY_READ, class_key.put()) == ERROR_SUCCESS) {
    for (DWORD i = 0; i < 256; ++i) {
      wchar_t name[MAX_PATH] = {};
      DWORD length = MAX_PATH;
      LONG status = ::RegEnumKeyExW(class_key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) continue;
      win::UniqueKey card;
      if (::RegOpenKeyExW(class_key.get(), name, 0, KEY_READ, card.put()) != ERROR_SUCCESS) continue;
      std::wstring bus = ReadText(card.get(), L"BusType", 520);
      if (bus.empty() || bus.find_first_not_of(L"0123456789") != std::wstring::npos || _wtoi(bus.c_str()) != 5)
        continue;
      std::wstring id = ReadText(card.get(), L"NetCfgInstanceId", 520);
      if (!id.empty()) physical.push_back(id);
    }
  }
  if (physical.empty()) return false;
  std::vector<uint8_t> buffer(648);
  ULONG size = ULONG(buffer.size());
  DWORD status = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  if (status == ERROR_BUFFER_OVERFLOW) {
    buffer.assign(size, 0);
    status = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (status != ERROR_SUCCESS) return false;
  std::string best;
  bool best_wired = false;
  for (auto* a = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()); a; a = a->Next) {
    std::wstring name = Wide(a->AdapterName);
    bool listed = false;
    for (const auto& id : physical) listed = listed || ::lstrcmpiW(id.c_str(), name.c_str()) == 0;
    if (!listed || a->AddressLength != 6) continue;
    bool wired;
    if (a->Type == 71) {
      wired = false;
    } else if (a->Type == MIB_IF_TYPE_ETHERNET) {
      std::wstring description = Wide(a->Description);
      wired = !ContainsIgnoringCase(description, L"wifi") && !ContainsIgnoringCase(description, L"wireless");
    } else {
      continue;
    }
    std::string mac = MacText(a->Address);
    if (best.empty() || (wired && !best_wired) || (wired == best_wired && std::strcmp(mac.c_str(), best.c_str()) < 0)) {
      best = mac;
      best_wired = wired;
    }
  }
  text = best;
  return !text.empty();
}

bool WindowsSevenOrEarlier() {
  DWORD major = 0, minor = 0;
  GetOSVersionNumbers(major, minor);
  return major == 0 || major * 10 + minor <= 61;
}

std::string TextAt(const std::vector<char>& answer, DWORD returned, DWORD offset) {
  if (!offset || offset >= returned) return std::string();
  return std::string(answer.data() + offset, strnlen(answer.data() + offset, returned - offset));
}

bool DiskOfDrive(int number, std::string& text) {
  wchar_t name[64];
  std::swprintf(name, 64, L"\\\\.\\PhysicalDrive%d", number);
  std::vector<char> answer(1000, '\0');
  DWORD returned = 0;
  {
    win::UniqueFile drive(
        ::CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!drive) return false;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    if (!::DeviceIoControl(drive.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), answer.data(),
                           DWORD(answer.size()), &returned, nullptr) ||
        returned < sizeof(STORAGE_DEVICE_DESCRIPTOR))
      return false;
  }
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer.data());
  switch (descriptor->BusType) {
    case 1: case 4: case 7: case 10: case 14: case 15:  // SCSI, 1394, USB, SAS, virtual, file-backed
      return false;
    default:
      break;
  }
  if (descriptor->RemovableMedia) return false;

  win::UniqueFile drive(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  GETVERSIONINPARAMS version = {};
  DWORD got = 0;
  if (drive &&
      ::DeviceIoControl(drive.get(), SMART_GET_VERSION, nullptr, 0, &version, sizeof(version), &got, nullptr)) {
    SENDCMDINPARAMS in = {};
    in.irDriveRegs.bCommandReg = 0xEC;
    std::vector<uint8_t> out(sizeof(SENDCMDOUTPARAMS) + 512, 0);
    if (::DeviceIoControl(drive.get(), SMART_RCV_DRIVE_DATA, &in, sizeof(in) - 1, out.data(), DWORD(out.size()), &got,
                          nullptr)) {
      const uint8_t* identify = reinterpret_cast<SENDCMDOUTPARAMS*>(out.data())->bBuffer;
      std::string serial(reinterpret_cast<const char*>(identify) + 20, 20);
      std::string model(reinterpret_cast<const char*>(identify) + 54, 40);
      PairSwap(serial);
      PairSwap(model);
      serial = Trim(serial.c_str(), true);
      model = Trim(model.c_str(), true);
      if (!serial.empty()) {
        text = serial + model;
        return true;
      }
    }
  }

  if (descriptor->SerialNumberOffset < returned && descriptor->VendorIdOffset < returned &&
      descriptor->ProductIdOffset < returned) {
    std::string serial =
        ConvertStorageSerial(TextAt(answer, returned, descriptor->SerialNumberOffset), WindowsSevenOrEarlier());
    if (!serial.empty()) {
      std::string vendor = Trim(TextAt(answer, returned, descriptor->VendorIdOffset), false);
      text = serial + Trim(vendor + TextAt(answer, returned, descriptor->ProductIdOffset), false);
      return true;
    }
  }
  return false;
}

}  // namespace

Mid2CacheKey DefaultMid2CacheKey() { return {HKEY_LOCAL_MACHINE, L"SOFTWARE\\ComWarden", KEY_WOW64_32KEY}; }

Mid2Cache ReadMid2Cache(const Mid2CacheKey& key) {
  Mid2Cache cache;
  win::UniqueKey k;
  if (::RegOpenKeyExW(key.root, key.path.c_str(), 0, KEY_QUERY_VALUE | key.view, k.put()) != ERROR_SUCCESS)
    return cache;
  wchar_t data[50 + 1] = {};
  DWORD size = 100, type = 0;
  if (::RegQueryValueExW(k.get(), L"m2", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
      type != REG_SZ || size != (kMid2Length + 1) * sizeof(wchar_t) || data[kMid2Length] != L'\0' ||
      std::wcslen(data) != kMid2Length)
    return cache;
  std::string text = Narrow(data);
  if (text.size() != kMid2Length || !std::isxdigit(static_cast<unsigned char>(text[42])) ||
      !std::isxdigit(static_cast<unsigned char>(text[43])) ||
      std::strtoul(text.substr(42).c_str(), nullptr, 16) != Crc8Maxim(text.data(), 42))
    return cache;
  cache.valid = true;
  cache.text = text;
  cache.fallback = StartsWithIgnoringCase(text, kFallbackPrefix);
  return cache;
}

bool WriteMid2Cache(const Mid2CacheKey& key, const std::string& fresh, const std::string& previous) {
  win::UniqueKey k;
  if (::RegOpenKeyExW(key.root, key.path.c_str(), 0, KEY_SET_VALUE | key.view, k.put()) != ERROR_SUCCESS &&
      ::RegCreateKeyExW(key.root, key.path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | key.view, nullptr, k.put(),
                        nullptr) != ERROR_SUCCESS)
    return false;
  auto set = [&](const wchar_t* name, const std::string& text) {
    std::wstring w = Wide(text);
    return ::RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                            DWORD((w.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  };
  if (!previous.empty() && !EqualIgnoringCase(previous, fresh)) set(L"m2_old", previous);
  return set(L"m2", fresh);
}

std::string FinishMid2(const std::string& id, uint8_t flags) {
  std::string body = id + Hex2(flags);
  return body + Hex2(Crc8Maxim(body.data(), body.size()));
}

bool GenerateMid2(const Mid2Components& c, bool elevated, const Mid2Probes& probes, std::string& text) {
  uint8_t flags = c.flags;
  std::string id;
  if (flags & (kMid2Network | kMid2Disk)) {
    std::string source;
    if (flags & kMid2Network) source += c.network;
    if (flags & kMid2Disk) source += c.disk;
    if (flags & kMid2Processor) source += c.processor;
    id = Sha1Hex(source);
    if (!id.empty()) flags |= kMid2Sha1;  // a failed digest is not one
  } else {
    GUID guid = {};
    if (probes.newGuid && probes.newGuid(guid)) {
      id = kFallbackPrefix;
      const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&guid);
      for (size_t i = 0; i < sizeof(guid); ++i) id += Hex2(bytes[i]);
      flags = kMid2Guid;
    }
  }
  bool fallback = !(flags & kMid2Sha1);
  if (id.empty()) {
    id.assign(40, '0');
  } else if (!elevated && !StartsWithIgnoringCase(id, kFallbackPrefix)) {
    id.replace(0, 8, "eeeeeeee");
  }
  text = FinishMid2(id, flags);
  return !fallback;
}

std::string ComputeMid2(const Mid2CacheKey& key, bool elevated, const Mid2Probes& probes) {
  const Mid2Cache cache = ReadMid2Cache(key);
  if (cache.valid && !elevated) return cache.text;

  Mid2Components components;
  if (probes.collect) probes.collect(components, kMid2AllComponents);
  const uint8_t f1 = components.flags;
  const bool both = (f1 & (kMid2Network | kMid2Disk)) == (kMid2Network | kMid2Disk);

  std::string generated;
  bool have_generated = false;
  if (!(f1 & (kMid2Network | kMid2Disk))) {
    // Nothing but the processor: reuse a cached fallback rather than draw a new GUID.
    if (cache.valid && cache.fallback) return cache.text;
  } else if (cache.valid) {
    if (!GenerateMid2(components, elevated, probes, generated)) return cache.text;
    have_generated = true;
    if (EqualIgnoringCase(generated, cache.text)) return generated;
  }

  uint8_t f2 = f1;
  if (!both) {
    // Network and disk drivers may still be starting: one more look after a short pause.
    if (probes.sleep) probes.sleep(500);
    if (probes.collect) probes.collect(components, kMid2AllComponents);
    f2 = components.flags;
  }
  if ((both || f2 == f1) && have_generated) {
    WriteMid2Cache(key, generated, cache.text);
    return generated;
  }
  bool generated_ok = GenerateMid2(components, elevated, probes, generated);
  if (generated_ok || !cache.valid || !cache.fallback) {
    WriteMid2Cache(key, generated, cache.text);
    return generated;
  }
  return cache.text;
}

bool IsElevatedBy(const ElevationFacts& f) {
  return !(f.versionKnown && f.major >= 6 && f.tokenOpened && f.queryOk && !f.tokenElevated);
}

bool ProcessIsElevated() {
  ElevationFacts facts = {};
  DWORD major = 0, minor = 0;
  GetOSVersionNumbers(major, minor);
  facts.versionKnown = major != 0;
  facts.major = major;
  win::UniqueHandle token;
  facts.tokenOpened = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) != FALSE;
  if (facts.tokenOpened) {
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    facts.queryOk =
        ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) != FALSE;
    facts.tokenElevated = elevation.TokenIsElevated != 0;
  }
  return IsElevatedBy(facts);
}

std::string Mid2ProcessorTextFrom(const std::string& vendor, unsigned signature, const std::string& brand) {
  std::string v = Trim(vendor.c_str(), false);
  if (v == "GenuineIotel") v = "GenuineIntel";
  std::string b = Trim(brand.c_str(), false);
  char text[160];
  std::snprintf(text, sizeof(text), "%s,%x,%s", v.c_str(), signature, b.c_str());
  return text;
}

std::string Mid2ProcessorText() {
  static std::once_flag once;
  static std::string text;
  std::call_once(once, [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid(0, a, b, c, d);
    unsigned highest = a;
    char vendor[13] = {};
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    unsigned signature = 0;
    if (highest >= 1) {
      __cpuid(1, a, b, c, d);
      signature = a;
    }
    char brand[49] = {};
    __cpuid(0x80000000u, a, b, c, d);
    if (a >= 0x80000004u) {
      for (unsigned leaf = 0; leaf < 3; ++leaf) {
        unsigned r[4];
        __cpuid(0x80000002u + leaf, r[0], r[1], r[2], r[3]);
        std::memcpy(brand + 16 * leaf, r, 16);
      }
    }
    text = Mid2ProcessorTextFrom(vendor, signature, brand);
  });
  return text;
}

std::string Mid2NetworkText() {
  std::string text;
  if (NetworkByCards(text) || NetworkByAdapters(text)) return text;
  return std::string();
}

std::string Mid2DiskText() {
  for (int n = 0; n < 16; ++n) {
    std::string text;
    if (DiskOfDrive(n, text)) return text;
  }
  return std::string();
}

void CollectMid2Components(Mid2Components& c, uint8_t mask) {
  if ((mask & kMid2Network) && !(c.flags & kMid2Network)) {
    c.network = Mid2NetworkText();
    if (!c.network.empty()) c.flags |= kMid2Network;
  }
  if ((mask & kMid2Disk) && !(c.flags & kMid2Disk)) {
    c.disk = Mid2DiskText();
    if (!c.disk.empty()) c.flags |= kMid2Disk;
  }
  if ((mask & kMid2Processor) && !(c.flags & kMid2Processor)) {
    c.processor = Mid2ProcessorText();
    if (!c.processor.empty()) c.flags |= kMid2Processor;
  }
}

Mid2Probes SystemMid2Probes() {
  return {CollectMid2Components, [](GUID& guid) { return SUCCEEDED(::CoCreateGuid(&guid)); },
          [](DWORD ms) { ::Sleep(ms); }};
}

void PairSwap(std::string& text) {
  size_t length = text.size();
  if (length % 2 || length < 2) return;
  size_t blanks = 0;
  while (blanks < length && text[blanks] == ' ') ++blanks;
  if (blanks) {
    if ((length - blanks) % 2 || length - blanks < 2) return;
    text = text.substr(blanks);
    length = text.size();
  }
  for (size_t i = 0; i + 1 < length; i += 2) std::swap(text[i], text[i + 1]);
}

std::string ConvertStorageSerial(const std::string& raw, bool windows7_or_earlier) {
  if (raw.size() < 4 || raw.size() > 40) return std::string();
  std::string text = raw;
  if (raw.size() == 40 && raw.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
    text.clear();
    for (size_t i = 0; i < 40; i += 2) {
      char byte = char(std::strtoul(raw.substr(i, 2).c_str(), nullptr, 16));
      if (!byte) break;
      text += byte;
    }
  }
  if (windows7_or_earlier) PairSwap(text);
  return Trim(text, true);
}

int ClassifyCardMedium(const MediumAnswers& a, bool wireless_by_registry) {
  const int registry = wireless_by_registry ? 1 : 0;
  if (a.exOk && a.ex != 0) {
    if (a.ex == 1 || a.ex == 9) return 1;  // wireless LAN, native 802.11
    if (a.ex == 14) return registry;       // 802.3: as the class key says
    return -1;
  }
  if (!a.plainOk) return registry;
  switch (a.plain) {
    case 1: case 9:
      return 1;
    case 2: case 3: case 7: case 8: case 10: case 12: case 16: case 17: case 18:
      return -1;
    default:
      return 0;
  }
}

CMvkMID2::CMvkMID2(std::function<std::string()> compute) : compute_(std::move(compute)) {
  ::InitializeCriticalSection(&lock_);
  if (!compute_)
    compute_ = [] { return ComputeMid2(DefaultMid2CacheKey(), ProcessIsElevated(), SystemMid2Probes()); };
}

CMvkMID2::~CMvkMID2() { ::DeleteCriticalSection(&lock_); }

HRESULT CMvkMID2::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IExtend))
    *object = static_cast<IExtend*>(this);
  else if (IsEqualIID(iid, IID_INewMID))
    *object = static_cast<INewMID*>(this);
  else
    return E_NOINTERFACE;
  return S_OK;
}

HRESULT CMvkMID2::GetMID2(wchar_t* buffer, size_t capacity) {
  if (!buffer || capacity == 0) return E_INVALIDARG;
  ::EnterCriticalSection(&lock_);
  if (!computed_) {
    std::memset(mid2_, 0, sizeof(mid2_));
    std::wstring text = Wide(compute_());
    if (!text.empty() && text.size() < 50) {
      text.copy(mid2_, text.size());
      computed_ = true;
    }
  }
  HRESULT result = E_FAIL;
  if (computed_) {
    buffer[0] = L'\0';
    size_t n = std::wcslen(mid2_);
    if (n > capacity - 1) n = capacity - 1;  // direct callers may pass less than GetMid2 allows
    std::wmemcpy(buffer, mid2_, n);
    buffer[n] = L'\0';
    result = S_OK;
  }
  ::LeaveCriticalSection(&lock_);
  return result;
}

CMvkMID2& CMvkMID2::Instance() {
  static std::atomic<long> state{0};
  static CMvkMID2* instance = nullptr;
  long expected = 0;
  if (state.compare_exchange_strong(expected, 1)) {
    static CMvkMID2 object;  // process-wide, never handed out for deletion
    instance = &object;
    state = 2;
  } else {
    while (state.load() != 2) ::Sleep(1);
  }
  return *instance;
}

}  // namespace identity

HRESULT GetMid2(wchar_t* buffer, size_t capacity) {
  if (!buffer || capacity < 50) return E_INVALIDARG;
  return identity::CMvkMID2::Instance().GetMID2(buffer, capacity);
}
