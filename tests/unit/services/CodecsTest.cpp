// The text cipher, Base64 and URL escaping against published vectors and their edge rules.
#include <gtest/gtest.h>

#include <string>

#include "services/Codecs.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string ToHex(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

struct BlowfishVector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// Eric Young's published ECB vectors for Blowfish, plus one 24-byte key from the set-key table.
const BlowfishVector kVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
};

TEST(Blowfish, PublishedEcbVectorsEncryptAndDecrypt) {
  for (const auto& v : kVectors) {
    std::string key = FromHex(v.key);
    codecs::Blowfish cipher(key.data(), key.size());
    std::string block = FromHex(v.plain);
    cipher.EncryptBlock(reinterpret_cast<uint8_t*>(&block[0]));
    EXPECT_EQ(ToHex(block), v.cipher) << "key " << v.key;
    cipher.DecryptBlock(reinterpret_cast<uint8_t*>(&block[0]));
    EXPECT_EQ(ToHex(block), v.plain) << "key " << v.key;
  }
}

TEST(EncryptText, ZeroPadsToWholeBlocks) {
  struct Case {
    size_t length;
    size_t base64_length;
  } cases[] = {{1, 12}, {7, 12}, {8, 12}, {9, 24}, {16, 24}, {17, 32}};
  for (const auto& c : cases) {
    std::string cipher;
    ASSERT_TRUE(EncryptText(std::string(c.length, 'a'), "key", cipher));
    EXPECT_EQ(cipher.size(), c.base64_length) << c.length << " bytes";
    std::string plain;
    ASSERT_TRUE(DecryptText(cipher, "key", plain));
    EXPECT_EQ(plain.size() % 8, 0u);
    EXPECT_EQ(plain, std::string(c.length, 'a') + std::string(plain.size() - c.length, '\0'));
  }
}

TEST(EncryptText, IsBlowfishEcbUnderTheKeyBytes) {
  // Two equal blocks give two equal cipher blocks (ECB), each the vector's cipher block.
  std::string key = FromHex("FEDCBA9876543210");
  std::string plain = FromHex("0123456789ABCDEF0123456789ABCDEF");
  std::string cipher, bytes;
  ASSERT_TRUE(EncryptText(plain, key, cipher));
  ASSERT_TRUE(Base64Decode(cipher, bytes));
  EXPECT_EQ(ToHex(bytes), "0ACEAB0FC6A0A28D0ACEAB0FC6A0A28D");
}

TEST(EncryptText, RefusesEmptyInput) {
  std::string out;
  EXPECT_FALSE(EncryptText("", "key", out));
  EXPECT_FALSE(DecryptText("", "key", out));
  EXPECT_FALSE(DecryptText("not base64!", "key", out));
  EXPECT_TRUE(EncryptTextW(L"", L"key").empty());
  EXPECT_TRUE(DecryptTextW(L"", L"key").empty());
}

TEST(EncryptTextW, RoundTripDropsPaddingAndKeepsNonAscii) {
  const std::wstring key = L"0123456789abcdef0123456789abcdef";
  for (const std::wstring& text : {std::wstring(L"stillen"), std::wstring(L"hello"), std::wstring(L"卸载程序 ok"),
                                  std::wstring(L"12345678")}) {
    std::wstring cipher = EncryptTextW(text, key);
    ASSERT_FALSE(cipher.empty());
    EXPECT_EQ(DecryptTextW(cipher, key), text);
    EXPECT_NE(DecryptTextW(cipher, L"another key"), text);
  }
}

TEST(DecryptText, FiveBytesComeBackWithThreeZeros) {
  std::string cipher, plain;
  ASSERT_TRUE(EncryptText("abcde", "k", cipher));
  ASSERT_TRUE(DecryptText(cipher, "k", plain));
  EXPECT_EQ(plain, std::string("abcde\0\0\0", 8));
}

TEST(Base64, EncodesRfc4648Vectors) {
  const char* cases[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},      {"foo", "Zm9v"},
                            {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(c[0]), c[1]);
    std::string decoded;
    EXPECT_TRUE(Base64Decode(c[1], decoded)) << c[1];
    EXPECT_EQ(decoded, c[0]);
  }
  EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(Base64, DecodingIsStrict) {
  for (const char* bad : {"Zm9", "Zm9vY", "Zm9v\nYmFy", "Zm9v YmFy", "Zm9vYmF=y", "Zm===", "====", "Zm9-", "Zg=\r"}) {
    std::string out = "untouched";
    EXPECT_FALSE(Base64Decode(bad, out)) << bad;
  }
}

TEST(EscapeUrlUtf8, KeepsTheSafeSetAndEscapesTheRestInLowerCase) {
  EXPECT_EQ(EscapeUrlUtf8(L"2023-05-06 12:34:56"), L"2023-05-06%2012:34:56");
  EXPECT_EQ(EscapeUrlUtf8(L"100%"), L"100%");
  EXPECT_EQ(EscapeUrlUtf8(L"a&b=c?d#e+f"), L"a%26b%3dc%3fd%23e%2bf");
  EXPECT_EQ(EscapeUrlUtf8(L"!'()*-./:_~"), L"!'()*-./:_~");
  EXPECT_EQ(EscapeUrlUtf8(L"卸\t"), L"%e5%8d%b8%09");
}

TEST(EscapeUrlUtf8, StopsAtAWholeEscapeWithinTheLimit) {
  std::wstring escaped = EscapeUrlUtf8(std::wstring(1000, L' '));
  EXPECT_EQ(escaped.size(), 2598u);  // 866 escapes; a further one would pass 2600
  std::wstring plain = EscapeUrlUtf8(std::wstring(3000, L'a'));
  EXPECT_EQ(plain.size(), codecs::kEscapeUrlLimit);
}

}  // namespace
