#pragma once
// Digests and checksums of the machine identifiers. Pure logic apart from SHA-1, which the
// system's crypto provider computes.
#include <cstddef>
#include <cstdint>
#include <string>

namespace identity {

// MD5 (RFC 1321) whose final step leaves the context running: calling Final again pads and
// finalises the already finalised stream once more. The first Final is plain MD5.
class CMidMd5 {
 public:
  CMidMd5();
  void Update(const void* data, size_t length);
  // The 16 state bytes after padding the waiting bytes and the bit count in.
  std::string Final();

 private:
  void Transform(const uint8_t block[64]);
  uint32_t state_[4];
  uint64_t bit_count_ = 0;
  uint8_t block_[64] = {};
};

// 32 lower-case hex digits: the state after the second Final over the first 259 bytes.
std::string MidDigest(const std::string& text);

// CRC-8/MAXIM: reflected polynomial 0x8C, initial 0, no final XOR ("123456789" -> 0xA1).
uint8_t Crc8Maxim(const void* data, size_t length);

// SHA-1 (FIPS 180) as 40 lower-case hex digits; empty when the crypto provider fails.
std::string Sha1Hex(const std::string& bytes);

std::string HexLower(const std::string& bytes);

}  // namespace identity
