#pragma once
// The machine identifier "mid": 32 lower-case hex digits digested from the processor, the
// first answering disk and a network card, cached in the registry with a digest of itself.
#include <windows.h>
#include <string>

namespace identity {

// Where the cache lives; tests point it elsewhere.
struct MidCacheKey {
  HKEY root;
  std::wstring path;
  REGSAM view;  // KEY_WOW64_32KEY: the key a 32-bit process sees
};
MidCacheKey DefaultMidCacheKey();  // HKLM "Software\Warden2\Liveup"

// The cached identifier when "mid" is 64 characters whose second half is the digest of the
// first (digest compared ignoring case).
bool ReadMidCache(const MidCacheKey& key, std::string& mid);
// Writes mid + digest to "mid" (64 bytes, no NUL); a different earlier "mid" moves to
// "mid_old". Failed writes are ignored.
void StoreMid(const MidCacheKey& key, const std::string& mid);

// The hardware sources: processor text, disk text, network text, concatenated.
std::string CollectMidSources();
std::string MidCpuText();
std::string MidDiskText();
std::string MidNetworkText();

// Cache first; otherwise the digest of the sources ("Mid2Failed" when they are all empty,
// which is never stored).
using MidSourceFn = std::string (*)();
std::string GenerateMid(const MidCacheKey& key, MidSourceFn sources = &CollectMidSources);

// Decodes a storage descriptor's serial number text: hex pairs when it is hex digits or
// white space only and every decoded byte is zero or printable, else the text when printable,
// else empty.
std::string DecodeDescriptorSerial(const std::string& text);

}  // namespace identity

// The identifier in the caller's buffer, cut to capacity - 1 characters; false for a null
// buffer or zero capacity.
bool GetMid(wchar_t* buffer, size_t capacity);
