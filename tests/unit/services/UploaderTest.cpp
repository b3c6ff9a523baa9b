// The answer upload: DES, the line-broken Base64, the JSON template and the form request.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "services/Codecs.h"
#include "services/Statistic.h"
#include "services/Uploader.h"
#include "tests/unit/TestSupport.h"
#include "tests/unit/product/LoopbackServer.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char k[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) { out += k[c >> 4]; out += k[c & 15]; }
  return out;
}

TEST(UploadCipher, DesMatchesTheStandardAndPadsAsPkcs5) {
  const unsigned char key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  std::string cipher;
  ASSERT_TRUE(DesEcbPkcs5Encrypt(std::string("\x01\x23\x45\x67\x89\xAB\xCD\xEF", 8), key, &cipher));
  ASSERT_EQ(cipher.size(), 16u);  // a whole block of padding follows
  EXPECT_EQ(Hex(cipher.substr(0, 8)), "85e813540f0ab405");
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 16u, 100u}) {
    std::string plain(n, 'a'), back;
    ASSERT_TRUE(DesEcbPkcs5Encrypt(plain, reinterpret_cast<const unsigned char*>(kUploadCipherKey), &cipher));
    EXPECT_EQ(cipher.size(), (n / 8 + 1) * 8) << n;
    ASSERT_TRUE(DesEcbPkcs5Decrypt(cipher, reinterpret_cast<const unsigned char*>(kUploadCipherKey), &back));
    EXPECT_EQ(back, plain);
  }
  // ECB: equal blocks encrypt alike.
  ASSERT_TRUE(DesEcbPkcs5Encrypt(std::string(16, 'z'), key, &cipher));
  EXPECT_EQ(cipher.substr(0, 8), cipher.substr(8, 8));
}

TEST(UploadCipher, Base64BreaksAfterEveryCompleteRunOf76) {
  struct Case { size_t bytes; size_t length; size_t breaks; bool ends_with_break; } cases[] = {
      {30, 40, 0, false}, {57, 78, 1, true}, {58, 82, 1, false}, {114, 156, 2, true}, {0, 0, 0, false},
  };
  for (const Case& c : cases) {
    std::string data(c.bytes, '\x5a');
    std::string text = Base64EncodeLines76(data);
    EXPECT_EQ(text.size(), c.length) << c.bytes;
    EXPECT_EQ(test_support::CountOf(text, "\r\n"), c.breaks) << c.bytes;
    EXPECT_EQ(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n", c.ends_with_break) << c.bytes;
    std::string flat = text, back;
    for (size_t at; (at = flat.find("\r\n")) != std::string::npos;) flat.erase(at, 2);
    ASSERT_TRUE(Base64Decode(flat, back));
    EXPECT_EQ(back, data);
  }
}

TEST(UploadCipher, JsonTemplateWithItsTabs) {
  std::wstring empty = BuildUploadJson(L"", L"", L"", L"", L"");
  EXPECT_EQ(empty, L"{\"mid\":\"\",\t\"appver\":\"\", \t\"modver\":\"\", \t\"check\":\"\", \t\"contact\":\"\" \t}");
  EXPECT_EQ(empty.size() + 5 + 8 + 8 + 7 + 9, 104u);  // the template with its placeholders
  EXPECT_EQ(BuildUploadJson(L"m", L"1.0", L"2.0", L"2,4", L"q\"{MID}"),
            L"{\"mid\":\"m\",\t\"appver\":\"1.0\", \t\"modver\":\"2.0\", \t\"check\":\"2,4\", \t\"contact\":\"q\"{MID}\" \t}");
}

TEST(UploadCipher, FieldIsEmptyWhenItWouldNotFit) {
  std::string small = EncodeUploadField(BuildUploadJson(L"m", L"1", L"2", L"1", L"x"));
  EXPECT_FALSE(small.empty());
  EXPECT_TRUE(EncodeUploadField(BuildUploadJson(L"m", L"1", L"2", L"1", std::wstring(900, L'x'))).empty());
  EXPECT_EQ(ImageContentType(L"a.JPG"), "image/jpeg");
  EXPECT_EQ(ImageContentType(L"a.b.png"), "image/png");
  EXPECT_EQ(ImageContentType(L"noext"), "");
}

bool TrustAll(const wchar_t*) { return true; }

std::string FormValue(const std::string& body, const std::string& name) {
  std::string key = name + "=";
  size_t at = body.find(key);
  if (at == std::string::npos) return "";
  std::string v = body.substr(at + key.size(), body.find('&', at) == std::string::npos ? std::string::npos
                                                                                       : body.find('&', at) - at - key.size());
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '+') {
      out += ' ';
    } else if (v[i] == '%' && i + 2 < v.size()) {
      out += static_cast<char>(std::stoi(v.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += v[i];
    }
  }
  return out;
}

TEST(Upload, AnswersArriveEncryptedAndNothingIsSentWithoutAnswers) {
  test_support::LoopbackServer server([](const test_support::HttpRequestSeen&) {
    test_support::HttpReplyPlan p;
    p.body = "ok";
    return p;
  });
  ASSERT_TRUE(server.ok());
  CUpLoadMgr* manager = CUpLoadMgr::Instance();
  EXPECT_FALSE(manager->LoadHttpLibrary((test_support::ExeDir() + L"VuzOD.dll").c_str(), nullptr));  // untrusted
  ASSERT_TRUE(manager->LoadHttpLibrary((test_support::ExeDir() + L"VuzOD.dll").c_str(), &TrustAll));
  {
    CUploader uploader;
    EXPECT_TRUE(uploader.UploadAnswers(L"", L""));
    EXPECT_TRUE(uploader.UploadAnswers(L"2,4", L"qq 12345"));
    for (int i = 0; i < 200 && server.Requests().empty(); ++i) ::Sleep(20);
  }
  ::Sleep(300);
  auto seen = server.Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "POST");
  std::string target = seen[0].target;
  if (target.find(":80/") != std::string::npos) target.erase(target.find(":80/"), 3);
  EXPECT_EQ(target, "http://up.lumetta-soft.com/inst/uninst.php?from=tarvo");
  std::string field = FormValue(seen[0].body, "unint_ask");
  for (size_t at; (at = field.find("\r\n")) != std::string::npos;) field.erase(at, 2);
  std::string cipher, plain;
  ASSERT_TRUE(Base64Decode(field, cipher));
  ASSERT_TRUE(DesEcbPkcs5Decrypt(cipher, reinterpret_cast<const unsigned char*>(kUploadCipherKey), &plain));
  wchar_t mid[260] = {}, modver[260] = {};
  CStatistic::Instance()->GetMid(mid, 260);
  CStatistic::Instance()->GetFileVersion(RunningExePath().c_str(), modver, 260);
  EXPECT_EQ(codecs::Utf8ToWide(plain), BuildUploadJson(mid, L"", modver, L"2,4", L"qq 12345"));
}

}  // namespace
