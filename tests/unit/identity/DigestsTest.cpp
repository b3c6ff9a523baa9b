// Digests of the machine identifiers against published vectors.
#include <gtest/gtest.h>

#include <string>

#include "identity/Digests.h"

namespace {

using identity::CMidMd5;
using identity::HexLower;
using identity::MidDigest;

TEST(MidMd5, FirstFinalIsMd5OfRfc1321) {
  const char* cases[][2] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& c : cases) {
    CMidMd5 md5;
    md5.Update(c[0], std::char_traits<char>::length(c[0]));
    EXPECT_EQ(HexLower(md5.Final()), c[1]) << c[0];
  }
}

TEST(MidMd5, UpdateInPiecesEqualsOneUpdate) {
  std::string text(200, 'q');
  CMidMd5 whole, pieces;
  whole.Update(text.data(), text.size());
  for (size_t at = 0; at < text.size(); at += 7) pieces.Update(text.data() + at, std::min<size_t>(7, text.size() - at));
  EXPECT_EQ(whole.Final(), pieces.Final());
}

// The second final step pads the already finalised stream again (reference values from an
// independent implementation of the same rule).
TEST(MidDigest, IsTheStateAfterTheSecondFinal) {
  const char* cases[][2] = {{"", "5d2735c78b4ad61d0f6b5933aef45e4f"},
                            {"abc", "ab32b7d610b8276088dc6cdcfe9adbf3"},
                            {"GenuineIntel:bfebfbff", "4a1ee4f255cc82a3373e7ea1bc88a46c"}};
  for (const auto& c : cases) EXPECT_EQ(MidDigest(c[0]), c[1]) << c[0];
  EXPECT_EQ(MidDigest(std::string(100, 'a')), "c91b1c7d85df13bbbc8c394642797ab2");
}

TEST(MidDigest, CountsOnlyTheFirst259Bytes) {
  EXPECT_EQ(MidDigest(std::string(300, 'x')), "cea38ec154f7bd2dbf6e08688fbc014c");
  EXPECT_EQ(MidDigest(std::string(300, 'x')), MidDigest(std::string(259, 'x')));
  EXPECT_NE(MidDigest(std::string(258, 'x')), MidDigest(std::string(259, 'x')));
}

TEST(Crc8Maxim, CheckValueAndSmallCases) {
  EXPECT_EQ(identity::Crc8Maxim("123456789", 9), 0xA1);
  EXPECT_EQ(identity::Crc8Maxim("", 0), 0x00);
  EXPECT_EQ(identity::Crc8Maxim("\x01", 1), 0x5E);
}

TEST(Sha1, Fips180Vectors) {
  EXPECT_EQ(identity::Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(identity::Sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(identity::Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(identity::Sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

}  // namespace
