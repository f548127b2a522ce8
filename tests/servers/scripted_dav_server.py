#!/usr/bin/env python3
"""A WebDAV-shaped HTTP/1.1 server on 127.0.0.1 for the replies real servers do not give.

Usage: scripted_dav_server.py PORT REQUEST_LOG
The first path segment picks the behaviour (see BEHAVIOURS); every request read is
appended to REQUEST_LOG as one tab-separated line: method, path, Authorization,
Overwrite, Destination, Depth. The user is "user" with the password "secret". Each
connection serves one request and closes.
"""
import base64
import hashlib
import socket
import socketserver
import struct
import sys
import threading

USER, PASSWORD, REALM = "user", "secret", "scripted dav"
LOG = None
_lock = threading.Lock()
_serial = [0]


def nonce():
    with _lock:
        _serial[0] += 1
        return "n%d" % _serial[0]


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


def auth_params(value):
    out, cur, quoted = {}, "", False
    rest = value.split(" ", 1)[1] if " " in value else ""
    parts = []
    for ch in rest:
        if ch == '"':
            quoted = not quoted
        if ch == "," and not quoted:
            parts.append(cur)
            cur = ""
        else:
            cur += ch
    parts.append(cur)
    for part in parts:
        if "=" in part:
            k, v = part.split("=", 1)
            out[k.strip().lower()] = v.strip().strip('"')
    return out


def listing(base):
    """A multistatus answer for the folder `base` (ending in "/")."""
    def response(href, collection, length=None):
        props = "<D:resourcetype>%s</D:resourcetype>" % ("<D:collection/>" if collection else "")
        if length is not None:
            props += "<D:getcontentlength>%d</D:getcontentlength>" % length
        props += "<D:getlastmodified>Sun, 06 Nov 1994 08:49:37 GMT</D:getlastmodified>"
        return ("<D:response><D:href>%s</D:href><D:propstat><D:prop>%s</D:prop>"
                "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>" % (href, props))
    body = '<?xml version="1.0" encoding="utf-8"?><D:multistatus xmlns:D="DAV:">'
    body += response(base, True)
    body += response(base + "file%20one.txt", False, 1234)
    body += response(base + "sub/", True)
    body += "</D:multistatus>"
    return body.encode()


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
        return method, target, headers

    def send(self, status, headers=(), body=b"", reset=False, cut=None):
        out = "HTTP/1.1 %s\r\nContent-Length: %d\r\n" % (status, len(body))
        for k, v in headers:
            out += "%s: %s\r\n" % (k, v)
        out += "Connection: close\r\n\r\n"
        data = out.encode("latin-1") + (body if cut is None else body[:cut])
        self.request.sendall(data)
        if reset:
            self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))

    def authorised(self, method, headers, basic_ok=True):
        auth = headers.get("authorization", "")
        if auth.startswith("Basic ") and basic_ok:
            return auth == "Basic " + base64.b64encode(("%s:%s" % (USER, PASSWORD)).encode()).decode()
        if auth.startswith("Digest "):
            p = auth_params(auth)
            ha1 = md5("%s:%s:%s" % (p.get("username"), REALM, PASSWORD))
            ha2 = md5("%s:%s" % (method, p.get("uri")))
            want = md5(":".join([ha1, p.get("nonce", ""), p.get("nc", ""), p.get("cnonce", ""), "auth", ha2]))
            return p.get("username") == USER and p.get("response") == want
        return False

    def challenge(self, digest=True, basic=True, stale=False):
        h = []
        if basic:
            h.append(("WWW-Authenticate", 'Basic realm="%s"' % REALM))
        if digest:
            h.append(("WWW-Authenticate", 'Digest realm="%s", qop="auth", nonce="%s"%s' %
                      (REALM, nonce(), ", stale=true" if stale else "")))
        self.send("401 Unauthorized", h, b"who?\n")

    def handle(self):
        req = self.read_request()
        if req is None:
            return
        method, target, headers = req
        with _lock:
            with open(LOG, "a") as log:
                log.write("\t".join([method, target, headers.get("authorization", ""), headers.get("overwrite", ""),
                                     headers.get("destination", ""), headers.get("depth", "")]) + "\n")
        kind = target.strip("/").split("/", 1)[0]
        BEHAVIOURS.get(kind, Handler.b_plain)(self, method, target, headers)

    def b_plain(self, method, target, headers):
        if method == "OPTIONS":
            return self.send("200 OK", [("DAV", "1,2"), ("Allow", "OPTIONS, PROPFIND, MKCOL, DELETE, MOVE, COPY")])
        if method == "PROPFIND":
            base = target if target.endswith("/") else target + "/"
            return self.send("207 Multi-Status", [("Content-Type", "text/xml")], listing(base))
        if method == "MKCOL":
            return self.send("201 Created")
        if method == "DELETE":
            return self.send("204 No Content")
        if method in ("MOVE", "COPY"):
            if "exists" in headers.get("destination", "") and headers.get("overwrite") == "F":
                return self.send("412 Precondition Failed")
            return self.send("201 Created")
        self.send("405 Method Not Allowed")

    def b_auth(self, method, target, headers):
        if not self.authorised(method, headers):
            return self.challenge()
        self.b_plain(method, target, headers)

    def b_basic(self, method, target, headers):
        if not self.authorised(method, headers):
            return self.challenge(digest=False)
        self.b_plain(method, target, headers)

    def b_noopts(self, method, target, headers):
        if method == "OPTIONS":
            return self.send("405 Method Not Allowed")
        self.b_plain(method, target, headers)

    def b_reset(self, method, target, headers):
        if method == "PROPFIND":
            return self.send("207 Multi-Status", [("Content-Type", "text/xml")], listing(target), reset=True)
        self.b_plain(method, target, headers)

    def b_resetcut(self, method, target, headers):
        if method == "PROPFIND":
            body = listing(target)
            return self.send("207 Multi-Status", [("Content-Type", "text/xml")], body, reset=True,
                             cut=len(body) // 2)
        self.b_plain(method, target, headers)

    def b_stale(self, method, target, headers):
        # Credentials right or wrong, the nonce is always "stale": a client that trusts the
        # word would ask for ever.
        self.challenge(basic=False, stale=True)

    def b_notxml(self, method, target, headers):
        if method == "PROPFIND":
            return self.send("207 Multi-Status", [("Content-Type", "text/xml")], b"this is no listing")
        self.b_plain(method, target, headers)

    def b_status(self, method, target, headers):
        # /status/NNN/...: NNN to everything but OPTIONS.
        if method == "OPTIONS":
            return self.send("200 OK")
        code = target.strip("/").split("/")[1]
        self.send("%s Scripted" % code)


BEHAVIOURS = {
    "auth": Handler.b_auth,
    "basic": Handler.b_basic,
    "noopts": Handler.b_noopts,
    "reset": Handler.b_reset,
    "resetcut": Handler.b_resetcut,
    "stale": Handler.b_stale,
    "notxml": Handler.b_notxml,
    "status": Handler.b_status,
}


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


if __name__ == "__main__":
    LOG = sys.argv[2]
    open(LOG, "w").close()
    with Server(("127.0.0.1", int(sys.argv[1])), Handler) as server:
        server.serve_forever()
