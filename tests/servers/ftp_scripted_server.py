#!/usr/bin/env python3
"""A scripted FTP server on 127.0.0.1 for the replies real servers do not give.

Usage: ftp_scripted_server.py PORT SCENARIO [COMMAND_LOG]
Scenarios:
  plain           a well-behaved server (multi-line welcome, 226 sent right after the data)
  rest-refused    REST is answered 502: the file comes from its start
  pasv-elsewhere  PASV names 10.255.255.1: a client that follows it never connects
  tls-stall       AUTH TLS is answered 234, then the server says nothing more
  abort-451       the transfer breaks off with 451 after 1000 bytes (from the restart offset)
  retr-550        RETR is answered 550 before any data connection is used
  login-530       the password is refused with 530
  rest-ignored    REST is answered 350, but the data starts at byte 0 all the same
  list-drop       the first LIST sends two of its lines, then the control connection is
                  reset (no 226); every later LIST lists all five entries
  list-drop-always  every LIST does what the first does in list-drop
  stor-452        STOR is answered 452 (no space) before any data connection is used
  stor-552        STOR takes the data, then the end is answered 552 (quota exceeded)
  stor-552-midway STOR is answered 552 on the control connection once 100000 bytes are in,
                  while the data connection stays open (and is read to its end)
SIZE answers 550 for a file no STOR has made (uploads start from nothing).
The file served for any RETR is 10240 bytes in which no 256-byte block repeats (a resumed
read never looks like the file's start). With COMMAND_LOG, every command received is
appended to that file, one a line.
"""
import socket
import struct
import sys
import threading

LISTING = [
    "drwxr-xr-x 2 u g 4096 Jan 01 2024 folder one",
    "-rw-r--r-- 1 u g 10240 Jan 01 2024 alpha.bin",
    "-rw-r--r-- 1 u g 5 Jan 01 2024 beta.txt",
    "lrwxrwxrwx 1 u g 3 Jan 01 2024 up -> ..",
    "-rw-r--r-- 1 u g 7 Jan 01 2024 gamma.txt",
]
dropped = [False]
connections_lock = threading.Lock()

DATA = bytes(((i * 7) + (i >> 8) * 13) & 255 for i in range(10240))


def handle(conn, scenario, log_path):
    reader = conn.makefile("rb")

    def send(text):
        conn.sendall(text.encode("latin-1"))

    send("220-Scripted FTP\r\n220 ready\r\n")
    listener = None
    rest = 0
    while True:
        line = reader.readline()
        if not line:
            break
        command = line.decode("latin-1").rstrip("\r\n")
        if log_path:
            with open(log_path, "a") as log:
                log.write(command + "\n")
        verb = command.split(" ")[0].upper()
        if verb == "USER":
            send("331 password please\r\n")
        elif verb == "PASS":
            if scenario == "login-530":
                send("530 login incorrect\r\n")
            else:
                send("230 logged in\r\n")
        elif verb == "TYPE":
            send("200 binary\r\n")
        elif verb == "PWD":
            send('257 "/" is current\r\n')
        elif verb == "CWD":
            send("250 ok\r\n")
        elif verb == "SIZE":
            if scenario.startswith("stor-"):
                send("550 no such file\r\n")
            else:
                send("213 %d\r\n" % len(DATA))
        elif verb in ("STOR", "APPE"):
            if listener is None:
                send("425 use PASV first\r\n")
                continue
            if scenario == "stor-452":
                listener.close()
                listener = None
                send("452 insufficient storage space\r\n")
                continue
            listener.settimeout(10)
            data, _ = listener.accept()
            listener.close()
            listener = None
            send("150 ok to send data\r\n")
            data.settimeout(10)
            received = 0
            told = False
            while True:
                try:
                    chunk = data.recv(65536)
                except OSError:
                    break
                if not chunk:
                    break
                received += len(chunk)
                if scenario == "stor-552-midway" and received >= 100000 and not told:
                    send("552 exceeded storage allocation\r\n")
                    told = True
            data.close()
            if told:
                pass
            elif scenario in ("stor-552", "stor-552-midway"):
                send("552 exceeded storage allocation\r\n")
            else:
                send("226 transfer complete\r\n")
        elif verb == "AUTH":
            if scenario == "tls-stall":
                send("234 go ahead\r\n")
                while reader.readline():  # swallow the handshake until the client gives up
                    pass
                break
            send("502 no TLS here\r\n")
        elif verb == "PASV":
            listener = socket.socket()
            listener.bind(("127.0.0.1", 0))
            listener.listen(1)
            port = listener.getsockname()[1]
            address = "10,255,255,1" if scenario == "pasv-elsewhere" else "127,0,0,1"
            send("227 Entering Passive Mode (%s,%d,%d)\r\n" % (address, port >> 8, port & 255))
        elif verb == "REST":
            if scenario == "rest-refused":
                send("502 REST not implemented\r\n")
            else:
                rest = int(command.split(" ")[1])
                send("350 restarting at %d\r\n" % rest)
        elif verb == "RETR":
            if listener is None:
                send("425 use PASV first\r\n")
                continue
            if scenario == "retr-550":
                listener.close()
                listener = None
                send("550 no such file\r\n")
                continue
            if scenario == "rest-ignored":
                rest = 0
            listener.settimeout(10)
            data, _ = listener.accept()
            listener.close()
            listener = None
            send("150 opening data connection\r\n")
            if scenario == "abort-451":
                data.sendall(DATA[rest:rest + 1000])
                data.close()
                send("451 local error in processing\r\n")
            else:
                data.sendall(DATA[rest:])
                data.close()
                send("226 transfer complete\r\n")
            rest = 0
        elif verb == "LIST":
            if listener is None:
                send("425 use PASV first\r\n")
                continue
            listener.settimeout(10)
            data, _ = listener.accept()
            listener.close()
            listener = None
            send("150 here comes the listing\r\n")
            with connections_lock:
                drop = scenario == "list-drop-always" or (scenario == "list-drop" and not dropped[0])
                dropped[0] = True
            if drop:
                data.sendall(("\r\n".join(LISTING[:2]) + "\r\n").encode("latin-1"))
                data.close()
                # A reset, not an orderly close: the connection was lost, not ended.
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                break
            data.sendall(("\r\n".join(LISTING) + "\r\n").encode("latin-1"))
            data.close()
            send("226 directory send OK\r\n")
        elif verb == "QUIT":
            send("221 bye\r\n")
            break
        else:
            send("502 not implemented\r\n")
    conn.close()


def main():
    port = int(sys.argv[1])
    scenario = sys.argv[2]
    log_path = sys.argv[3] if len(sys.argv) > 3 else None
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(8)
    while True:
        conn, _ = server.accept()
        threading.Thread(target=handle, args=(conn, scenario, log_path), daemon=True).start()


if __name__ == "__main__":
    main()
