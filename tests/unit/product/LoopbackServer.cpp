#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/unit/product/LoopbackServer.h"

#include <cstdlib>
#include <cstring>

namespace test_support {

namespace {
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::string HttpRequestSeen::Header(const std::string& name) const {
  std::string want = Lower(name) + ":";
  size_t pos = 0;
  while (pos < headers.size()) {
    size_t end = headers.find("\r\n", pos);
    if (end == std::string::npos) end = headers.size();
    std::string line = headers.substr(pos, end - pos);
    if (Lower(line.substr(0, want.size())) == want) {
      std::string v = line.substr(want.size());
      while (!v.empty() && v[0] == ' ') v.erase(0, 1);
      return v;
    }
    pos = end + 2;
  }
  return "";
}

unsigned short LoopbackServer::ProxyPort() {
  const char* text = std::getenv("UNINST_TEST_PROXY_PORT");
  return text ? static_cast<unsigned short>(std::atoi(text)) : 0;
}

LoopbackServer::LoopbackServer(Handler handler, unsigned short port) : handler_(std::move(handler)) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  stop_event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!port) port = ProxyPort();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  BOOL reuse = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(s, 64) != 0) {
    ::closesocket(s);
    return;
  }
  listener_ = s;
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  Stop();
  if (stop_event_) ::CloseHandle(stop_event_);
  ::WSACleanup();
}

void LoopbackServer::Stop() {
  if (stopping_.exchange(true)) return;
  if (stop_event_) ::SetEvent(stop_event_);
  if (listener_ != ~static_cast<UINT_PTR>(0)) {
    ::closesocket(static_cast<SOCKET>(listener_));
  }
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    workers.swap(workers_);
  }
  for (std::thread& t : workers) t.join();
}

std::vector<HttpRequestSeen> LoopbackServer::Requests() {
  std::lock_guard<std::mutex> hold(mutex_);
  return seen_;
}

void LoopbackServer::AcceptLoop() {
  for (;;) {
    SOCKET c = ::accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (c == INVALID_SOCKET) return;
    if (stopping_) { ::closesocket(c); return; }
    std::lock_guard<std::mutex> hold(mutex_);
    workers_.emplace_back([this, c] { Serve(c); });
  }
}

void LoopbackServer::Serve(UINT_PTR socket) {
  SOCKET s = static_cast<SOCKET>(socket);
  DWORD receive_timeout = 10000;
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receive_timeout), sizeof(receive_timeout));
  std::string data;
  char buf[8192];
  size_t header_end = std::string::npos;
  while ((header_end = data.find("\r\n\r\n")) == std::string::npos) {
    int got = ::recv(s, buf, sizeof(buf), 0);
    if (got <= 0) { ::closesocket(s); return; }
    data.append(buf, got);
  }
  HttpRequestSeen req;
  std::string head = data.substr(0, header_end);
  size_t line_end = head.find("\r\n");
  std::string request_line = head.substr(0, line_end);
  req.headers = line_end == std::string::npos ? "" : head.substr(line_end + 2);
  size_t sp1 = request_line.find(' ');
  size_t sp2 = request_line.find(' ', sp1 + 1);
  req.method = request_line.substr(0, sp1);
  req.target = request_line.substr(sp1 + 1, sp2 - sp1 - 1);
  std::string rest = req.target;
  size_t scheme = rest.find("://");
  if (scheme != std::string::npos) {
    size_t slash = rest.find('/', scheme + 3);
    rest = slash == std::string::npos ? "/" : rest.substr(slash);
  }
  size_t q = rest.find('?');
  req.path = rest.substr(0, q);
  req.query = q == std::string::npos ? "" : rest.substr(q + 1);
  size_t length = static_cast<size_t>(std::atoll(req.Header("Content-Length").c_str()));
  req.body = data.substr(header_end + 4);
  while (req.body.size() < length) {
    int got = ::recv(s, buf, sizeof(buf), 0);
    if (got <= 0) break;
    req.body.append(buf, got);
  }
  {
    std::lock_guard<std::mutex> hold(mutex_);
    seen_.push_back(req);
  }
  HttpReplyPlan plan = handler_(req);
  if (plan.never) {
    ::WaitForSingleObject(stop_event_, 20000);
    ::closesocket(s);
    return;
  }
  if (plan.delay_ms && ::WaitForSingleObject(stop_event_, plan.delay_ms) == WAIT_OBJECT_0) {
    ::closesocket(s);
    return;
  }
  std::string reply = "HTTP/1.1 " + std::to_string(plan.status) + " X\r\n" + plan.extra_headers +
                      "Content-Length: " + std::to_string(plan.body.size()) + "\r\nConnection: close\r\n\r\n" +
                      plan.body;
  size_t sent = 0;
  while (sent < reply.size()) {
    int n = ::send(s, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  ::shutdown(s, SD_SEND);
  ::closesocket(s);
}

}  // namespace test_support
