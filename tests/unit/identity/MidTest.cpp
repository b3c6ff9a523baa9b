// Cache rules and shape of the machine identifier.
#include <gtest/gtest.h>

#include <windows.h>
#include <string>

#include "common/UniqueHandle.h"
#include "identity/Digests.h"
#include "identity/Mid.h"

namespace {

using identity::MidCacheKey;
using identity::MidDigest;

int g_source_calls = 0;
std::string FixedSources() {
  ++g_source_calls;
  return "GenuineIntel:bfebfbffSERIAL001AABBCCDDEEFF";
}
std::string NoSources() {
  ++g_source_calls;
  return std::string();
}

class MidCache : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key_.path.c_str());
    g_source_calls = 0;
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, key_.path.c_str()); }

  void Put(const char* name, const std::string& data) {
    win::UniqueKey k;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key_.path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(),
                                nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()));
  }
  // The value's text up to its first NUL, or "<missing>". (Wine's registry stores a
  // terminator even when the writer gives none, so the stored size is not checked here.)
  std::string Get(const char* name) {
    win::UniqueKey k;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key_.path.c_str(), 0, KEY_QUERY_VALUE, k.put()) != ERROR_SUCCESS)
      return "<missing>";
    wchar_t data[1024];
    DWORD size = 0;
    std::wstring wide_name(name, name + strlen(name));
    // The size query reports the stored size; a read may add a terminator of its own.
    if (::RegQueryValueExW(k.get(), wide_name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size > sizeof(data) ||
        ::RegQueryValueExW(k.get(), wide_name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
      return "<missing>";
    std::wstring text(data, data + size / sizeof(wchar_t));
    text = text.c_str();
    return std::string(text.begin(), text.end());
  }

  MidCacheKey key_{HKEY_CURRENT_USER, L"Software\\UninstTests\\MidCache", 0};
  const std::string fresh_ = MidDigest(FixedSources());
};

TEST_F(MidCache, FreshMachineProbesOnceAndStoresMidWithItsDigest) {
  std::string mid = identity::GenerateMid(key_, &FixedSources);
  EXPECT_EQ(mid, fresh_);
  EXPECT_EQ(Get("mid"), mid + MidDigest(mid));
  EXPECT_EQ(Get("mid_old"), "<missing>");
  g_source_calls = 0;
  EXPECT_EQ(identity::GenerateMid(key_, &FixedSources), mid);
  EXPECT_EQ(g_source_calls, 0);
}

TEST_F(MidCache, CacheEntriesAreCheckedByLengthAndDigest) {
  const std::string cached = "0123456789abcdef0123456789abcdef";
  std::string digest_upper = MidDigest(cached);
  for (char& c : digest_upper) c = char(toupper(c));
  struct Case {
    const char* what;
    std::string value;
    bool accepted;
  } cases[] = {
      {"valid", cached + MidDigest(cached), true},
      {"digest in upper case", cached + digest_upper, true},
      {"63 characters", (cached + MidDigest(cached)).substr(0, 63), false},
      {"65 characters", cached + MidDigest(cached) + "0", false},
      {"wrong digest", cached + MidDigest("other"), false},
  };
  for (const auto& c : cases) {
    SetUp();
    Put("mid", c.value);
    std::string mid = identity::GenerateMid(key_, &FixedSources);
    if (c.accepted) {
      EXPECT_EQ(mid, cached) << c.what;
      EXPECT_EQ(g_source_calls, 0) << c.what;
      EXPECT_EQ(Get("mid_old"), "<missing>") << c.what;
    } else {
      EXPECT_EQ(mid, fresh_) << c.what;
      EXPECT_EQ(Get("mid"), fresh_ + MidDigest(fresh_)) << c.what;
      EXPECT_EQ(Get("mid_old"), c.value) << c.what;  // previous content kept aside
    }
  }
}

TEST_F(MidCache, NoSourceGivesMid2FailedDigestAndStoresNothing) {
  EXPECT_EQ(identity::GenerateMid(key_, &NoSources), MidDigest("Mid2Failed"));
  EXPECT_EQ(identity::GenerateMid(key_, &NoSources), MidDigest("Mid2Failed"));
  EXPECT_EQ(g_source_calls, 2);  // probed again each time
  EXPECT_EQ(Get("mid"), "<missing>");
}

TEST(GetMid, Gives32HexDigitsCutToCapacity) {
  EXPECT_FALSE(GetMid(nullptr, 33));
  wchar_t buffer[40];
  EXPECT_FALSE(GetMid(buffer, 0));
  ASSERT_TRUE(GetMid(buffer, 40));
  std::wstring mid = buffer;
  ASSERT_EQ(mid.size(), 32u);
  EXPECT_EQ(mid.find_first_not_of(L"0123456789abcdef"), std::wstring::npos);
  wchar_t small[10];
  ASSERT_TRUE(GetMid(small, 10));
  EXPECT_EQ(std::wstring(small), mid.substr(0, 9));
  ASSERT_TRUE(GetMid(buffer, 40));
  EXPECT_EQ(std::wstring(buffer), mid);  // the cache gives the same text again
}

TEST(DecodeDescriptorSerial, HexPairsPrintableTextOrNothing) {
  const char* cases[][2] = {
      {"3457444d", "4WDM"},     // hex pairs
      {"2020344", "  4"},       // an odd last digit is dropped
      {"20 03457", " "},        // white space counts as 0, and the text ends at a zero byte
      {"WD-123", "WD-123"},     // printable text as it is
      {"0102", "0102"},         // hex decoding to unprintable bytes: the text itself
      {"\x01\x02", ""},         // neither
  };
  for (const auto& c : cases) EXPECT_EQ(identity::DecodeDescriptorSerial(c[0]), c[1]) << c[0];
}

}  // namespace
