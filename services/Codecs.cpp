#include "services/Codecs.h"

#include <windows.h>
#include <cstring>

namespace codecs {

namespace {
#include "services/BlowfishTables.inc"

uint32_t LoadBigEndian(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
void StoreBigEndian(uint32_t v, uint8_t* p) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int AlphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Runs every 8-byte block of data (zero-completed at the end) through the cipher.
template <class Op>
std::string EachBlock(const std::string& data, Op op) {
  std::string out(data);
  out.resize((data.size() + 7) / 8 * 8, '\0');
  for (size_t at = 0; at < out.size(); at += 8) op(reinterpret_cast<uint8_t*>(&out[at]));
  return out;
}

}  // namespace

Blowfish::Blowfish(const void* key, size_t key_length) {
  std::memcpy(p_, kInitialP, sizeof(p_));
  std::memcpy(s_, kInitialS, sizeof(s_));
  const uint8_t* k = static_cast<const uint8_t*>(key);
  if (key_length) {
    size_t at = 0;
    for (uint32_t& word : p_) {
      uint32_t data = 0;
      for (int i = 0; i < 4; ++i) {
        data = (data << 8) | k[at];
        at = (at + 1) % key_length;
      }
      word ^= data;
    }
  }
  uint32_t left = 0, right = 0;
  for (int i = 0; i < 18; i += 2) {
    Encrypt(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (auto& box : s_) {
    for (int i = 0; i < 256; i += 2) {
      Encrypt(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

uint32_t Blowfish::F(uint32_t x) const {
  return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xff]) ^ s_[2][(x >> 8) & 0xff]) + s_[3][x & 0xff];
}

void Blowfish::Encrypt(uint32_t& left, uint32_t& right) const {
  uint32_t l = left, r = right;
  for (int i = 0; i < 16; ++i) {
    l ^= p_[i];
    r ^= F(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= p_[16];
  l ^= p_[17];
  left = l;
  right = r;
}

void Blowfish::Decrypt(uint32_t& left, uint32_t& right) const {
  uint32_t l = left, r = right;
  for (int i = 17; i > 1; --i) {
    l ^= p_[i];
    r ^= F(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= p_[1];
  l ^= p_[0];
  left = l;
  right = r;
}

void Blowfish::EncryptBlock(uint8_t block[8]) const {
  uint32_t l = LoadBigEndian(block), r = LoadBigEndian(block + 4);
  Encrypt(l, r);
  StoreBigEndian(l, block);
  StoreBigEndian(r, block + 4);
}

void Blowfish::DecryptBlock(uint8_t block[8]) const {
  uint32_t l = LoadBigEndian(block), r = LoadBigEndian(block + 4);
  Decrypt(l, r);
  StoreBigEndian(l, block);
  StoreBigEndian(r, block + 4);
}

std::string Base64Encode(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest) {
    uint32_t v = uint8_t(bytes[i]) << 16;
    if (rest == 2) v |= uint8_t(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(const std::string& text, std::string& bytes) {
  bytes.clear();
  if (text.empty()) return true;
  if (text.size() % 4) return false;
  size_t length = text.size();
  size_t padding = 0;
  while (padding < 2 && length && text[length - 1] == '=') {
    --length;
    ++padding;
  }
  std::string out;
  out.reserve(length / 4 * 3 + 2);
  uint32_t acc = 0;
  int bits = 0;
  for (size_t i = 0; i < length; ++i) {
    int v = AlphabetIndex(text[i]);
    if (v < 0) return false;
    acc = (acc << 6) | uint32_t(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += char((acc >> bits) & 0xff);
    }
  }
  bytes.swap(out);
  return true;
}

bool EncryptText(const std::string& plain, const std::string& key, std::string& cipher_base64) {
  if (plain.empty() || key.empty()) return false;
  Blowfish cipher(key.data(), key.size());
  cipher_base64 = Base64Encode(EachBlock(plain, [&](uint8_t* b) { cipher.EncryptBlock(b); }));
  return true;
}

bool DecryptText(const std::string& cipher_base64, const std::string& key, std::string& plain) {
  if (cipher_base64.empty() || key.empty()) return false;
  std::string bytes;
  if (!Base64Decode(cipher_base64, bytes) || bytes.empty()) return false;
  Blowfish cipher(key.data(), key.size());
  std::string out = EachBlock(bytes, [&](uint8_t* b) { cipher.DecryptBlock(b); });
  out.resize(bytes.size());
  plain.swap(out);
  return true;
}

std::string WideToUtf8(const std::wstring& text) {
  std::wstring upto_nul(text.c_str());
  if (upto_nul.empty()) return std::string();
  int n = ::WideCharToMultiByte(CP_UTF8, 0, upto_nul.data(), int(upto_nul.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(size_t(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, upto_nul.data(), int(upto_nul.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Utf8ToWide(const std::string& text) {
  std::string upto_nul(text.c_str());
  if (upto_nul.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(CP_UTF8, 0, upto_nul.data(), int(upto_nul.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(size_t(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, upto_nul.data(), int(upto_nul.size()), &out[0], n);
  return out;
}

std::wstring EncryptTextW(const std::wstring& plain, const std::wstring& key) {
  std::string cipher;
  if (!EncryptText(WideToUtf8(plain), WideToUtf8(key), cipher)) return std::wstring();
  return Utf8ToWide(cipher);
}

std::wstring DecryptTextW(const std::wstring& cipher, const std::wstring& key) {
  std::string plain;
  if (!DecryptText(WideToUtf8(cipher), WideToUtf8(key), plain)) return std::wstring();
  return Utf8ToWide(plain);
}

std::wstring EscapeUrlUtf8(const std::wstring& text) {
  static const char kKeep[] = "!'()*-./:_~%";
  static const char kHex[] = "0123456789abcdef";
  std::string utf8 = WideToUtf8(text);
  std::wstring out;
  out.reserve(utf8.size());
  for (unsigned char c : utf8) {
    bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                (c && std::strchr(kKeep, c));
    size_t need = keep ? 1 : 3;
    if (out.size() + need > kEscapeUrlLimit) break;
    if (keep) {
      out += wchar_t(c);
    } else {
      out += L'%';
      out += wchar_t(kHex[c >> 4]);
      out += wchar_t(kHex[c & 15]);
    }
  }
  return out;
}

}  // namespace codecs
