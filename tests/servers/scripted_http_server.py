#!/usr/bin/env python3
"""An HTTP/1.1 server on 127.0.0.1 that makes the faults real servers do not.

Usage: scripted_http_server.py PORT
Every path names a behaviour (see ROUTES); the user for authentication is "user" with
the password "secret". Each connection serves one request and then closes, unless the
path says otherwise, so a test always knows where a response ends.
"""
import gzip
import hashlib
import os
import socket
import socketserver
import sys
import threading
import time

USER, PASSWORD, REALM = "user", "secret", "scripted"
BODY = bytes(range(256)) * 40  # 10240 bytes with a known pattern
_nonce_lock = threading.Lock()
_nonce_serial = [0]


def new_nonce():
    with _nonce_lock:
        _nonce_serial[0] += 1
        return "nonce%d" % _nonce_serial[0]


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


def parse_auth_params(value):
    out = {}
    rest = value.split(" ", 1)[1] if " " in value else ""
    for part in _split_params(rest):
        if "=" in part:
            k, v = part.split("=", 1)
            out[k.strip().lower()] = v.strip().strip('"')
    return out


def _split_params(text):
    parts, cur, quoted = [], "", False
    for ch in text:
        if ch == '"':
            quoted = not quoted
        if ch == "," and not quoted:
            parts.append(cur)
            cur = ""
        else:
            cur += ch
    if cur:
        parts.append(cur)
    return parts


class Request:
    def __init__(self, method, target, headers, head):
        self.method, self.target, self.headers, self.head = method, target, headers, head

    def header(self, name):
        return self.headers.get(name.lower())


class Handler(socketserver.BaseRequestHandler):
    def read_request(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.request.recv(4096)
            if not chunk:
                return None
            data += chunk
        head, _, rest = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        method, target, _ = lines[0].split(" ", 2)
        headers = {}
        for line in lines[1:]:
            k, _, v = line.partition(":")
            headers[k.strip().lower()] = v.strip()
        length = int(headers.get("content-length", "0"))
        while len(rest) < length:
            chunk = self.request.recv(4096)
            if not chunk:
                break
            rest += chunk
        return Request(method, target, headers, head.decode("latin-1"))

    def send(self, status, headers=(), body=b"", length=None):
        out = "HTTP/1.1 %s\r\n" % status
        if length is None:
            length = len(body)
        if length >= 0:
            out += "Content-Length: %d\r\n" % length
        for k, v in headers:
            out += "%s: %s\r\n" % (k, v)
        out += "Connection: close\r\n\r\n"
        self.request.sendall(out.encode("latin-1") + body)

    def handle(self):
        req = self.read_request()
        if req is None:
            return
        path = req.target
        if path.startswith("http://"):  # absolute form through a proxy
            path = "/" + path.split("/", 3)[3] if path.count("/") >= 3 else "/"
        name = path.split("?", 1)[0].strip("/")
        route = ROUTES.get(name)
        if route is None:
            self.send("404 Not Found", body=b"no such route\n")
        else:
            route(self, req)


def r_ok(h, req):
    h.send("200 OK", [("Content-Type", "application/octet-stream")], BODY)


def r_echo(h, req):
    h.send("200 OK", [("Content-Type", "text/plain")], req.head.encode("latin-1"))


def r_chunked(h, req):
    out = b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
    for i in range(0, len(BODY), 1000):
        piece = BODY[i:i + 1000]
        out += b"%x\r\n" % len(piece) + piece + b"\r\n"
    out += b"0\r\n\r\n"
    h.request.sendall(out)


def r_cut(h, req):
    h.send("200 OK", [], BODY[:5000], length=len(BODY))


def r_cut_chunked(h, req):
    h.request.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n400\r\n" + BODY[:1024] + b"\r\n")


def r_until_close(h, req):
    h.request.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + BODY)


def r_wrong_range(h, req):
    h.send("206 Partial Content", [("Content-Range", "bytes 0-%d/%d" % (len(BODY) - 1, len(BODY)))], BODY)


def r_multipart(h, req):
    parts = b""
    for a, b in ((0, 9), (100, 109)):
        parts += b"--SEP\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes %d-%d/%d\r\n\r\n" % (
            a, b, len(BODY)) + BODY[a:b + 1] + b"\r\n"
    parts += b"--SEP--\r\n"
    h.send("206 Partial Content", [("Content-Type", "multipart/byteranges; boundary=SEP")], parts)


def r_503(h, req):
    h.send("503 Service Unavailable", [("Retry-After", "25")], b"busy\n")


def r_503_dns(h, req):
    h.send("503 Service Unavailable", [("X-Squid-Error", "ERR_DNS_FAIL 0")], b"dns\n")


def r_basic(h, req):
    import base64
    want = "Basic " + base64.b64encode(("%s:%s" % (USER, PASSWORD)).encode()).decode()
    if req.header("authorization") == want:
        r_ok(h, req)
    else:
        h.send("401 Unauthorized", [("WWW-Authenticate", 'Basic realm="%s"' % REALM)], b"who?\n")


_issued = {}


def r_digest(h, req, stale_first=False):
    auth = req.header("authorization")
    if auth and auth.startswith("Digest "):
        p = parse_auth_params(auth)
        ha1 = md5("%s:%s:%s" % (p.get("username"), REALM, PASSWORD))
        ha2 = md5("%s:%s" % (req.method, p.get("uri")))
        expected = md5(":".join([ha1, p.get("nonce", ""), p.get("nc", ""), p.get("cnonce", ""), "auth", ha2]))
        if p.get("response") == expected and p.get("username") == USER:
            with _nonce_lock:
                fresh = _issued.get(p.get("nonce")) == "fresh"
            if fresh:
                return r_ok(h, req)
            # Right credentials, old nonce.
            nonce = new_nonce()
            with _nonce_lock:
                _issued[nonce] = "fresh"
            return h.send("401 Unauthorized", [("WWW-Authenticate",
                          'Digest realm="%s", qop="auth", nonce="%s", stale=true' % (REALM, nonce))], b"stale\n")
    nonce = new_nonce()
    with _nonce_lock:
        _issued[nonce] = "stale" if stale_first else "fresh"
    h.send("401 Unauthorized", [("WWW-Authenticate", 'Digest realm="%s", qop="auth", nonce="%s"' % (REALM, nonce))],
           b"who?\n")


def r_redirect_relative(h, req):
    h.send("302 Found", [("Location", "../ok?from=redirect"), ("Set-Cookie", "seen=1; Path=/")], b"")


def r_gzip(h, req):
    h.send("200 OK", [("Content-Encoding", "gzip")], gzip.compress(BODY))


def r_silent(h, req):
    time.sleep(30)


def r_set_cookies(h, req):
    h.send("200 OK", [("Set-Cookie", "a=1; Path=/"), ("Set-Cookie", "b=2, with comma; Max-Age=60")], b"ok\n")


def r_bad_length(h, req):
    # A length no reader can trust, and a body cut off before its end.
    h.request.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %dabc\r\nConnection: close\r\n\r\n" % len(BODY) +
                      BODY[:5000])


ROUTES = {
    "ok": r_ok,
    "echo": r_echo,
    "chunked": r_chunked,
    "cut": r_cut,
    "cut-chunked": r_cut_chunked,
    "until-close": r_until_close,
    "wrong-range": r_wrong_range,
    "multipart": r_multipart,
    "503": r_503,
    "503-dns": r_503_dns,
    "basic": r_basic,
    "digest": r_digest,
    "digest-stale": lambda h, req: r_digest(h, req, stale_first=True),
    "dir/redirect-relative": r_redirect_relative,
    "gzip": r_gzip,
    "silent": r_silent,
    "set-cookies": r_set_cookies,
    "bad-length": r_bad_length,
}


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


if __name__ == "__main__":
    port = int(sys.argv[1])
    with Server(("127.0.0.1", port), Handler) as server:
        server.serve_forever()
