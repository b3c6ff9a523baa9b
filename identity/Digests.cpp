#include "identity/Digests.h"

#include <windows.h>
#include <wincrypt.h>
#include <cstring>

#include "common/UniqueHandle.h"

namespace identity {

namespace {

uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

struct CryptProvTraits {
  using type = HCRYPTPROV;
  static type invalid() { return 0; }
  static void close(type h) { ::CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
  using type = HCRYPTHASH;
  static type invalid() { return 0; }
  static void close(type h) { ::CryptDestroyHash(h); }
};

}  // namespace

CMidMd5::CMidMd5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void CMidMd5::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = uint32_t(block[i * 4]) | (uint32_t(block[i * 4 + 1]) << 8) | (uint32_t(block[i * 4 + 2]) << 16) |
           (uint32_t(block[i * 4 + 3]) << 24);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    switch (i / 16) {
      case 0: f = (b & c) | (~b & d); g = i; break;
      case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
    }
    uint32_t next = b + Rotl(a + f + kSine[i] + x[g], kShift[i / 16][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void CMidMd5::Update(const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t waiting = size_t((bit_count_ >> 3) & 63);
  bit_count_ += uint64_t(length) * 8;
  while (length) {
    size_t take = 64 - waiting < length ? 64 - waiting : length;
    std::memcpy(block_ + waiting, p, take);
    waiting += take;
    p += take;
    length -= take;
    if (waiting == 64) {
      Transform(block_);
      waiting = 0;
    }
  }
}

std::string CMidMd5::Final() {
  static const uint8_t kPadding[64] = {0x80};
  uint64_t remembered = bit_count_;
  size_t waiting = size_t((bit_count_ >> 3) & 63);
  Update(kPadding, waiting < 56 ? 56 - waiting : 120 - waiting);
  for (int i = 0; i < 8; ++i) block_[56 + i] = uint8_t(remembered >> (8 * i));
  Transform(block_);
  std::string digest(16, '\0');
  for (int i = 0; i < 16; ++i) digest[i] = char(state_[i / 4] >> (8 * (i % 4)));
  return digest;
}

std::string HexLower(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string MidDigest(const std::string& text) {
  CMidMd5 md5;
  md5.Update(text.data(), text.size() < 259 ? text.size() : 259);
  md5.Final();
  return HexLower(md5.Final());
}

uint8_t Crc8Maxim(const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint8_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint8_t((crc >> 1) ^ 0x8C) : uint8_t(crc >> 1);
  }
  return crc;
}

std::string Sha1Hex(const std::string& bytes) {
  win::Unique<CryptProvTraits> provider;
  if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    return std::string();
  win::Unique<CryptHashTraits> hash;
  if (!::CryptCreateHash(provider.get(), CALG_SHA1, 0, 0, hash.put())) return std::string();
  if (!bytes.empty() &&
      !::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()), 0))
    return std::string();
  BYTE digest[20];
  DWORD size = sizeof(digest);
  if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &size, 0) || size != 20) return std::string();
  return HexLower(std::string(reinterpret_cast<char*>(digest), 20));
}

}  // namespace identity
