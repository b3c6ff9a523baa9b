// VuzOD.dll as its users see it: loaded at run time, tasks against a loopback server that plays
// the product's hosts through the prefix's proxy setting.
#include <windows.h>
#include <tlhelp32.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "product/VuzOD/FormBody.h"
#include "product/VuzOD/HttpTask.h"
#include "tests/unit/TestSupport.h"
#include "tests/unit/product/LoopbackServer.h"

using test_support::HttpReplyPlan;
using test_support::HttpRequestSeen;
using test_support::LoopbackServer;

namespace {

// ---- pure body encodings ----

TEST(FormBody, UrlEncodingKeepsUnreservedAndEscapesTheRest) {
  struct Case { std::string in, out; } cases[] = {
      {"abcXYZ019-._~*", "abcXYZ019-._~*"},
      {"a b", "a+b"},
      {"x=1&y=2", "x%3D1%26y%3D2"},
      {"QmFz+ZQ==/", "QmFz%2BZQ%3D%3D%2F"},
      {"\xE4\xB8\xAD", "%E4%B8%AD"},
      {std::string("\0\r\n", 3), "%00%0D%0A"},
  };
  for (const Case& c : cases) EXPECT_EQ(vuzod::UrlEncodeComponent(c.in), c.out) << c.in;
  EXPECT_EQ(vuzod::EncodeForm({{"a", "1 2"}, {"b", ""}, {"c&", "="}}), "a=1+2&b=&c%26=%3D");
}

TEST(FormBody, Utf8FromWideHandlesSurrogatesAndStrays) {
  EXPECT_EQ(vuzod::Utf8FromWide(L"\x4e2d\x6587"), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(vuzod::Utf8FromWide(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(vuzod::Utf8FromWide(L"a\xDC00z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(vuzod::Utf8FromWide(nullptr), "");
}

TEST(FormBody, MultipartBoundaryAvoidsContentAndPartsAreComplete) {
  std::string probe = vuzod::ChooseBoundary({}, {}, 7);
  std::vector<vuzod::FormFile> files = {{"pic", "data" + probe + "tail", "a\"b.jpg", "image/jpeg"}};
  std::string boundary = vuzod::ChooseBoundary({{"k", "v"}}, files, 7);
  EXPECT_NE(boundary, probe);
  std::string body = vuzod::EncodeMultipart({{"k", "v"}}, files, boundary);
  EXPECT_EQ(body,
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n"
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"pic\"; filename=\"a%22b.jpg\"\r\n"
            "Content-Type: image/jpeg\r\n\r\ndata" + probe + "tail\r\n--" + boundary + "--\r\n");
}

TEST(FormBody, GzipRoundTripAndInflateLimit) {
  std::string text(100000, 'x');
  std::string packed, back;
  ASSERT_TRUE(vuzod::GzipCompress(text, &packed));
  EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x1f);
  EXPECT_LT(packed.size(), 1000u);
  ASSERT_TRUE(vuzod::InflateBounded(packed, text.size(), &back));
  EXPECT_EQ(back, text);
  EXPECT_FALSE(vuzod::InflateBounded(packed, text.size() - 1, &back));  // a bomb stops at the limit
  EXPECT_FALSE(vuzod::InflateBounded(packed.substr(0, packed.size() / 2), 1 << 20, &back));
  EXPECT_FALSE(vuzod::InflateBounded("not compressed", 1 << 20, &back));
}

// ---- the library ----

class Library {
 public:
  Library() : module_(::LoadLibraryW((test_support::ExeDir() + L"VuzOD.dll").c_str())) {
    if (!module_) return;
    init_ = HttpLibraryProc<HttpInitFn>(module_.get(), "HttpInit");
    uninit_ = HttpLibraryProc<HttpUninitFn>(module_.get(), "HttpUninit");
    if (init_) factory_ = init_();
  }
  ~Library() {
    if (uninit_ && factory_) uninit_(factory_);
  }
  HMODULE module() const { return module_.get(); }
  IHttpTaskFactory* factory() const { return factory_; }

 private:
  win::UniqueModule module_;
  HttpInitFn init_ = nullptr;
  HttpUninitFn uninit_ = nullptr;
  IHttpTaskFactory* factory_ = nullptr;
};

class Recorder : public IHttpTaskCallback {
 public:
  Recorder() : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  void OnTaskEvent(IHttpTask* task, const HttpTaskEvent* event) override {
    std::lock_guard<std::mutex> hold(mutex_);
    task_seen = task;
    statuses.push_back(event->status);
    threads.push_back(::GetCurrentThreadId());
    if (event->status >= kHttpTaskFinished) {
      http_status = event->http_status;
      error = event->error;
      body = event->body ? std::string(event->body, event->body_length) : std::string();
      body_is_null = event->body == nullptr;
      terminated = !event->body || event->body[event->body_length] == '\0';
      ::SetEvent(done_.get());
    }
    if (release_in_callback && event->status >= kHttpTaskFinished) task->Release();
  }
  bool Wait(DWORD ms) { return ::WaitForSingleObject(done_.get(), ms) == WAIT_OBJECT_0; }
  size_t EventCount() { std::lock_guard<std::mutex> hold(mutex_); return statuses.size(); }

  std::mutex mutex_;
  std::vector<DWORD> statuses;
  std::vector<DWORD> threads;
  IHttpTask* task_seen = nullptr;
  DWORD http_status = 0, error = 0;
  std::string body;
  bool body_is_null = false, terminated = false;
  bool release_in_callback = false;

 private:
  win::UniqueHandle done_;
};

HttpReplyPlan Route(const HttpRequestSeen& r) {
  HttpReplyPlan p;
  if (r.path == "/hello") {
    p.body = "hello";
  } else if (r.path == "/echo") {
    p.body = r.method + "\n" + r.Header("Content-Type") + "\n" + r.Header("Content-Encoding") + "\n" + r.body;
  } else if (r.path == "/slow") {
    p.delay_ms = static_cast<DWORD>(std::atoi(r.query.c_str()));
    p.body = "slow";
  } else if (r.path == "/never") {
    p.never = true;
  } else if (r.path == "/big") {
    p.body.assign(static_cast<size_t>(std::atoll(r.query.c_str())), 'b');
  } else if (r.path == "/redirect") {
    p.status = 302;
    p.extra_headers = "Location: http://api.lumetta-soft.com/hello\r\n";
  } else if (r.path == "/gzipped") {
    vuzod::GzipCompress(std::string(200000, 'z'), &p.body);
    p.extra_headers = "Content-Encoding: gzip\r\n";
  } else if (r.path == "/fail") {
    p.status = 500;
    p.body = "{\"errno\":1}";
  }
  return p;
}

class VuzODTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(LoopbackServer::ProxyPort(), 0) << "UNINST_TEST_PROXY_PORT not set";
    ASSERT_TRUE(server_.ok());
    ASSERT_NE(lib_.factory(), nullptr);
  }
  IHttpTask* NewTask() {
    IHttpTask* t = lib_.factory()->CreateTask();
    if (t) {
      t->SetOption("ungzip", 0);
      t->SetOption("gzip", 0);
    }
    return t;
  }
  // Live tasks and library threads drop back to zero once every task has ended.
  bool Drained(DWORD ms = 15000) {
    for (DWORD waited = 0; waited < ms; waited += 20) {
      if (lib_.factory()->LiveTaskCount() == 0 && lib_.factory()->LiveThreadCount() == 0) return true;
      ::Sleep(20);
    }
    return false;
  }

  LoopbackServer server_{&Route};
  Library lib_;
};

TEST_F(VuzODTest, ExportsAreUndecoratedAndZlibWorks) {
  const char* names[] = {"HttpInit", "HttpUninit", "zlib_uncompress", "zlib_compress", "zlib_compressBound"};
  for (const char* n : names) EXPECT_NE(::GetProcAddress(lib_.module(), n), nullptr) << n;
  auto bound = HttpLibraryProc<ZlibCompressBoundFn>(lib_.module(), "zlib_compressBound");
  auto pack = HttpLibraryProc<ZlibCompressFn>(lib_.module(), "zlib_compress");
  auto unpack = HttpLibraryProc<ZlibUncompressFn>(lib_.module(), "zlib_uncompress");
  std::string text(5000, 'q');
  std::vector<unsigned char> packed(bound(static_cast<unsigned long>(text.size())));
  unsigned long packed_len = static_cast<unsigned long>(packed.size());
  ASSERT_EQ(pack(packed.data(), &packed_len, reinterpret_cast<const unsigned char*>(text.data()),
                 static_cast<unsigned long>(text.size())), Z_OK);
  std::string back(text.size(), '\0');
  unsigned long back_len = static_cast<unsigned long>(back.size());
  ASSERT_EQ(unpack(reinterpret_cast<unsigned char*>(&back[0]), &back_len, packed.data(), packed_len), Z_OK);
  EXPECT_EQ(back, text);
  unsigned long small = 10;
  EXPECT_EQ(unpack(reinterpret_cast<unsigned char*>(&back[0]), &small, packed.data(), packed_len), Z_BUF_ERROR);
}

TEST_F(VuzODTest, GetDeliversOrderedEventsOnALibraryThread) {
  Recorder rec;
  IHttpTask* task = NewTask();
  ASSERT_NE(task, nullptr);
  task->SetCallback(&rec);
  ASSERT_TRUE(task->Start(kHttpGet, L"http://api.lumetta-soft.com/hello?x=a&b"));
  ASSERT_TRUE(rec.Wait(10000));
  EXPECT_EQ(rec.statuses, (std::vector<DWORD>{0, 1, 2}));
  EXPECT_EQ(rec.body, "hello");
  EXPECT_TRUE(rec.terminated);
  EXPECT_EQ(rec.http_status, 200u);
  EXPECT_EQ(rec.task_seen, task);
  for (DWORD tid : rec.threads) EXPECT_NE(tid, ::GetCurrentThreadId());
  EXPECT_FALSE(task->Start(kHttpGet, L"http://api.lumetta-soft.com/hello"));  // one request per task
  task->Release();
  auto seen = server_.Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "GET");
  std::string target = seen[0].target;
  size_t port = target.find(":80/");  // WinINet may spell out the default port to the proxy
  if (port != std::string::npos) target.erase(port, 3);
  EXPECT_EQ(target, "http://api.lumetta-soft.com/hello?x=a&b");
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, StartRefusesBadArguments) {
  IHttpTask* task = NewTask();
  ASSERT_NE(task, nullptr);
  EXPECT_FALSE(task->Start(kHttpGet, nullptr));
  EXPECT_FALSE(task->Start(1, L"http://api.lumetta-soft.com/hello"));
  EXPECT_FALSE(task->Start(kHttpGet, L"file:///c:/windows/win.ini"));
  EXPECT_FALSE(task->SetOption("no-such-option", 1));
  EXPECT_FALSE(task->AddHeader("X-A", "b\r\nInjected: 1"));
  task->Release();
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, FormPostIsUrlEncodedNarrowAsBytesWideAsUtf8) {
  Recorder rec;
  IHttpTask* task = NewTask();
  task->SetCallback(&rec);
  task->AddParam("data", "QmF+/z==");
  task->AddParamW(L"reason", L"\x4e2d 1&2");
  ASSERT_TRUE(task->Start(kHttpPostForm, L"http://pub.lumetta-soft.com/echo"));
  ASSERT_TRUE(rec.Wait(10000));
  EXPECT_EQ(rec.body, "POST\napplication/x-www-form-urlencoded\n\ndata=QmF%2B%2Fz%3D%3D&reason=%E4%B8%AD+1%262");
  task->Release();
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, FilesMakeTheFormMultipart) {
  Recorder rec;
  IHttpTask* task = NewTask();
  task->SetCallback(&rec);
  task->AddParam("unint_ask", "abc");
  const char bytes[] = {'\x00', '\xff', 'J', 'P'};
  task->AddFile("shot", bytes, sizeof(bytes), "s.jpg", "image/jpeg");
  ASSERT_TRUE(task->Start(kHttpPostForm, L"http://up.lumetta-soft.com/echo"));
  ASSERT_TRUE(rec.Wait(10000));
  task->Release();
  auto seen = server_.Requests();
  ASSERT_EQ(seen.size(), 1u);
  std::string type = seen[0].Header("Content-Type");
  ASSERT_EQ(type.rfind("multipart/form-data; boundary=", 0), 0u) << type;
  std::string boundary = type.substr(30);
  EXPECT_EQ(seen[0].body,
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"unint_ask\"\r\n\r\nabc\r\n"
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"shot\"; filename=\"s.jpg\"\r\n"
            "Content-Type: image/jpeg\r\n\r\n" + std::string(bytes, 4) + "\r\n--" + boundary + "--\r\n");
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, GzipOptionsCompressTheBodyAndInflateTheReply) {
  Recorder post;
  IHttpTask* task = lib_.factory()->CreateTask();
  task->SetOption("gzip", 1);
  task->SetCallback(&post);
  task->AddParam("k", "v");
  ASSERT_TRUE(task->Start(kHttpPostForm, L"http://api.lumetta-soft.com/echo"));
  ASSERT_TRUE(post.Wait(10000));
  task->Release();
  auto seen = server_.Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Header("Content-Encoding"), "gzip");
  std::string plain;
  ASSERT_TRUE(vuzod::InflateBounded(seen[0].body, 1000, &plain));
  EXPECT_EQ(plain, "k=v");

  for (int ungzip : {0, 1}) {
    Recorder get;
    IHttpTask* t = lib_.factory()->CreateTask();
    t->SetOption("ungzip", ungzip);
    t->SetCallback(&get);
    ASSERT_TRUE(t->Start(kHttpGet, L"http://api.lumetta-soft.com/gzipped"));
    ASSERT_TRUE(get.Wait(10000));
    t->Release();
    EXPECT_EQ(get.statuses.back(), 2u);
    if (ungzip) EXPECT_EQ(get.body, std::string(200000, 'z'));
    else EXPECT_EQ(static_cast<unsigned char>(get.body[0]), 0x1f);  // left as sent
  }
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, RedirectIsFollowed) {
  Recorder rec;
  IHttpTask* task = NewTask();
  task->SetCallback(&rec);
  ASSERT_TRUE(task->Start(kHttpGet, L"http://stat.lumetta-soft.com/redirect"));
  ASSERT_TRUE(rec.Wait(10000));
  EXPECT_EQ(rec.statuses.back(), 2u);
  EXPECT_EQ(rec.body, "hello");
  task->Release();
  EXPECT_EQ(server_.Requests().size(), 2u);
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, ReplySizeIsBounded) {
  struct Case { const wchar_t* url; int max_reply; DWORD status; size_t size; } cases[] = {
      {L"http://api.lumetta-soft.com/big?1048576", 0, 2, 1048576},
      {L"http://api.lumetta-soft.com/big?5000000", 0, 3, 0},
      {L"http://api.lumetta-soft.com/big?5000000", 6000000, 2, 5000000},
      {L"http://api.lumetta-soft.com/big?2000", 1000, 3, 0},
      {L"http://api.lumetta-soft.com/big?0", 0, 2, 0},
  };
  for (const Case& c : cases) {
    Recorder rec;
    IHttpTask* task = NewTask();
    if (c.max_reply) task->SetOption("max_reply", c.max_reply);
    task->SetCallback(&rec);
    ASSERT_TRUE(task->Start(kHttpGet, c.url));
    ASSERT_TRUE(rec.Wait(20000)) << c.url;
    EXPECT_EQ(rec.statuses.back(), c.status) << c.url;
    if (c.status == 2) {
      EXPECT_EQ(rec.body.size(), c.size) << c.url;
      EXPECT_TRUE(rec.terminated);
    } else {
      EXPECT_EQ(rec.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << c.url;
    }
    task->Release();
  }
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, ServerErrorFailsWithStatusAndBody) {
  Recorder rec;
  IHttpTask* task = NewTask();
  task->SetCallback(&rec);
  ASSERT_TRUE(task->Start(kHttpGet, L"http://api.lumetta-soft.com/fail"));
  ASSERT_TRUE(rec.Wait(10000));
  EXPECT_EQ(rec.statuses.back(), 3u);
  EXPECT_EQ(rec.http_status, 500u);
  EXPECT_EQ(task->GetHttpStatus(), 500u);
  EXPECT_EQ(rec.body, "{\"errno\":1}");
  task->Release();
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, TimeOutEndsASilentServerWithFailure) {
  Recorder rec;
  IHttpTask* task = NewTask();
  task->SetOption("timeout", 700);
  task->SetCallback(&rec);
  DWORD start = ::GetTickCount();
  ASSERT_TRUE(task->Start(kHttpGet, L"http://api.lumetta-soft.com/never"));
  bool ended = rec.Wait(10000);
  DWORD took = ::GetTickCount() - start;
  task->Release();  // before any assertion can leave the scope of the recorder
  ASSERT_TRUE(ended) << "no final event long after the time-out";
  EXPECT_EQ(rec.statuses.back(), 3u);
  EXPECT_TRUE(rec.body_is_null);
  EXPECT_GE(took, 600u);
  EXPECT_LT(took, 5000u);
  server_.Stop();
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, RefusedConnectionFails) {
  server_.Stop();  // nothing listens on the proxy port now
  Recorder rec;
  IHttpTask* task = NewTask();
  task->SetCallback(&rec);
  ASSERT_TRUE(task->Start(kHttpGet, L"http://api.lumetta-soft.com/hello"));
  ASSERT_TRUE(rec.Wait(20000));
  EXPECT_EQ(rec.statuses.back(), 3u);
  EXPECT_EQ(rec.http_status, 0u);
  EXPECT_NE(rec.error, 0u);
  task->Release();
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, ReleaseDuringARequestStopsCallbacksAndFreesEverything) {
  auto rec = std::make_unique<Recorder>();
  IHttpTask* task = NewTask();
  task->SetCallback(rec.get());
  ASSERT_TRUE(task->Start(kHttpGet, L"http://api.lumetta-soft.com/slow?1500"));
  for (int i = 0; i < 100 && server_.Requests().empty(); ++i) ::Sleep(20);
  ASSERT_EQ(server_.Requests().size(), 1u);
  size_t before = rec->EventCount();
  task->Release();
  // The callback object may go away right after Release: nothing may touch it.
  rec.reset(new Recorder);
  ::Sleep(2200);
  EXPECT_EQ(rec->EventCount(), 0u);
  EXPECT_LE(before, 1u);
  EXPECT_TRUE(Drained());
}

TEST_F(VuzODTest, ARequestReleasedRightAfterStartIsStillSent) {
  Recorder rec;
  IHttpTask* task = NewTask();
  task->SetCallback(&rec);
  task->AddParam("unint_ask", "x");
  ASSERT_TRUE(task->Start(kHttpPostForm, L"http://up.lumetta-soft.com/echo"));
  task->Release();  // fire and forget, as the upload manager does
  for (int i = 0; i < 250 && server_.Requests().empty(); ++i) ::Sleep(20);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].body, "unint_ask=x");
  EXPECT_TRUE(Drained());
  EXPECT_LE(rec.EventCount(), 1u);
}

TEST_F(VuzODTest, ReleaseFromInsideTheCallback) {
  Recorder rec;
  rec.release_in_callback = true;
  IHttpTask* task = NewTask();
  task->SetCallback(&rec);
  ASSERT_TRUE(task->Start(kHttpGet, L"http://api.lumetta-soft.com/hello"));
  ASSERT_TRUE(rec.Wait(10000));
  EXPECT_TRUE(Drained());
}

DWORD ThreadsOfThisProcess() {
  win::UniqueFile snap(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snap) return 0;
  THREADENTRY32 e{};
  e.dwSize = sizeof(e);
  DWORD count = 0;
  for (BOOL ok = ::Thread32First(snap.get(), &e); ok; ok = ::Thread32Next(snap.get(), &e)) {
    if (e.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
  }
  return count;
}

TEST_F(VuzODTest, ManyConcurrentTasksAllFinishWithoutLeakingThreads) {
  // Warm up WinINet's own helpers so that they do not count as leaked.
  {
    Recorder warm;
    IHttpTask* t = NewTask();
    t->SetCallback(&warm);
    ASSERT_TRUE(t->Start(kHttpGet, L"http://api.lumetta-soft.com/hello"));
    ASSERT_TRUE(warm.Wait(10000));
    t->Release();
    ASSERT_TRUE(Drained());
  }
  ::Sleep(200);
  const DWORD baseline = ThreadsOfThisProcess();
  constexpr int kTasks = 40;
  std::vector<std::unique_ptr<Recorder>> recs;
  std::vector<IHttpTask*> tasks;
  for (int i = 0; i < kTasks; ++i) {
    recs.push_back(std::make_unique<Recorder>());
    IHttpTask* t = NewTask();
    ASSERT_NE(t, nullptr);
    t->SetCallback(recs.back().get());
    t->AddParamW(L"i", std::to_wstring(i).c_str());
    ASSERT_TRUE(t->Start(i % 2 ? kHttpPostForm : kHttpGet,
                         i % 4 == 3 ? L"http://api.lumetta-soft.com/slow?300" : L"http://api.lumetta-soft.com/echo"));
    tasks.push_back(t);
  }
  EXPECT_GT(lib_.factory()->LiveThreadCount(), 0);
  for (int i = 0; i < kTasks; ++i) {
    ASSERT_TRUE(recs[i]->Wait(30000)) << i;
    EXPECT_EQ(recs[i]->statuses.back(), 2u) << i;
    if (i % 4 != 3) {
      std::string expect_tail = (i % 2 ? "POST" : "GET");
      EXPECT_EQ(recs[i]->body.rfind(expect_tail, 0), 0u) << i;
    }
  }
  for (IHttpTask* t : tasks) t->Release();
  EXPECT_TRUE(Drained());
  EXPECT_EQ(server_.Requests().size(), static_cast<size_t>(kTasks) + 1);
  DWORD after = baseline;
  for (int i = 0; i < 100; ++i) {
    after = ThreadsOfThisProcess();
    if (after <= baseline) break;
    ::Sleep(50);
  }
  EXPECT_LE(after, baseline);
}

}  // namespace
