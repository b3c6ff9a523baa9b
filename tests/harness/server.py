"""A loopback HTTP server playing the product's web hosts.

The prefix's proxy setting sends every request for any host here, with the absolute URL in
the request line. Each request is recorded (method, URL, headers, body) in the journal; the
reply comes from a script keyed by path (or by host and path). The server stops by itself
after its lifetime.
"""
import json
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit


class Reply:
    def __init__(self, body=b"", status=200, headers=None, delay=0.0, handler=None):
        self.body = body.encode() if isinstance(body, str) else body
        self.status = status
        self.headers = headers or {"Content-Type": "text/plain; charset=utf-8"}
        self.delay = delay
        self.handler = handler  # callable(entry) -> Reply, for replies computed from the request


class TestServer:
    def __init__(self, port, lifetime=600.0, journal_path=None):
        self.port = port
        self.lifetime = lifetime
        self.journal_path = journal_path
        self.journal = []
        self.replies = {}
        self._lock = threading.Lock()
        self._httpd = None
        self._threads = []

    def script(self, path, reply, host=None):
        """Scripts the reply for a path (and optionally a host)."""
        self.replies[(host, path)] = reply

    def _reply_for(self, host, path):
        return self.replies.get((host, path)) or self.replies.get((None, path)) or Reply(b"ok")

    def _record(self, entry):
        with self._lock:
            self.journal.append(entry)
            if self.journal_path:
                with open(self.journal_path, "a", encoding="utf-8") as f:
                    f.write(json.dumps(entry, ensure_ascii=False) + "\n")

    def requests(self, path=None, host=None):
        with self._lock:
            return [e for e in self.journal if (path is None or e["path"] == path) and (host is None or e["host"] == host)]

    def wait_for(self, predicate, timeout=30.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            hits = [e for e in self.requests() if predicate(e)]
            if hits:
                return hits
            time.sleep(0.05)
        return []

    def __enter__(self):
        server = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def _handle(self):
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else b""
                target = self.path
                if target.startswith("http://") or target.startswith("https://"):
                    url = target
                else:
                    url = f"http://{self.headers.get('Host', '')}{target}"
                parts = urlsplit(url)
                sent = url
                if parts.scheme == "http" and parts.port == 80:  # WinINet spells out the default port
                    url = url.replace(f"{parts.hostname}:80", parts.hostname, 1)
                entry = {"time": time.time(), "method": self.command, "url": url, "url_sent": sent, "host": parts.hostname or "",
                         "port": parts.port, "path": parts.path, "query": parts.query,
                         "headers": {k: v for k, v in self.headers.items()},
                         "body": body.decode("latin-1")}
                server._record(entry)
                reply = server._reply_for(entry["host"], entry["path"])
                if reply.handler:
                    reply = reply.handler(entry)
                if reply.delay:
                    time.sleep(reply.delay)
                try:
                    self.send_response(reply.status)
                    for k, v in reply.headers.items():
                        self.send_header(k, v)
                    self.send_header("Content-Length", str(len(reply.body)))
                    self.end_headers()
                    self.wfile.write(reply.body)
                except (BrokenPipeError, ConnectionResetError):
                    pass

            do_GET = do_POST = do_HEAD = do_PUT = _handle

        ThreadingHTTPServer.allow_reuse_address = True
        self._httpd = ThreadingHTTPServer(("127.0.0.1", self.port), Handler)
        self._httpd.daemon_threads = True
        t = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        t.start()
        # Stops by itself, whatever the test does.
        stopper = threading.Timer(self.lifetime, self._httpd.shutdown)
        stopper.daemon = True
        stopper.start()
        self._threads = [t, stopper]
        return self

    def __exit__(self, *exc):
        self._threads[1].cancel()
        self._httpd.shutdown()
        self._httpd.server_close()


def main():
    """Runs the server alone: server.py PORT [LIFETIME] [JOURNAL]."""
    import sys
    port = int(sys.argv[1])
    lifetime = float(sys.argv[2]) if len(sys.argv) > 2 else 300
    journal = sys.argv[3] if len(sys.argv) > 3 else None
    with TestServer(port, lifetime, journal):
        time.sleep(lifetime)


if __name__ == "__main__":
    main()
