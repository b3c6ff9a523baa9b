// Reply parsing, POST and wait, the uninstall report and the leaving-reason options, the network
// parts against a loopback server on the prefix's proxy port through VuzOD.dll.
#include <windows.h>

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "services/Codecs.h"
#include "services/ServiceRequests.h"
#include "services/Statistic.h"
#include "tests/unit/TestSupport.h"
#include "tests/unit/product/LoopbackServer.h"

using test_support::HttpReplyPlan;
using test_support::HttpRequestSeen;
using test_support::LoopbackServer;

namespace {

TEST(ServiceJson, MemberAccessFunctions) {
  cJSON* o = cJSON_Parse(R"({"Errno":0,"s":"txt","n":"12ab","b":false,"t":true,"f":1.9,"neg":"-3","Name":"x"})");
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(JsonGetInt(o, "errno", 7), 0);  // lookup ignores letter case
  EXPECT_EQ(JsonGetInt(o, "s", 7), 7);
  EXPECT_EQ(JsonGetInt(o, "f", 7), 1);
  EXPECT_EQ(JsonGetString(o, "S", "d"), "txt");
  EXPECT_EQ(JsonGetString(o, "errno", "d"), "d");
  EXPECT_FALSE(JsonGetBool(o, "b", true));
  EXPECT_TRUE(JsonGetBool(o, "t", false));
  EXPECT_TRUE(JsonGetBool(o, "errno", true));
  EXPECT_EQ(JsonGetIntFromString(o, "n", "5"), 12);
  EXPECT_EQ(JsonGetIntFromString(o, "errno", "5"), 5);  // a number is not a text
  EXPECT_EQ(JsonGetIntFromString(o, "neg", "5"), 0);
  EXPECT_EQ(JsonGetStringW(o, "Name"), L"x");
  EXPECT_EQ(JsonGetStringW(o, "name"), L"");  // exact names only
  EXPECT_EQ(JsonGetInt(nullptr, "errno", 4), 4);
  EXPECT_EQ(JsonGetStringW(nullptr, "x"), L"");
  cJSON_Delete(o);
}

TEST(ServiceJson, ReasonsReplyTable) {
  struct Case { const char* body; bool ok; std::vector<int> list; } cases[] = {
      {R"({"errno":0,"data":"2,4"})", true, {2, 4}},
      {R"({"errno":0,"data":"3"})", true, {3}},
      {R"({"errno":0,"data":"x,5,"})", true, {0, 5, 0}},
      {R"({"errno":0,"data":""})", false, {}},
      {R"({"errno":0})", false, {}},
      {R"({"errno":"0","data":"2"})", false, {}},
      {R"({"errno":1,"data":"2"})", false, {}},
      {R"({"errno":0,"data":2})", false, {}},
      {R"({"data":"2"})", false, {}},
      {"<html>not json</html>", false, {}},
      {"[1,2]", false, {}},
      {"{\"errno\":0,\"data\":\"\xff\xfe,1\"}", true, {0, 1}},  // not UTF-8: still no crash
  };
  for (const Case& c : cases) {
    std::vector<int> list;
    EXPECT_EQ(ParseReasonsReply(c.body, &list), c.ok) << c.body;
    if (c.ok) {
      EXPECT_EQ(list, c.list) << c.body;
    }
  }
}

TEST(ServiceJson, QuestionnaireReplyTable) {
  struct Case { const char* body; bool ok; const wchar_t* url; } cases[] = {
      {R"({"errno":0,"data":{"uninstall_questionnaire":{"status":"1","url":"q.lumetta-soft.com/a?b=1"}}})", true,
       L"q.lumetta-soft.com/a?b=1"},
      {R"({"errno":0,"data":{"uninstall_questionnaire":{"status":"1","url":""}}})", true, L""},
      {R"({"errno":0,"data":{"uninstall_questionnaire":{"status":1,"url":"x"}}})", false, L""},
      {R"({"errno":0,"data":{"uninstall_questionnaire":{"status":"0","url":"x"}}})", false, L""},
      {R"({"errno":0,"data":{}})", false, L""},
      {R"({"errno":2,"data":{"uninstall_questionnaire":{"status":"1","url":"x"}}})", false, L""},
  };
  for (const Case& c : cases) {
    std::wstring url;
    EXPECT_EQ(ParseQuestionnaireReply(c.body, &url), c.ok) << c.body;
    if (c.ok) {
      EXPECT_EQ(url, c.url);
    }
  }
}

TEST(ServiceRequests, UrlsDefaultsAndTheReportBody) {
  EXPECT_EQ(BuildServiceUrl(L"api.x.com", L"/live/intf/GetConfig?appver=%s&modver=%s&pid=%s", L"1.2", L"3&4", L"p q"),
            L"http://api.x.com/live/intf/GetConfig?appver=1.2&modver=3&4&pid=p q");
  EXPECT_EQ(TrimBlanks(L"  vuridav01 \t"), L"vuridav01");
  struct Case { const wchar_t* pid; bool result; } cases[] = {
      {L"tarvo_home", true}, {L"RIREDUZ", true}, {L"kesto", true}, {L"vezazuz", true}, {L"zoraz", true},
      {L"SyStEm_01", true}, {L"system", true}, {L"syste", false}, {L"kesto2", false}, {L"", false}, {L"vuridav", false},
  };
  for (const Case& c : cases) EXPECT_EQ(UninstallReportDefault(c.pid), c.result) << c.pid;
  EXPECT_EQ(BuildUninstallInfoJson("set", L"p\"1", L"m", L"m2", L"1.0", L"2.0"),
            R"({"type":"set","pid":"p\"1","mid":"m","mid2":"m2","appver":"1.0","modver":"2.0","appname":"wp"})");
}

bool TrustAll(const wchar_t*) { return true; }

std::string FormValue(const std::string& body, const std::string& name) {
  std::string key = name + "=";
  size_t at = body.find(key);
  if (at == std::string::npos) return "";
  size_t end = body.find('&', at);
  std::string v = body.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '+') out += ' ';
    else if (v[i] == '%' && i + 2 < v.size()) { out += static_cast<char>(std::stoi(v.substr(i + 1, 2), nullptr, 16)); i += 2; }
    else out += v[i];
  }
  return out;
}

std::atomic<int> g_plan{0};
std::wstring g_mid2 = L"ffffffff00112233445566778899aabbccddeeff1030";
HRESULT FakeMid2(wchar_t* out, size_t capacity) {
  wcsncpy(out, g_mid2.c_str(), capacity - 1);
  out[capacity - 1] = 0;
  return S_OK;
}

HttpReplyPlan Route(const HttpRequestSeen& r) {
  HttpReplyPlan p;
  if (r.path == "/pc/ud/dogsun") {
    std::wstring json = DecryptTextW(codecs::Utf8ToWide(FormValue(r.body, "data")), kUninstallInfoKey);
    switch (g_plan.load()) {
      case 0: p.body = codecs::WideToUtf8(EncryptTextW(L"{\"ok\":\"" + g_mid2 + L"\",\"got\":" + json + L"}", kUninstallInfoKey)); break;
      case 1: p.body = codecs::WideToUtf8(EncryptTextW(L"{\"ok\":\"other\"}", kUninstallInfoKey)); break;
      case 2: p.body = codecs::WideToUtf8(EncryptTextW(g_mid2, kUninstallInfoKey)); break;  // at position 0
      case 3: p.body = "not base64 at all"; break;
    }
  } else if (r.path == "/post") {
    p.body = "reply:" + FormValue(r.body, "field");
  } else if (r.path == "/slow") {
    p.delay_ms = 3000;
    p.body = "late";
  } else if (r.path == "/fail") {
    p.status = 500;
    p.body = "no";
  } else if (r.path == "/live/intf/GetConfig") {
    switch (g_plan.load()) {
      case 0: p.body = R"({"errno":0,"data":{"uninstall_questionnaire":{"status":"1","url":"q.lumetta-soft.com/s?id=7"}}})"; break;
      case 1: p.body = R"({"errno":0,"data":{"uninstall_questionnaire":{"status":1,"url":"x"}}})"; break;
      case 2: p.status = 404; p.body = R"({"errno":0,"data":{"uninstall_questionnaire":{"status":"1","url":"x"}}})"; break;
    }
  } else if (r.path == "/live/intf/getUninstallOptions") {
    switch (g_plan.load()) {
      case 0: p.body = R"({"errno":0,"data":"2,4"})"; break;
      case 1: p.body = R"({"errno":"0","data":"2,4"})"; break;
      case 2: p.body = R"({"errno":0,"data":"3"})"; p.delay_ms = 2600; break;
      case 3: p.body = R"({"errno":0,"data":""})"; break;
    }
  }
  return p;
}

class ServiceNetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(LoadServiceBinding(test_support::ExeDir(), &TrustAll));
    SetMid2Source(&FakeMid2);
  }
  void SetUp() override {
    ASSERT_NE(LoopbackServer::ProxyPort(), 0);
    ASSERT_TRUE(server_.ok());
    g_plan = 0;
  }
  void TearDown() override {
    // Every task has been released by its owner.
    for (int i = 0; i < 250 && ServiceFactory()->LiveTaskCount(); ++i) ::Sleep(20);
    EXPECT_EQ(ServiceFactory()->LiveTaskCount(), 0);
  }
  LoopbackServer server_{&Route};
};

TEST_F(ServiceNetTest, BindingRefusesAnUntrustedOrMissingLibraryButKeepsTheLoadedOne) {
  EXPECT_TRUE(LoadServiceBinding(L"C:\\nowhere\\", &TrustAll));  // already bound
  EXPECT_NE(ServiceFactory(), nullptr);
}

TEST_F(ServiceNetTest, PostAndWaitReturnsTheReply) {
  std::string reply;
  ASSERT_TRUE(PostAndWait(L"http://api.lumetta-soft.com/post", L"field", L"\x4e2d x&y", &reply, 10000, nullptr));
  EXPECT_EQ(reply, "reply:\xE4\xB8\xAD x&y");
}

TEST_F(ServiceNetTest, PostAndWaitFailuresAndLimits) {
  std::string reply = "kept";
  EXPECT_FALSE(PostAndWait(L"http://api.lumetta-soft.com/post", L"f", L"v", &reply, 0, nullptr));
  EXPECT_TRUE(server_.Requests().empty());  // a zero time-out sends nothing
  EXPECT_FALSE(PostAndWait(L"http://api.lumetta-soft.com/fail", L"f", L"v", &reply, 10000, nullptr));
  DWORD start = ::GetTickCount();
  EXPECT_FALSE(PostAndWait(L"http://api.lumetta-soft.com/slow", L"f", L"v", &reply, 500, nullptr));
  EXPECT_LT(::GetTickCount() - start, 2000u);
  win::UniqueHandle abort(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  start = ::GetTickCount();
  EXPECT_FALSE(PostAndWait(L"http://api.lumetta-soft.com/slow", L"f", L"v", &reply, 10000, abort.get()));
  EXPECT_LT(::GetTickCount() - start, 1000u);
  EXPECT_EQ(reply, "kept");
}

TEST_F(ServiceNetTest, UninstallReportSendsEncryptedMembersAndChecksTheReply) {
  g_plan = 0;
  EXPECT_TRUE(ReportUninstallInfo("set", L"vuridav01", L"5.1.0.2"));
  auto seen = server_.Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].target.find("http://pub.lumetta-soft.com"), 0u);
  std::string json = codecs::WideToUtf8(DecryptTextW(codecs::Utf8ToWide(FormValue(seen[0].body, "data")), kUninstallInfoKey));
  wchar_t mid[260] = {};
  CStatistic::Instance()->GetMid(mid, 260);
  wchar_t modver[260] = {};
  CStatistic::Instance()->GetFileVersion(RunningExePath().c_str(), modver, 260);
  EXPECT_EQ(json, "{\"type\":\"set\",\"pid\":\"vuridav01\",\"mid\":\"" + codecs::WideToUtf8(mid) + "\",\"mid2\":\"" +
                      codecs::WideToUtf8(g_mid2) + "\",\"appver\":\"5.1.0.2\",\"modver\":\"" + codecs::WideToUtf8(modver) +
                      "\",\"appname\":\"wp\"}");
  for (int plan : {1, 2, 3}) {
    g_plan = plan;
    EXPECT_FALSE(ReportUninstallInfo("set", L"vuridav01", L"5.1.0.2")) << plan;
    EXPECT_FALSE(ReportUninstallInfo("set", L"system_x", L"5.1.0.2")) << plan;  // the reply decides when it came
  }
}

TEST_F(ServiceNetTest, UninstallReportDefaultsWhenTheServiceIsUnreachable) {
  server_.Stop();
  EXPECT_TRUE(ReportUninstallInfo("set", L"SYSTEM_01", L"1"));
  EXPECT_TRUE(ReportUninstallInfo("set", L"zoraz", L"1"));
  EXPECT_FALSE(ReportUninstallInfo("set", L"vuridav01", L"1"));
}

TEST_F(ServiceNetTest, LeavingReasonsFollowTheReplyTable) {
  struct Case { int plan; bool loaded; std::vector<int> list; } cases[] = {
      {0, true, {2, 4}}, {1, false, {1, 2, 3, 4}}, {2, false, {1, 2, 3, 4}}, {3, false, {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    g_plan = c.plan;
    UninstallFeedbackConfig config;
    config.RequestOptions();
    std::vector<int> list;
    DWORD start = ::GetTickCount();
    EXPECT_EQ(config.GetFeedback(&list), c.loaded) << c.plan;
    EXPECT_LT(::GetTickCount() - start, 2500u) << c.plan;
    EXPECT_EQ(list, c.list) << c.plan;
    config.Close();
  }
}

TEST_F(ServiceNetTest, QuestionnaireAddressComesFromTheConfigReply) {
  struct Case { int plan; const wchar_t* url; } cases[] = {{0, L"q.lumetta-soft.com/s?id=7"}, {1, L""}, {2, L""}};
  for (const Case& c : cases) {
    g_plan = c.plan;
    size_t before = server_.Requests().size();
    CUninstallConfig config;
    config.RequestConfig();
    for (int i = 0; i < 250 && server_.Requests().size() == before; ++i) ::Sleep(20);
    ::Sleep(300);
    EXPECT_EQ(config.GetQuestionnaireUrl(), c.url) << c.plan;
    config.Cancel();
    auto seen = server_.Requests();
    ASSERT_GT(seen.size(), before);
    EXPECT_EQ(seen.back().path, "/live/intf/GetConfig");
    EXPECT_EQ(seen.back().query.rfind("appver=", 0), 0u);
  }
}

TEST_F(ServiceNetTest, NoRequestNoWait) {
  UninstallFeedbackConfig config;  // never started: no event, no wait
  std::vector<int> list = {9};
  DWORD start = ::GetTickCount();
  EXPECT_FALSE(config.GetFeedback(&list));
  EXPECT_LT(::GetTickCount() - start, 100u);
  EXPECT_TRUE(list.empty());
}

}  // namespace
