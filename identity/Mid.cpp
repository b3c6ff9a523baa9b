#include "identity/Mid.h"

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <ntddndis.h>
#include <nb30.h>
#include <cpuid.h>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "common/UniqueHandle.h"
#include "identity/Digests.h"

namespace identity {

namespace {

const char kMidValue[] = "mid";
const size_t kMidLength = 32;
const DWORD kIdentifySize = 512;
// IOCTL_SCSI_MINIPORT_IDENTIFY of the SCSI miniport interface (FILE_DEVICE_SCSI << 16) + 0x501.
const DWORD kScsiMiniportIdentify = (0x0000001b << 16) + 0x0501;

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), int(a.size()),
                                                  b.data(), int(b.size())) == CSTR_EQUAL;
}

void TrimTrailingBlanks(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

// Identify words are stored high byte first: swap each pair of bytes of [from, from + count).
std::string IdentifyText(const uint8_t* identify, size_t from, size_t count) {
  std::string text;
  for (size_t i = from; i + 1 < from + count; i += 2) {
    if (identify[i + 1]) text += char(identify[i + 1]);
    if (identify[i]) text += char(identify[i]);
  }
  TrimTrailingBlanks(text);
  return text;
}

win::UniqueFile OpenDevice(const wchar_t* format, int number, DWORD access, DWORD share) {
  wchar_t name[64];
  std::swprintf(name, 64, format, number);
  return win::UniqueFile(::CreateFileW(name, access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

// SMART identify of one drive; true when the device answered.
bool SmartIdentify(HANDLE drive, int number, bool full_registers, std::string& serial) {
  GETVERSIONINPARAMS version = {};
  DWORD returned = 0;
  if (!::DeviceIoControl(drive, SMART_GET_VERSION, nullptr, 0, &version, sizeof(version), &returned, nullptr))
    return false;
  SENDCMDINPARAMS in = {};
  in.cBufferSize = kIdentifySize;
  in.irDriveRegs.bCommandReg = 0xEC;
  if (full_registers) {
    if (version.bIDEDeviceMap == 0) return false;
    in.irDriveRegs.bSectorCountReg = 1;
    in.irDriveRegs.bSectorNumberReg = 1;
    in.irDriveRegs.bDriveHeadReg = (number & 1) ? 0xB0 : 0xA0;
    in.bDriveNumber = BYTE(number);
    if (number + 4 < 8 && (version.bIDEDeviceMap >> (number + 4)) & 1) in.irDriveRegs.bCommandReg = 0xA1;
  }
  uint8_t out[sizeof(SENDCMDOUTPARAMS) + kIdentifySize] = {};
  if (!::DeviceIoControl(drive, SMART_RCV_DRIVE_DATA, &in, sizeof(in) - 1, out, sizeof(out), &returned, nullptr))
    return false;
  serial = IdentifyText(reinterpret_cast<SENDCMDOUTPARAMS*>(out)->bBuffer, 20, 20);
  return true;
}

bool DiskBySmart(std::string& text, bool full_registers) {
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (full_registers ? 0 : FILE_SHARE_DELETE);
  for (int n = 0; n < 16; ++n) {
    win::UniqueFile drive = OpenDevice(L"\\\\.\\PhysicalDrive%d", n, GENERIC_READ | GENERIC_WRITE, share);
    if (drive && SmartIdentify(drive.get(), n, full_registers, text)) return true;
  }
  return false;
}

bool DiskByScsiMiniport(std::string& text) {
  bool answered = false;
  for (int controller = 0; controller < 16; ++controller) {
    win::UniqueFile port = OpenDevice(L"\\\\.\\Scsi%d:", controller, GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!port) continue;
    for (int target = 0; target < (answered ? 1 : 2); ++target) {
      uint8_t buffer[sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDOUTPARAMS) + kIdentifySize] = {};
      auto* control = reinterpret_cast<SRB_IO_CONTROL*>(buffer);
      control->HeaderLength = sizeof(SRB_IO_CONTROL);
      std::memcpy(control->Signature, "SCSIDISK", 8);
      control->Timeout = 10000;
      control->ControlCode = kScsiMiniportIdentify;
      control->Length = sizeof(SENDCMDOUTPARAMS) + kIdentifySize;
      auto* in = reinterpret_cast<SENDCMDINPARAMS*>(buffer + sizeof(SRB_IO_CONTROL));
      in->irDriveRegs.bCommandReg = 0xEC;
      in->bDriveNumber = BYTE(target);
      DWORD returned = 0;
      if (!::DeviceIoControl(port.get(), IOCTL_SCSI_MINIPORT, buffer,
                             DWORD(sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDINPARAMS) - 1), buffer, sizeof(buffer),
                             &returned, nullptr))
        continue;
      const uint8_t* identify =
          reinterpret_cast<SENDCMDOUTPARAMS*>(buffer + sizeof(SRB_IO_CONTROL))->bBuffer;
      if (!identify[54]) continue;
      text = IdentifyText(identify, 20, 20);
      answered = true;
    }
  }
  return answered;
}

bool DiskByStorageQuery(std::string& text) {
  for (int n = 0; n < 16; ++n) {
    win::UniqueFile drive = OpenDevice(L"\\\\.\\PhysicalDrive%d", n, 0, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!drive) continue;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::string answer(10000, '\0');
    DWORD returned = 0;
    if (!::DeviceIoControl(drive.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &answer[0],
                           DWORD(answer.size()), &returned, nullptr))
      continue;
    auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer.data());
    std::string serial;
    DWORD offset = returned >= sizeof(STORAGE_DEVICE_DESCRIPTOR) ? descriptor->SerialNumberOffset : 0;
    if (offset && offset < returned) serial = DecodeDescriptorSerial(std::string(answer.c_str() + offset));
    for (size_t i = 0; i + 1 < serial.size(); i += 2) std::swap(serial[i], serial[i + 1]);
    text = serial;
    return true;
  }
  return false;
}

std::string MacText(const uint8_t* mac) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

std::string NetbiosAddress() {
  wchar_t system_dir[MAX_PATH] = {};
  UINT length = ::GetSystemDirectoryW(system_dir, MAX_PATH);
  if (!length || length >= MAX_PATH - 16) return std::string();
  win::UniqueModule netapi(::LoadLibraryW((std::wstring(system_dir) + L"\\Netapi32.dll").c_str()));
  if (!netapi) return std::string();
  using NetbiosFn = UCHAR(APIENTRY*)(PNCB);
  auto netbios = reinterpret_cast<NetbiosFn>(reinterpret_cast<void*>(::GetProcAddress(netapi.get(), "Netbios")));
  if (!netbios) return std::string();
  LANA_ENUM lanas = {};
  NCB ncb = {};
  ncb.ncb_command = NCBENUM;
  ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
  ncb.ncb_length = sizeof(lanas);
  if (netbios(&ncb) != NRC_GOODRET || lanas.length == 0) return std::string();
  std::memset(&ncb, 0, sizeof(ncb));
  ncb.ncb_command = NCBRESET;
  ncb.ncb_lana_num = lanas.lana[0];
  if (netbios(&ncb) != NRC_GOODRET) return std::string();
  struct {
    ADAPTER_STATUS status;
    NAME_BUFFER names[30];
  } answer = {};
  std::memset(&ncb, 0, sizeof(ncb));
  ncb.ncb_command = NCBASTAT;
  ncb.ncb_lana_num = lanas.lana[0];
  std::memcpy(ncb.ncb_callname, "*               ", NCBNAMSZ);
  ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&answer);
  ncb.ncb_length = sizeof(answer);
  if (netbios(&ncb) != NRC_GOODRET) return std::string();
  return MacText(answer.status.adapter_address);
}

}  // namespace

namespace {
// Exactly the characters, no terminator (data size = length). Wine's registry appends one
// on its own; Windows stores what it is given.
void SetTextWithoutNul(HKEY key, const char* name, const std::string& text) {
  ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()), DWORD(text.size()));
}
}  // namespace

MidCacheKey DefaultMidCacheKey() { return {HKEY_LOCAL_MACHINE, L"Software\\Warden2\\Liveup", KEY_WOW64_32KEY}; }

bool ReadMidCache(const MidCacheKey& key, std::string& mid) {
  win::UniqueKey k;
  if (::RegOpenKeyExW(key.root, key.path.c_str(), 0, KEY_QUERY_VALUE | key.view, k.put()) != ERROR_SUCCESS)
    return false;
  char data[1024 + 1] = {};
  DWORD size = 1024, type = 0;
  if (::RegQueryValueExA(k.get(), kMidValue, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  std::string value(data);
  if (value.size() != 2 * kMidLength) return false;
  std::string candidate = value.substr(0, kMidLength);
  if (!EqualIgnoringCase(value.substr(kMidLength), MidDigest(candidate))) return false;
  mid = candidate;
  return true;
}

void StoreMid(const MidCacheKey& key, const std::string& mid) {
  std::string value = mid + MidDigest(mid);
  win::UniqueKey k;
  if (::RegCreateKeyExW(key.root, key.path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | key.view,
                        nullptr, k.put(), nullptr) != ERROR_SUCCESS)
    return;
  char old[256 + 1] = {};
  DWORD size = 256, type = 0;
  if (::RegQueryValueExA(k.get(), kMidValue, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS) {
    std::string previous(old, strnlen(old, size));
    if (previous != value) SetTextWithoutNul(k.get(), "mid_old", previous);
  }
  SetTextWithoutNul(k.get(), "mid", value);
}

std::string MidCpuText() {
  static std::once_flag once;
  static std::string text;
  std::call_once(once, [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    char vendor[13] = {};
    if (__get_cpuid(0, &a, &b, &c, &d)) {
      std::memcpy(vendor, &b, 4);
      std::memcpy(vendor + 4, &d, 4);
      std::memcpy(vendor + 8, &c, 4);
    }
    if (std::strcmp(vendor, "GenuineIotel") == 0) std::strcpy(vendor, "GenuineIntel");
    unsigned features = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) features = d;
    char buffer[128];
    std::snprintf(buffer, sizeof(buffer), "%s:%08x", vendor, features);
    text = buffer;
  });
  return text;
}

std::string MidDiskText() {
  std::string text;
  if (DiskBySmart(text, true) || DiskByScsiMiniport(text) || DiskByStorageQuery(text) || DiskBySmart(text, false)) {
    if (text.size() > 99) text.resize(99);
    TrimTrailingBlanks(text);
    return text;
  }
  return std::string();
}

std::string MidNetworkText() {
  win::UniqueKey cards;
  std::string best;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards", 0,
                      KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, cards.put()) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      char name[MAX_PATH] = {};
      DWORD name_length = MAX_PATH;
      if (::RegEnumKeyExA(cards.get(), i, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      win::UniqueKey card;
      if (::RegOpenKeyExA(cards.get(), name, 0, KEY_QUERY_VALUE, card.put()) != ERROR_SUCCESS) continue;
      char service[260 + 1] = {};
      DWORD size = 260, type = 0;
      if (::RegQueryValueExA(card.get(), "ServiceName", nullptr, &type, reinterpret_cast<BYTE*>(service), &size) !=
              ERROR_SUCCESS ||
          !service[0])
        continue;
      std::string device = std::string("\\\\.\\") + service;
      win::UniqueFile adapter(::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
      if (!adapter) continue;
      ULONG oid = OID_802_3_PERMANENT_ADDRESS;
      uint8_t mac[256] = {};
      DWORD returned = 0;
      if (!::DeviceIoControl(adapter.get(), IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof(oid), mac, sizeof(mac),
                             &returned, nullptr) ||
          returned == 0)
        continue;
      std::string text = MacText(mac);
      if (best.empty() || ::lstrcmpA(text.c_str(), best.c_str()) < 0) best = text;
    }
  }
  return best.empty() ? NetbiosAddress() : best;
}

std::string CollectMidSources() { return MidCpuText() + MidDiskText() + MidNetworkText(); }

std::string DecodeDescriptorSerial(const std::string& text) {
  auto is_hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
  auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  auto value = [&](char c) {
    if (is_space(c)) return 0;
    if (c >= '0' && c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
  };
  bool hex = !text.empty();
  std::string decoded;
  bool ended = false;  // the decoded text is a C string: it ends at its first zero byte
  for (char c : text) hex = hex && (is_hex(c) || is_space(c));
  for (size_t i = 0; hex && i + 1 < text.size(); i += 2) {
    unsigned char byte = static_cast<unsigned char>(value(text[i]) * 16 + value(text[i + 1]));
    if (byte && (byte < 0x20 || byte > 0x7e)) hex = false;
    if (!byte) ended = true;
    if (!ended) decoded += char(byte);
  }
  if (hex) return decoded;
  for (unsigned char c : text)
    if (c < 0x20 || c > 0x7e) return std::string();
  return text;
}

std::string GenerateMid(const MidCacheKey& key, MidSourceFn sources) {
  std::string cached;
  if (ReadMidCache(key, cached)) return cached;
  std::string source = sources ? sources() : std::string();
  if (source.size() > 4095) source.resize(4095);
  bool failed = source.empty();
  if (failed) source = "Mid2Failed";
  std::string mid = MidDigest(source);
  if (!failed) StoreMid(key, mid);
  return mid;
}

}  // namespace identity

bool GetMid(wchar_t* buffer, size_t capacity) {
  if (!buffer || capacity == 0) return false;
  std::memset(buffer, 0, capacity * sizeof(wchar_t));
  std::string mid = identity::GenerateMid(identity::DefaultMidCacheKey());
  std::wstring wide(mid.size(), L'\0');
  int n = mid.empty() ? 0 : ::MultiByteToWideChar(CP_ACP, 0, mid.data(), int(mid.size()), &wide[0], int(wide.size()));
  wide.resize(n > 0 ? size_t(n) : 0);
  if (wide.size() > capacity - 1) wide.resize(capacity - 1);
  std::memcpy(buffer, wide.data(), wide.size() * sizeof(wchar_t));
  return true;
}
