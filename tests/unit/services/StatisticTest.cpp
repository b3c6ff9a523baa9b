// Report URLs, the OEM host rewrite and the reporter's rules, without sending anything.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "services/Codecs.h"
#include "services/ReportUrl.h"
#include "services/Statistic.h"

namespace {

using services::ReportValues;

TEST(ReportUrl, TemplateAndPlaceholderOrder) {
  struct Case { ReportValues v; const wchar_t* extra; std::wstring url; } cases[] = {
      {{L"tarvo", L"uninstall_1", L"1.2.3.4", L"9.9.9.9", L"m1", L"m2", L"p"}, nullptr,
       L"http://h/tarvo?pid=p&type=tarvo&action=uninstall_1&appver=1.2.3.4&mid=m1&mid2=m2"},
      // Values go in as they are, and the extra text is appended verbatim.
      {{L"t", L"a b&c=d", L"", L"", L"", L"", L"x y"}, L"&ex1=Explorer&ex2=6.1",
       L"http://h/tarvo?pid=x y&type=t&action=a b&c=d&appver=&mid=&mid2=&ex1=Explorer&ex2=6.1"},
      // A value holding a later placeholder is expanded by that later step; an earlier one is not.
      {{L"{mid}", L"{type}", L"{modver}", L"MOD", L"M", L"{pid}", L"{type}"}, nullptr,
       L"http://h/tarvo?pid={type}&type=M&action={type}&appver=MOD&mid=M&mid2={type}"},
  };
  for (const Case& c : cases) EXPECT_EQ(services::BuildReportUrl(L"h", c.v, c.extra), c.url);
}

TEST(ReportUrl, HostOfUrlAndItsReplacement) {
  struct Case { const wchar_t* url; const wchar_t* host; const wchar_t* rewritten; } cases[] = {
      {L"http://stat.a.com/tarvo?x=1", L"stat.a.com", L"http://oem.b.net/tarvo?x=1"},
      {L"http://stat.a.com:8080/t", L"stat.a.com", L"http://oem.b.net:8080/t"},
      {L"http://stat.a.com", L"stat.a.com", L"http://oem.b.net"},
      {L"http://stat.a.com/t?ref=stat.a.com", L"stat.a.com", L"http://oem.b.net/t?ref=oem.b.net"},
      {L"://stat.a.com/t", L"", L"://stat.a.com/t"},
      {L"stat.a.com/t", L"", L"stat.a.com/t"},
      {L"http://:80/t", L":80", L"http://oem.b.net/t"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(services::UrlHost(c.url), c.host) << c.url;
    EXPECT_EQ(services::ReplaceUrlHost(c.url, L"oem.b.net"), c.rewritten) << c.url;
  }
}

TEST(ReportUrl, FileVersionTextIsCutToCapacity) {
  EXPECT_EQ(services::FormatFileVersion(0x00020003, 0x0004000A, 260), L"2.3.4.10");
  EXPECT_EQ(services::FormatFileVersion(0xFFFF0000, 0x00000001, 260), L"65535.0.0.1");
  EXPECT_EQ(services::FormatFileVersion(0x00020003, 0x0004000A, 4), L"2.3");
  EXPECT_EQ(services::FormatFileVersion(0x00020003, 0x0004000A, 1), L"");
}

// The reporter with its sources and its transport replaced.
class RecordingStatistic : public CStatistic {
 public:
  bool SendUrl(const wchar_t* url, bool synchronous) override {
    sent.push_back(url);
    sync.push_back(synchronous);
    return true;
  }
  bool GetFileVersion(const wchar_t* path, wchar_t* out, size_t capacity) override {
    std::wstring p = path;
    const wchar_t* v = p.size() >= 10 && p.substr(p.size() - 10) == L"vantel.exe" ? L"5.6.7.8" : L"1.0.0.1";
    wcsncpy(out, v, capacity - 1);
    out[capacity - 1] = 0;
    ++version_lookups;
    return true;
  }
  void GetMid(wchar_t* out, size_t capacity) override { wcsncpy(out, L"0123456789abcdef0123456789abcdef", capacity); }
  bool GetMid2(wchar_t* out, size_t capacity) override {
    wcsncpy(out, mid2_ok ? L"MID2" : L"", capacity);
    return mid2_ok;
  }
  std::vector<std::wstring> sent;
  std::vector<bool> sync;
  int version_lookups = 0;
  bool mid2_ok = false;
};

TEST(Statistic, NothingIsSentWithoutActionOrType) {
  RecordingStatistic s;
  EXPECT_FALSE(s.Report(L"uninstall_1", nullptr, false));  // before SetType
  s.SetType(L"tarvo");
  EXPECT_FALSE(s.Report(L"", nullptr, false));
  EXPECT_FALSE(s.Report(nullptr, nullptr, false));
  EXPECT_FALSE(s.ReportAs(L"", L"x", nullptr, false));
  EXPECT_TRUE(s.sent.empty());
}

TEST(Statistic, ReportCarriesTheFilledValuesAndExtra) {
  RecordingStatistic s;
  s.SetType(L"tarvo");
  ASSERT_TRUE(s.Report(L"uninstall_from", L"&ex1=explorer&ex2=6.1", true));
  ASSERT_TRUE(s.ReportAs(L"other", L"silent_uninstall", nullptr, false));
  ASSERT_EQ(s.sent.size(), 2u);
  std::wstring pid = ReadProductPid();
  EXPECT_EQ(s.sent[0], L"http://stat.lumetta-soft.com/tarvo?pid=" + pid +
                           L"&type=tarvo&action=uninstall_from&appver=5.6.7.8&mid=0123456789abcdef0123456789abcdef"
                           L"&mid2=&ex1=explorer&ex2=6.1");
  EXPECT_NE(s.sent[1].find(L"&type=other&action=silent_uninstall&"), std::wstring::npos);
  EXPECT_EQ(s.sync, (std::vector<bool>{true, false}));
  EXPECT_EQ(s.module_version(), L"1.0.0.1");
}

TEST(Statistic, EmptyValuesAreLookedUpAgainKeptOnesAreNot) {
  RecordingStatistic s;
  s.SetType(L"tarvo");
  s.Report(L"a", nullptr, false);
  EXPECT_EQ(s.version_lookups, 2);  // application and module version
  s.Report(L"b", nullptr, false);
  EXPECT_EQ(s.version_lookups, 2);
  EXPECT_EQ(s.sent[1].substr(s.sent[1].size() - 6), L"&mid2=");
  s.mid2_ok = true;  // a second identifier that was missing is asked for again
  s.Report(L"c", nullptr, false);
  EXPECT_NE(s.sent[2].find(L"&mid2=MID2"), std::wstring::npos);
}

TEST(Statistic, FileVersionOfARealFileAndFailures) {
  CStatistic s;
  wchar_t system_dir[MAX_PATH];
  ::GetSystemDirectoryW(system_dir, MAX_PATH);
  wchar_t out[260] = L"untouched";
  ASSERT_TRUE(s.GetFileVersion((std::wstring(system_dir) + L"\\kernel32.dll").c_str(), out, 260));
  EXPECT_EQ(std::count(out, out + wcslen(out), L'.'), 3) << out;
  wcscpy(out, L"untouched");
  EXPECT_FALSE(s.GetFileVersion(L"C:\\no\\such\\file.exe", out, 260));
  EXPECT_STREQ(out, L"untouched");
  EXPECT_FALSE(s.Download(nullptr, nullptr, true));
}

// ---- OEM host map, from a scratch key under HKCU ----

class OemHostMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = L"Software\\LumettaUninstTests\\oem-" + std::to_wstring(::GetCurrentProcessId());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, app_.put(), nullptr), ERROR_SUCCESS);
    ASSERT_EQ(::RegCreateKeyExW(app_.get(), L"oemconfig", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, oem_.put(), nullptr), ERROR_SUCCESS);
  }
  void TearDown() override {
    app_.reset();
    oem_.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }
  static std::wstring Enc(const wchar_t* text) { return EncryptTextW(text, COemHostMap::kKeyText); }
  // Raw through ntdll: RegSetValueExW in Wine terminates string data by itself, and the map
  // must cope with values that other writers left unterminated.
  void SetString(HKEY key, const std::wstring& name, const std::wstring& value, bool with_nul = true, DWORD type = REG_SZ) {
    struct UnicodeString { USHORT Length, MaximumLength; PWSTR Buffer; };
    using NtSetValueKeyFn = LONG(NTAPI*)(HANDLE, UnicodeString*, ULONG, ULONG, PVOID, ULONG);
    auto set = reinterpret_cast<NtSetValueKeyFn>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    ASSERT_NE(set, nullptr);
    std::wstring n = name;
    UnicodeString us{static_cast<USHORT>(n.size() * 2), static_cast<USHORT>(n.size() * 2), &n[0]};
    DWORD bytes = static_cast<DWORD>((value.size() + (with_nul ? 1 : 0)) * sizeof(wchar_t));
    ASSERT_EQ(set(key, &us, 0, type, const_cast<wchar_t*>(value.c_str()), bytes), 0);
  }
  COemHostMap Loaded() {
    COemHostMap map;
    map.Load(L"tarvo", HKEY_CURRENT_USER, path_, 0);
    return map;
  }
  std::wstring path_;
  win::UniqueKey app_, oem_;
};

TEST_F(OemHostMapTest, EnabledMapRewritesTheStatisticsHostKeepingThePort) {
  SetString(app_.get(), L"oem_f", L"1");
  SetString(oem_.get(), Enc(L"statis"), Enc(L"stat.oem-partner.net"));
  SetString(oem_.get(), Enc(L"api"), Enc(L"api.oem-partner.net"), true, REG_EXPAND_SZ);
  SetString(oem_.get(), Enc(L"broken"), Enc(L"x.net"), false);       // no terminating NUL: skipped
  SetString(oem_.get(), L"not-base64!", Enc(L"y.net"));               // name does not decode: skipped
  SetString(oem_.get(), Enc(L"empty"), L"");                          // empty data: skipped
  COemHostMap map = Loaded();
  ASSERT_TRUE(map.enabled());
  EXPECT_EQ(map.entries().size(), 2u);
  EXPECT_EQ(map.Rewrite(L"statis", L"http://stat.lumetta-soft.com:8080/tarvo?a=1"),
            L"http://stat.oem-partner.net:8080/tarvo?a=1");
  EXPECT_EQ(map.Rewrite(L"Statis", L"http://stat.lumetta-soft.com/tarvo"), L"http://stat.lumetta-soft.com/tarvo");
  EXPECT_EQ(map.Rewrite(L"other", L"http://stat.lumetta-soft.com/tarvo"), L"http://stat.lumetta-soft.com/tarvo");
}

TEST_F(OemHostMapTest, FlagRulesDecideWhetherEntriesCount) {
  SetString(oem_.get(), Enc(L"statis"), Enc(L"stat.oem-partner.net"));
  struct Case { const wchar_t* flag; bool nul; DWORD type; bool enabled; } cases[] = {
      {L"1", true, REG_SZ, true},   {L"1", true, REG_EXPAND_SZ, true}, {L"0", true, REG_SZ, false},
      {L"", true, REG_SZ, false},   {L"1", false, REG_SZ, false},     {L"11", true, REG_SZ, false},
      {nullptr, true, REG_SZ, false},
  };
  for (const Case& c : cases) {
    ::RegDeleteValueW(app_.get(), L"oem_f");
    if (c.flag) SetString(app_.get(), L"oem_f", c.flag, c.nul, c.type);
    COemHostMap map = Loaded();
    EXPECT_EQ(map.enabled(), c.enabled) << (c.flag ? c.flag : L"(none)") << " nul=" << c.nul;
    std::wstring expect = c.enabled ? L"http://stat.oem-partner.net/t" : L"http://stat.lumetta-soft.com/t";
    EXPECT_EQ(map.Rewrite(L"statis", L"http://stat.lumetta-soft.com/t"), expect);
  }
  DWORD one = 1;
  ::RegSetValueExW(app_.get(), L"oem_f", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
  EXPECT_FALSE(Loaded().enabled());
}

}  // namespace
