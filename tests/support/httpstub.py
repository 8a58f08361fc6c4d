#!/usr/bin/python3
"""A loopback HTTP server for the network tests.

Binds 127.0.0.1 on a free port (or --port), prints "PORT <n>" on its first
line of standard output and serves until it is terminated. Each behaviour is
chosen by the request path:

  /status/<code>            answers <code> with a short body
  /json-blank               a JSON body with a blank line ("\\r\\n\\r\\n") between members
  /bytes/<n>                n bytes of a fixed pattern, honouring "Range"
  /bytes-nolength/<n>       n bytes without a Content-Length (ends by closing)
  /norange/<n>              n bytes, ignoring "Range"
  /stall/<n>/<k>            announces n bytes, sends k of them, then goes silent
  /stall-once/<n>/<k>       as /stall the first time, as /bytes afterwards
  /hang                     reads the request and never answers
  /drip/<n>/<ms>            n bytes, one every <ms> milliseconds
  /redirect?to=<url>        302 to <url>
  anything else             200 with "ok"

Byte i of every pattern body is (i * 7 + 3) % 251. HEAD gets the headers only.

Control paths (not counted):
  /_count?path=<p>          how many requests reached path <p> (query excluded)
  /_headers?path=<p>        the request headers of the last request to <p>
  /_bad                     how many connections sent something that was not HTTP
  /_reset                   clears all counters
"""
import argparse
import http.server
import select
import socketserver
import sys
import threading
import time
import urllib.parse

LOCK = threading.Lock()
COUNTS = {}
HEADERS = {}
BAD = [0]
STALLED_ONCE = set()


def pattern(start, end):
    return bytes(((i * 7 + 3) % 251) for i in range(start, end))


def pattern_fast(start, end):
    # The pattern repeats every 251 bytes: build one period and slice it.
    period = pattern(0, 251)
    reps = (end - start) // 251 + 2
    block = period * reps
    off = start % 251
    return block[off:off + (end - start)]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_error(self, code, message=None, explain=None):
        # Reached when the request line is not HTTP (a TLS hello, for one).
        with LOCK:
            BAD[0] += 1
        self.close_connection = True

    def do_HEAD(self):
        self.handle_any(head=True)

    def do_GET(self):
        self.handle_any(head=False)

    def reply(self, code, body, head, extra=None, length=True):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def wait_for_close(self, seconds):
        # Silent until the client hangs up (or the time is over).
        end = time.time() + seconds
        while time.time() < end:
            r, _, _ = select.select([self.connection], [], [], 0.05)
            if r:
                try:
                    if not self.connection.recv(1024):
                        break
                except OSError:
                    break
        self.close_connection = True

    def control(self, url):
        query = urllib.parse.parse_qs(url.query)
        path = query.get("path", [""])[0]
        with LOCK:
            if url.path == "/_count":
                body = str(COUNTS.get(path, 0))
            elif url.path == "/_headers":
                body = HEADERS.get(path, "")
            elif url.path == "/_bad":
                body = str(BAD[0])
            else:
                COUNTS.clear()
                HEADERS.clear()
                BAD[0] = 0
                STALLED_ONCE.clear()
                body = "reset"
        self.reply(200, body.encode(), False)

    def handle_any(self, head):
        url = urllib.parse.urlsplit(self.path)
        if url.path.startswith("/_"):
            self.control(url)
            return
        with LOCK:
            COUNTS[url.path] = COUNTS.get(url.path, 0) + 1
            HEADERS[url.path] = "".join("%s: %s\n" % (k, v) for k, v in self.headers.items())
        parts = [p for p in url.path.split("/") if p]
        kind = parts[0] if parts else ""
        nums = [int(p) for p in parts[1:] if p.isdigit()]
        if kind == "status":
            self.reply(nums[0], b"status %d\n" % nums[0], head)
        elif kind == "json-blank":
            body = (b'{"responseData": {"results": [{"url": "http://x/a.jpg"}]},\r\n\r\n'
                    b' "tail": "' + b"z" * 4000 + b'"}')
            self.reply(200, body, head)
        elif kind == "bytes" or kind == "norange":
            self.send_range(nums[0], head, honour=(kind == "bytes"))
        elif kind == "bytes-nolength":
            self.reply(200, pattern_fast(0, nums[0]), head, length=False)
        elif kind in ("stall", "stall-once"):
            n, k = nums[0], nums[1]
            first = True
            if kind == "stall-once":
                with LOCK:
                    first = url.path not in STALLED_ONCE
                    STALLED_ONCE.add(url.path)
            if not first:
                self.send_range(n, head, honour=True)
                return
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            if not head:
                self.wfile.write(pattern_fast(0, k))
                self.wfile.flush()
            self.wait_for_close(60)
        elif kind == "hang":
            self.wait_for_close(60)
        elif kind == "drip":
            n, ms = nums[0], nums[1]
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            if head:
                return
            data = pattern_fast(0, n)
            try:
                for i in range(n):
                    self.wfile.write(data[i:i + 1])
                    self.wfile.flush()
                    time.sleep(ms / 1000.0)
            except OSError:
                self.close_connection = True
        elif kind == "redirect":
            to = urllib.parse.parse_qs(url.query).get("to", [""])[0]
            self.reply(302, b"moved\n", head, extra={"Location": to})
        else:
            self.reply(200, b"ok\n", head)

    def send_range(self, n, head, honour):
        rng = self.headers.get("Range")
        if honour and rng and rng.startswith("bytes="):
            first, _, last = rng[6:].partition("-")
            start = int(first) if first else 0
            end = int(last) + 1 if last else n
            end = min(end, n)
            if start >= n:
                self.reply(416, b"", head, extra={"Content-Range": "bytes */%d" % n})
                return
            self.reply(206, pattern_fast(start, end), head,
                       extra={"Content-Range": "bytes %d-%d/%d" % (start, end - 1, n)})
            return
        self.reply(200, pattern_fast(0, n), head)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(handler, port):
    """Serves on 127.0.0.1:port (0 = a free port) after printing "PORT <n>"."""
    server = Server(("127.0.0.1", port), handler)
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    server.serve_forever(poll_interval=0.1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    serve(Handler, args.port)


if __name__ == "__main__":
    main()
