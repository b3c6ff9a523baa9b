// The second machine identifier: its cache rules and decision order with scripted probes,
// the text's shape, the elevation rule and the pure pieces of the hardware probes.
#include <gtest/gtest.h>

#include <windows.h>
#include <cctype>
#include <cstdio>
#include <string>

#include "common/UniqueHandle.h"
#include "identity/Digests.h"
#include "identity/Mid2.h"

namespace {

using identity::Mid2Components;
using identity::Mid2Probes;

const char kNetwork[] = "001122AABBCC";
const char kDisk[] = "WD-WCC4E1234567WDC WD10EZEX";
const char kCpu[] = "GenuineIntel,906ea,Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz";
const GUID kGuid = {0x01234567, 0x89ab, 0xcdef, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}};

// Which components exist at the first and at the second look, and what the probes were asked.
struct Script {
  uint8_t first = identity::kMid2AllComponents;
  uint8_t second = identity::kMid2AllComponents;
  const char* network = kNetwork;
  bool guid_ok = true;
  int collects = 0, sleeps = 0, guids = 0;
  DWORD slept = 0;
};

Mid2Probes ProbesOf(Script& s) {
  Mid2Probes p;
  p.collect = [&s](Mid2Components& c, uint8_t mask) {
    uint8_t present = s.collects++ == 0 ? s.first : s.second;
    auto take = [&](uint8_t bit, std::string& field, const char* text) {
      if ((mask & bit) && !(c.flags & bit) && (present & bit)) {
        field = text;
        c.flags |= bit;
      }
    };
    take(identity::kMid2Network, c.network, s.network);
    take(identity::kMid2Disk, c.disk, kDisk);
    take(identity::kMid2Processor, c.processor, kCpu);
  };
  p.newGuid = [&s](GUID& g) {
    ++s.guids;
    g = kGuid;
    return s.guid_ok;
  };
  p.sleep = [&s](DWORD ms) {
    ++s.sleeps;
    s.slept += ms;
  };
  return p;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Expected(const std::string& id, uint8_t flags) {
  char pair[3];
  std::snprintf(pair, sizeof(pair), "%02x", flags);
  std::string body = id + pair;
  std::snprintf(pair, sizeof(pair), "%02x", identity::Crc8Maxim(body.data(), body.size()));
  return body + pair;
}

const std::string kSha = identity::Sha1Hex(std::string(kNetwork) + kDisk + kCpu);
const std::string kFull = Expected(kSha, 0x2b);
const std::string kGuidId = "ffffffff67452301ab89efcd0123456789abcdef";  // GUID bytes in memory order

class Mid2Cache : public ::testing::Test {
 protected:
  void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, key_.path.c_str()); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, key_.path.c_str()); }

  void PutRaw(DWORD type, const std::wstring& data, DWORD size) {
    win::UniqueKey k;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key_.path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                k.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(k.get(), L"m2", 0, type, reinterpret_cast<const BYTE*>(data.c_str()), size),
              ERROR_SUCCESS);
  }
  void Put(const std::string& text) {
    std::wstring w(text.begin(), text.end());
    PutRaw(REG_SZ, w, DWORD((w.size() + 1) * 2));
  }
  std::string Get(const wchar_t* name) {
    win::UniqueKey k;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key_.path.c_str(), 0, KEY_QUERY_VALUE, k.put()) != ERROR_SUCCESS)
      return "<missing>";
    wchar_t data[200] = {};
    DWORD size = sizeof(data) - 2, type = 0;
    if (::RegQueryValueExW(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
      return "<missing>";
    std::wstring w = data;
    return std::string(w.begin(), w.end());
  }
  std::string Compute(Script& s, bool elevated) { return identity::ComputeMid2(key_, elevated, ProbesOf(s)); }

  identity::Mid2CacheKey key_{HKEY_CURRENT_USER, L"Software\\UninstTests\\Mid2Cache", 0};
};

TEST_F(Mid2Cache, FreshMachineWithAllComponents) {
  Script s;
  std::string mid2 = Compute(s, true);
  EXPECT_EQ(mid2, kFull);
  EXPECT_EQ(mid2.substr(40, 2), "2b");
  EXPECT_EQ(s.collects, 1);
  EXPECT_EQ(s.sleeps, 0);
  EXPECT_EQ(Get(L"m2"), kFull);
  EXPECT_EQ(Get(L"m2_old"), "<missing>");
}

TEST_F(Mid2Cache, ValidCacheServesAProcessThatIsNotElevated) {
  const std::string cached = Expected("eeeeeeee" + std::string(32, '1'), 0x2b);
  Put(cached);
  Script s;
  EXPECT_EQ(Compute(s, false), cached);
  EXPECT_EQ(s.collects, 0);  // no probing at all
}

TEST_F(Mid2Cache, ElevatedProcessProbesAgainAndKeepsTheOldTextAside) {
  const std::string cached = Expected(std::string(40, '1'), 0x2b);
  Put(cached);
  Script s;
  EXPECT_EQ(Compute(s, true), kFull);
  EXPECT_EQ(Get(L"m2"), kFull);
  EXPECT_EQ(Get(L"m2_old"), cached);
}

TEST_F(Mid2Cache, ElevatedProcessFindingTheSameTextWritesNothing) {
  Put(kFull);
  Script s;
  EXPECT_EQ(Compute(s, true), kFull);
  EXPECT_EQ(s.sleeps, 0);
  EXPECT_EQ(Get(L"m2_old"), "<missing>");
}

TEST_F(Mid2Cache, InvalidEntriesAreIgnoredAndNeverCopied) {
  const std::string good = Expected(std::string(40, '1'), 0x2b);
  std::string wrong_check = good;
  wrong_check[43] = wrong_check[43] == '0' ? '1' : '0';
  std::string not_hex = good;
  not_hex[43] = 'g';
  struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"wrong check digits", wrong_check},
      {"check pair not hex", not_hex},
      {"43 characters", good.substr(0, 43)},
      {"45 characters", good + "0"},
  };
  for (const auto& c : cases) {
    for (bool elevated : {false, true}) {
      SetUp();
      Put(c.text);
      EXPECT_FALSE(identity::ReadMid2Cache(key_).valid) << c.what;
      Script s;
      std::string expected = elevated ? kFull : Expected("eeeeeeee" + kSha.substr(8), 0x2b);
      EXPECT_EQ(Compute(s, elevated), expected) << c.what;
      EXPECT_EQ(Get(L"m2"), expected) << c.what;
      EXPECT_EQ(Get(L"m2_old"), "<missing>") << c.what;
    }
  }
}

TEST_F(Mid2Cache, OnlyAPlainStringWithItsTerminatorIsValid) {
  const std::string good = Expected(std::string(40, '1'), 0x2b);
  std::wstring w(good.begin(), good.end());
  PutRaw(REG_BINARY, w, DWORD((w.size() + 1) * 2));
  EXPECT_FALSE(identity::ReadMid2Cache(key_).valid) << "binary";
  PutRaw(REG_EXPAND_SZ, w, DWORD((w.size() + 1) * 2));
  EXPECT_FALSE(identity::ReadMid2Cache(key_).valid) << "expandable";
  std::wstring padded = w + L'\0' + L'x';
  PutRaw(REG_SZ, padded, DWORD((padded.size() + 1) * 2));
  EXPECT_FALSE(identity::ReadMid2Cache(key_).valid) << "data after the terminator";
  Put(good);
  identity::Mid2Cache cache = identity::ReadMid2Cache(key_);
  EXPECT_TRUE(cache.valid);
  EXPECT_EQ(cache.text, good);
  EXPECT_FALSE(cache.fallback);
}

TEST_F(Mid2Cache, NotElevatedGetsEeeeeeeeUnlessFallback) {
  Script s;
  std::string mid2 = Compute(s, false);
  EXPECT_EQ(mid2, Expected("eeeeeeee" + kSha.substr(8), 0x2b));
  EXPECT_NE(mid2, kFull);
  Script none;
  none.first = none.second = identity::kMid2Processor;
  SetUp();
  EXPECT_EQ(Compute(none, false), Expected(kGuidId, 0x10));  // a GUID id keeps its "ffffffff"
}

TEST_F(Mid2Cache, NoNetworkNorDiskFallsBackOnceAndReusesIt) {
  Script s;
  s.first = s.second = identity::kMid2Processor;
  const std::string fallback = Expected(kGuidId, 0x10);
  EXPECT_EQ(Compute(s, true), fallback);
  EXPECT_EQ(fallback.substr(40, 2), "10");
  EXPECT_EQ(s.sleeps, 1);
  EXPECT_EQ(s.slept, 500u);
  EXPECT_EQ(s.collects, 2);
  EXPECT_EQ(s.guids, 1);
  EXPECT_EQ(Get(L"m2"), fallback);
  EXPECT_TRUE(identity::ReadMid2Cache(key_).fallback);

  Script again;
  again.first = again.second = identity::kMid2Processor;
  EXPECT_EQ(Compute(again, true), fallback);
  EXPECT_EQ(again.guids, 0);  // no new GUID drawn
  EXPECT_EQ(again.sleeps, 0);
  EXPECT_EQ(Get(L"m2_old"), "<missing>");
}

TEST_F(Mid2Cache, FailedGuidGivesFortyZerosWithTheCollectedFlags) {
  Script s;
  s.first = s.second = identity::kMid2Processor;
  s.guid_ok = false;
  EXPECT_EQ(Compute(s, false), Expected(std::string(40, '0'), 0x08));
}

TEST_F(Mid2Cache, AComponentFoundOnTheSecondLookJoinsTheDigest) {
  Script s;
  s.first = identity::kMid2Disk | identity::kMid2Processor;
  EXPECT_EQ(Compute(s, true), kFull);
  EXPECT_EQ(s.sleeps, 1);
  EXPECT_EQ(Get(L"m2"), kFull);
}

TEST_F(Mid2Cache, StillMissingAfterThePauseKeepsTheFirstGeneration) {
  const std::string cached = kFull;  // made when the network card was still there
  Put(cached);
  Script s;
  s.first = s.second = identity::kMid2Disk | identity::kMid2Processor;
  const std::string expected = Expected(identity::Sha1Hex(std::string(kDisk) + kCpu), 0x2a);
  EXPECT_EQ(Compute(s, true), expected);
  EXPECT_EQ(s.sleeps, 1);
  EXPECT_EQ(s.guids, 0);
  EXPECT_EQ(Get(L"m2"), expected);
  EXPECT_EQ(Get(L"m2_old"), cached);
}

TEST_F(Mid2Cache, HardwareAppearingReplacesACachedFallback) {
  const std::string fallback = Expected(kGuidId, 0x10);
  Put(fallback);
  Script s;
  EXPECT_EQ(Compute(s, true), kFull);
  EXPECT_EQ(Get(L"m2"), kFull);
  EXPECT_EQ(Get(L"m2_old"), fallback);
}

TEST_F(Mid2Cache, AChangeOnlyInLetterCaseIsNotKeptAside) {
  Put(Lower(kFull));
  EXPECT_TRUE(identity::WriteMid2Cache(key_, kFull, Lower(kFull)));
  EXPECT_EQ(Get(L"m2_old"), "<missing>");
  std::string upper = kFull;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(identity::WriteMid2Cache(key_, kFull, upper));
  EXPECT_EQ(Get(L"m2_old"), "<missing>");
  EXPECT_TRUE(identity::WriteMid2Cache(key_, kFull, ""));
  EXPECT_EQ(Get(L"m2_old"), "<missing>");
}

TEST(FinishMid2, FlagsPairThenCheckPairOverIdAndFlags) {
  const std::string id(40, 'a');
  std::string text = identity::FinishMid2(id, 0x2b);
  ASSERT_EQ(text.size(), 44u);
  EXPECT_EQ(text.substr(0, 42), id + "2b");
  char check[3];
  std::snprintf(check, sizeof(check), "%02x", identity::Crc8Maxim(text.data(), 42));
  EXPECT_EQ(text.substr(42), check);
  EXPECT_EQ(identity::FinishMid2(id, 0x0a).substr(40, 2), "0a");
}

TEST(IsElevatedBy, OnlyAnAnsweringTokenOnVistaOrLaterCanSayNo) {
  struct {
    identity::ElevationFacts facts;
    bool elevated;
  } cases[] = {
      {{true, 6, true, true, false}, false},
      {{true, 10, true, true, false}, false},
      {{true, 10, true, true, true}, true},
      {{true, 5, true, true, false}, true},   // XP has no elevation
      {{false, 0, true, true, false}, true},  // version unknown
      {{true, 6, false, false, false}, true},  // token not opened
      {{true, 6, true, false, false}, true},   // query failed
  };
  for (const auto& c : cases)
    EXPECT_EQ(identity::IsElevatedBy(c.facts), c.elevated) << c.facts.major << c.facts.tokenOpened << c.facts.queryOk;
}

TEST(PairSwap, SwapsPairsAfterMovingLeadingBlanks) {
  const char* cases[][2] = {
      {"", ""},          {"a", "a"},       {"abc", "abc"},   {"badc", "abcd"},
      {"  dcba", "cdab"}, {" abc", " abc"}, {"  ab", "ba"},   {"    ", "    "},
      {" abcd ", " abcd "},  // five bytes after one blank: odd, unchanged
  };
  for (const auto& c : cases) {
    std::string text = c[0];
    identity::PairSwap(text);
    EXPECT_EQ(text, c[1]) << '"' << c[0] << '"';
  }
}

TEST(ConvertStorageSerial, LengthHexAndOldWindowsSwap) {
  struct {
    const char* raw;
    bool old_windows;
    const char* expected;
  } cases[] = {
      {"abc", false, ""},                                          // too short
      {"0123456789012345678901234567890123456789X", false, ""},    // 41: too long
      {"WD-WCC4E1234567", false, "WD-WCC4E1234567"},
      {"  S3Z9NB0K  ", false, "S3Z9NB0K"},                         // trimmed
      {"53335a394e42304b3132333435360000000000000", false, ""},    // 41 again
      {"53335a394e42304b313233343536000000000000", false, "S3Z9NB0K123456"},  // 40 hex digits
      {"53335a394e42304b313233343536000000000000", true, "3S9ZBNK0214365"},
      {"3SZ9BNK0", true, "S39ZNB0K"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(identity::ConvertStorageSerial(c.raw, c.old_windows), c.expected) << c.raw << c.old_windows;
}

TEST(ClassifyCardMedium, ExtendedAnswerFirstThenPlain) {
  struct {
    identity::MediumAnswers a;
    bool registry_wireless;
    int expected;  // 1 wireless, 0 wired, -1 rejected
  } cases[] = {
      {{true, 1, false, 0}, false, 1},   {{true, 9, false, 0}, false, 1},
      {{true, 14, true, 1}, false, 0},   {{true, 14, false, 0}, true, 1},  // 802.3 keeps the class key's word
      {{true, 4, true, 0}, false, -1},   // any other extended medium
      {{true, 0, true, 9}, false, 1},    // extended 0: the plain answer decides
      {{false, 0, true, 2}, false, -1},  {{false, 0, true, 18}, false, -1},
      {{false, 0, true, 0}, true, 0},    // unspecified medium counts as wired
      {{false, 0, true, 11}, false, 0},
      {{false, 0, false, 0}, true, 1},   {{false, 0, false, 0}, false, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(identity::ClassifyCardMedium(c.a, c.registry_wireless), c.expected)
        << c.a.exOk << ' ' << c.a.ex << ' ' << c.a.plainOk << ' ' << c.a.plain;
}

TEST(Mid2ProcessorTextFrom, VendorSignatureBrandTrimmed) {
  EXPECT_EQ(identity::Mid2ProcessorTextFrom("GenuineIntel", 0x906ea, "  Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"),
            "GenuineIntel,906ea,Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
  EXPECT_EQ(identity::Mid2ProcessorTextFrom("GenuineIotel", 0x306c3, ""), "GenuineIntel,306c3,");
  EXPECT_EQ(identity::Mid2ProcessorTextFrom("AuthenticAMD", 0, "AMD Ryzen 5 3600 6-Core Processor   "),
            "AuthenticAMD,0,AMD Ryzen 5 3600 6-Core Processor");
}

TEST(CMvkMID2, ComputesOnceRetriesAfterFailureAndCopies) {
  int calls = 0;
  std::string next;
  identity::CMvkMID2 object([&] {
    ++calls;
    return next;
  });
  wchar_t buffer[64];
  next = "";
  EXPECT_EQ(object.GetMID2(buffer, 64), E_FAIL);
  next = std::string(50, 'a');  // does not fit in 49 characters
  EXPECT_EQ(object.GetMID2(buffer, 64), E_FAIL);
  next = kFull;
  EXPECT_EQ(object.GetMID2(buffer, 64), S_OK);
  EXPECT_EQ(std::wstring(buffer), std::wstring(kFull.begin(), kFull.end()));
  next = "other";
  EXPECT_EQ(object.GetMID2(buffer, 64), S_OK);
  EXPECT_EQ(calls, 3);  // not again once computed
  EXPECT_EQ(std::wstring(buffer), std::wstring(kFull.begin(), kFull.end()));
  wchar_t small[10];
  EXPECT_EQ(object.GetMID2(small, 10), S_OK);  // a direct caller's short buffer is not overrun
  EXPECT_EQ(std::wstring(small), std::wstring(kFull.begin(), kFull.begin() + 9));
}

TEST(CMvkMID2, InterfacesAndConstantReferenceCounts) {
  identity::CMvkMID2 object([] { return std::string(); });
  void* p = nullptr;
  ASSERT_EQ(object.QueryInterface(identity::IID_INewMID, &p), S_OK);
  EXPECT_EQ(p, static_cast<identity::INewMID*>(&object));
  ASSERT_EQ(object.QueryInterface(identity::IID_IExtend, &p), S_OK);
  EXPECT_EQ(p, static_cast<identity::IExtend*>(&object));
  ASSERT_EQ(object.QueryInterface(IID_IUnknown, &p), S_OK);
  EXPECT_EQ(p, static_cast<identity::IExtend*>(&object));
  EXPECT_EQ(object.QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(object.AddRef(), 2u);
  EXPECT_EQ(object.Release(), 1u);
  identity::IExtend* extend = &object;
  EXPECT_EQ(extend->Extend1(0, 0), E_NOTIMPL);
  EXPECT_EQ(extend->Extend7(1, 2, 3), E_NOTIMPL);
  EXPECT_EQ(extend->Extend8(1, 0, 2, 3), E_NOTIMPL);
}

TEST(GetMid2, RefusesSmallBuffersAndGivesACheckedText) {
  wchar_t buffer[60];
  EXPECT_EQ(GetMid2(nullptr, 50), E_INVALIDARG);
  EXPECT_EQ(GetMid2(buffer, 49), E_INVALIDARG);
  ASSERT_EQ(GetMid2(buffer, 50), S_OK);
  std::wstring w = buffer;
  ASSERT_EQ(w.size(), 44u);
  std::string text(w.begin(), w.end());
  EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos) << text;
  char check[3];
  std::snprintf(check, sizeof(check), "%02x", identity::Crc8Maxim(text.data(), 42));
  EXPECT_EQ(text.substr(42), check);
  unsigned flags = std::stoul(text.substr(40, 2), nullptr, 16);
  if (text.compare(0, 8, "ffffffff") == 0) {
    EXPECT_EQ(flags, 0x10u) << text;
  } else if (flags & 0x20) {
    EXPECT_NE(flags & 0x03, 0u) << text;
  }
  if (identity::ProcessIsElevated()) {
    EXPECT_NE(text.compare(0, 8, "eeeeeeee"), 0) << text;
  }
  wchar_t again[50];
  ASSERT_EQ(GetMid2(again, 50), S_OK);
  EXPECT_EQ(std::wstring(again), w);  // once per process
  identity::Mid2Cache cache = identity::ReadMid2Cache(identity::DefaultMid2CacheKey());
  if (cache.valid) {
    EXPECT_EQ(cache.text, text);
  }
}

}  // namespace
