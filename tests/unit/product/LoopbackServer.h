#pragma once
// A small HTTP server for unit tests, listening on the Wine prefix's proxy port: every WinINet
// request of the test process, for any host name, arrives here with its absolute URL.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

struct HttpRequestSeen {
  std::string method;
  std::string target;   // request line target (absolute URL through the proxy)
  std::string path;     // path without query
  std::string query;
  std::string headers;  // raw header lines
  std::string body;
  std::string Header(const std::string& name) const;  // value of a header, case-insensitive
};

struct HttpReplyPlan {
  int status = 200;
  std::string body;
  std::string extra_headers;  // complete lines with CR LF
  DWORD delay_ms = 0;         // before the status line is sent
  bool never = false;         // hold the connection without replying until the server stops
};

class LoopbackServer {
 public:
  using Handler = std::function<HttpReplyPlan(const HttpRequestSeen&)>;
  // Port 0: the prefix's proxy port from UNINST_TEST_PROXY_PORT.
  explicit LoopbackServer(Handler handler, unsigned short port = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool ok() const { return listener_ != ~static_cast<UINT_PTR>(0); }
  std::vector<HttpRequestSeen> Requests();
  void Stop();

  static unsigned short ProxyPort();

 private:
  void AcceptLoop();
  void Serve(UINT_PTR socket);

  Handler handler_;
  UINT_PTR listener_ = ~static_cast<UINT_PTR>(0);
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::vector<HttpRequestSeen> seen_;
  HANDLE stop_event_ = nullptr;
};

}  // namespace test_support
