#pragma once
// The text cipher (Blowfish ECB, zero padding, Base64 wrapped), Base64 and URL escaping.
// Pure logic: no window, registry or file access, so every piece is unit-testable.
#include <cstddef>
#include <cstdint>
#include <string>

namespace codecs {

// Blowfish with 16 rounds; blocks are two big-endian 32-bit halves, left half first.
class Blowfish {
 public:
  // key: 1 to 56 bytes (longer keys use their first 72 bytes cyclically, as the key schedule
  // reads 18 words; callers keep to 56).
  Blowfish(const void* key, size_t key_length);
  void EncryptBlock(uint8_t block[8]) const;
  void DecryptBlock(uint8_t block[8]) const;

 private:
  uint32_t F(uint32_t x) const;
  void Encrypt(uint32_t& left, uint32_t& right) const;
  void Decrypt(uint32_t& left, uint32_t& right) const;
  uint32_t p_[18];
  uint32_t s_[4][256];
};

// Standard alphabet, "=" padding, no line breaks.
std::string Base64Encode(const std::string& bytes);
// Strict: the length must be a multiple of 4, at most two trailing "=", nothing outside the
// alphabet (not even white space). An empty text decodes to nothing and succeeds.
bool Base64Decode(const std::string& text, std::string& bytes);

// False for an empty plain text or an empty key.
bool EncryptText(const std::string& plain, const std::string& key, std::string& cipher_base64);
// False for an empty or malformed input or an empty key. The result keeps the zero padding.
bool DecryptText(const std::string& cipher_base64, const std::string& key, std::string& plain);

std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// UTF-16 forms: both sides travel as UTF-8; empty on failure.
std::wstring EncryptTextW(const std::wstring& plain, const std::wstring& key);
// The decrypted bytes are read as UTF-8 up to the first zero byte.
std::wstring DecryptTextW(const std::wstring& cipher, const std::wstring& key);

// Percent-escapes the UTF-8 bytes of the text except letters, digits and !'()*-./:_~%.
// Escapes are lower-case hex. The result is cut at a whole escape so that it never exceeds
// kEscapeUrlLimit characters.
constexpr size_t kEscapeUrlLimit = 2600;
std::wstring EscapeUrlUtf8(const std::wstring& text);

}  // namespace codecs

// The names the rest of the program uses.
using codecs::Base64Decode;
using codecs::Base64Encode;
using codecs::DecryptText;
using codecs::DecryptTextW;
using codecs::EncryptText;
using codecs::EncryptTextW;
using codecs::EscapeUrlUtf8;
