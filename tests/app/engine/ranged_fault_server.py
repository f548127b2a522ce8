#!/usr/bin/env python3
"""An HTTP/1.1 server on 127.0.0.1 that serves a large file with ranges, and the faults
that real servers make with ranges.

Usage: ranged_fault_server.py PORT
GET /MODE/NAME[?rate=BYTES_PER_S] serves the file content.bin of the working folder
(written by the test) under the name NAME. Modes:
  plain         ranges honoured ("bytes=a-" and "bytes=a-b")
  wrong-range   a range from a > 0 is answered 206 with the bytes from 0 and a
                Content-Range that says so
  ignore-range  every request gets 200 and the whole file
  ignore-range-cut  every request gets 200 and the whole file's size, and every body
                is cut off after 40 %
  multipart     a range from a > 0 is answered as multipart/byteranges
  cut-once      the first response is cut off after 40 % of its body; later ones whole
  busy-once     the first request is answered 503; later ones served
  silent-once   the first request is never answered (the connection stays open); later
                ones served
Every request line and Range header is appended to requests.log in the working folder.
"""
import socketserver
import sys
import threading
import time

_lock = threading.Lock()
_first_done = set()


def content():
    with open("content.bin", "rb") as f:
        return f.read()


def first_time(mode):
    with _lock:
        if mode in _first_done:
            return False
        _first_done.add(mode)
        return True


class Handler(socketserver.BaseRequestHandler):
    def read_head(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(4096)
            if not chunk:
                return None, None
            data += chunk
        lines = data.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
        headers = {}
        for line in lines[1:]:
            k, _, v = line.partition(":")
            headers[k.strip().lower()] = v.strip()
        return lines[0], headers

    def send_all(self, head, payload, rate, cut_at=None):
        self.request.sendall(head.encode("latin-1"))
        if cut_at is not None:
            payload = payload[:cut_at]
        step = 16384
        started = time.monotonic()
        for i in range(0, len(payload), step):
            self.request.sendall(payload[i:i + step])
            if rate:
                ahead = (i + step) / rate - (time.monotonic() - started)
                if ahead > 0:
                    time.sleep(ahead)

    def handle(self):
        line, headers = self.read_head()
        if line is None:
            return
        target = line.split(" ")[1]
        path, _, query = target.partition("?")
        params = dict(p.split("=", 1) for p in query.split("&") if "=" in p)
        parts = path.strip("/").split("/")
        mode = parts[0] if len(parts) == 2 else ""
        rate = int(params.get("rate", "0"))
        rng = headers.get("range", "")
        with _lock:
            with open("requests.log", "a") as log:
                log.write("%s range=%s\n" % (line, rng))
        if mode == "redirect-loop":
            self.request.sendall(("HTTP/1.1 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n"
                                  "Connection: close\r\n\r\n" % path).encode())
            return
        if mode not in ("plain", "wrong-range", "ignore-range", "ignore-range-cut", "multipart", "cut-once", "busy-once", "silent-once"):
            self.request.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return
        if mode == "busy-once" and first_time(mode):
            self.request.sendall(b"HTTP/1.1 503 Service Unavailable\r\nContent-Length: 5\r\nConnection: close\r\n\r\nbusy\n")
            return
        if mode == "silent-once" and first_time(mode):
            # Holds the connection open without a word until the client gives up.
            self.request.settimeout(120)
            try:
                while self.request.recv(4096):
                    pass
            except OSError:
                pass
            return
        data = content()
        size = len(data)
        start, end = 0, size - 1
        ranged = rng.startswith("bytes=") and mode not in ("ignore-range", "ignore-range-cut")
        if ranged:
            a, _, b = rng[6:].partition("-")
            start = int(a)
            end = min(int(b), size - 1) if b else size - 1
        common = "Accept-Ranges: bytes\r\nETag: \"fixed-%d\"\r\nConnection: close\r\n" % size
        if not ranged:
            cut = int(size * 0.4) if mode == "cut-once" and first_time(mode) else None
            if mode == "ignore-range-cut":
                cut = int(size * 0.4)
            head = "HTTP/1.1 200 OK\r\nContent-Length: %d\r\n%s\r\n" % (size, common)
            return self.send_all(head, data, rate, cut)
        if start > 0 and mode == "wrong-range":
            n = end - start + 1
            head = ("HTTP/1.1 206 Partial Content\r\nContent-Length: %d\r\nContent-Range: bytes 0-%d/%d\r\n%s\r\n"
                    % (n, n - 1, size, common))
            return self.send_all(head, data[:n], rate)
        if start > 0 and mode == "multipart":
            piece = data[start:end + 1]
            part = (b"--SEP\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes %d-%d/%d\r\n\r\n"
                    % (start, end, size)) + piece + b"\r\n--SEP--\r\n"
            head = ("HTTP/1.1 206 Partial Content\r\nContent-Length: %d\r\n"
                    "Content-Type: multipart/byteranges; boundary=SEP\r\n%s\r\n" % (len(part), common))
            return self.send_all(head, part, rate)
        piece = data[start:end + 1]
        cut = int(len(piece) * 0.4) if mode == "cut-once" and first_time(mode) else None
        head = ("HTTP/1.1 206 Partial Content\r\nContent-Length: %d\r\nContent-Range: bytes %d-%d/%d\r\n%s\r\n"
                % (len(piece), start, end, size, common))
        self.send_all(head, piece, rate, cut)


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


if __name__ == "__main__":
    with Server(("127.0.0.1", int(sys.argv[1])), Handler) as server:
        server.serve_forever()
