#!/usr/bin/python3
"""Scripted HTTP peer for the HTTP client and search window tests.

Usage: http_peer.py --root DIR [--port N] [--cert CRT --key KEY]

With --cert and --key it speaks HTTPS (TLS from the first byte) and ends each
answer with close_notify.

On every request it reads DIR/routes.json (so a test may change the routes
while the peer runs) and plays the steps listed for the request's path (the
part before "?"; "*" is the fallback). Each request is appended to
DIR/requests.log as one JSON line {"path", "target", "head", "body"} (head and
body base64) before any answer is sent.

Steps, in order:
  {"send": "text"}                  bytes as Latin-1 (JSON escapes for CR LF)
  {"send_b64": "..."}               raw bytes
  {"sleep": ms}                     pause
  {"repeat": "text", "count": n, "pause": ms}
                                    send text n times (n < 0: until the client
                                    goes away), pausing between sends
  {"hold": ms}                      keep the connection open, then close
After the last step the connection is closed.
"""
import argparse
import base64
import json
import os
import socket
import socketserver
import ssl
import sys
import threading
import time

LOG_LOCK = threading.Lock()


def load_routes(root):
    try:
        with open(os.path.join(root, "routes.json"), "rb") as f:
            return json.loads(f.read().decode("utf-8"))
    except (OSError, ValueError):
        return {}


def read_request(sock):
    data = b""
    while b"\r\n\r\n" not in data and len(data) < 65536:
        chunk = sock.recv(4096)
        if not chunk:
            break
        data += chunk
    head, sep, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            try:
                length = int(value.strip())
            except ValueError:
                length = 0
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            break
        rest += chunk
    return head + sep, rest


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        root = self.server.root
        try:
            if self.server.tls:
                sock = self.server.tls.wrap_socket(sock, server_side=True)
            head, body = read_request(sock)
        except (OSError, ssl.SSLError):
            return
        if not head.strip():
            return  # a readiness probe: connected and went away
        first = head.split(b"\r\n", 1)[0].decode("latin-1")
        parts = first.split(" ")
        target = parts[1] if len(parts) > 1 else ""
        path = target.split("?", 1)[0]
        with LOG_LOCK:
            with open(os.path.join(root, "requests.log"), "a") as log:
                log.write(json.dumps({
                    "path": path,
                    "target": target,
                    "head": base64.b64encode(head).decode("ascii"),
                    "body": base64.b64encode(body).decode("ascii"),
                }) + "\n")
        routes = load_routes(root)
        steps = routes.get(path, routes.get("*", [
            {"send": "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\nno route\r\n"}]))
        try:
            for step in steps:
                if "send" in step:
                    sock.sendall(step["send"].encode("latin-1"))
                elif "send_b64" in step:
                    sock.sendall(base64.b64decode(step["send_b64"]))
                elif "sleep" in step:
                    time.sleep(step["sleep"] / 1000.0)
                elif "repeat" in step:
                    data = step["repeat"].encode("latin-1")
                    count = step.get("count", 1)
                    pause = step.get("pause", 0) / 1000.0
                    sent = 0
                    while count < 0 or sent < count:
                        sock.sendall(data)
                        sent += 1
                        if pause:
                            time.sleep(pause)
                elif "hold" in step:
                    time.sleep(step["hold"] / 1000.0)
        except OSError:
            pass  # the client went away: that is what some tests want
        if self.server.tls:
            try:
                sock = sock.unwrap()  # close_notify: the answer ends here
            except (OSError, ssl.SSLError, ValueError):
                pass
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    server.root = args.root
    server.tls = None
    if args.cert:
        server.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        server.tls.load_cert_chain(args.cert, args.key)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
