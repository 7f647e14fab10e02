#!/usr/bin/python3
"""A TLS server for the platform TLS socket tests: one behaviour per process.

Usage: tls_peer.py --port N --cert CRT --key KEY --mode MODE [--size BYTES]
Modes:
  echo      each line read is sent back; "BYE" ends with close_notify
  clean     sends --size bytes (the tests' pattern) then close_notify and close
  truncate  sends --size bytes then closes the TCP connection without close_notify
  sink      reads until the client's close_notify (or a cut), then prints
            "sink BYTES SHA256 clean|ragged" on stdout
  stall     accepts the TCP connection and never answers the handshake
  auth-stall  greets as an FTP server, answers the first command with 234,
            then never answers the handshake
Prints "ready PORT" once it listens.
"""
import argparse
import hashlib
import socket
import ssl
import sys
import threading
import time


def pattern(size):
    # Bytes that differ from block to block (the same as the C++ tests' Pattern(size, 1)).
    out = bytearray(size)
    x = (1 * 2654435761 + 12345) & 0xFFFFFFFF
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (x >> 16) & 0xFF
    return bytes(out)


def serve(conn, context, args, payload):
    if args.mode in ("stall", "auth-stall"):
        if args.mode == "auth-stall":
            conn.sendall(b"220 TLS test peer\r\n")
            line = b""
            while b"\n" not in line:
                data = conn.recv(1024)
                if not data:
                    return
                line += data
            conn.sendall(b"234 Proceed with negotiation.\r\n")
        time.sleep(120)
        conn.close()
        return
    try:
        tls = context.wrap_socket(conn, server_side=True, suppress_ragged_eofs=False)
    except (ssl.SSLError, OSError) as error:
        print("handshake failed: %s" % error, flush=True)
        conn.close()
        return
    try:
        if args.mode == "echo":
            buffer = b""
            while True:
                data = tls.recv(65536)
                if not data:
                    break
                buffer += data
                while b"\n" in buffer:
                    line, buffer = buffer.split(b"\n", 1)
                    if line.strip() == b"BYE":
                        tls.sendall(b"BYE\n")
                        tls.unwrap()
                        tls.close()
                        return
                    tls.sendall(line + b"\n")
        elif args.mode in ("clean", "truncate"):
            tls.sendall(payload)
            if args.mode == "clean":
                tls.unwrap()
                tls.close()
            else:
                # Drop the TLS state without close_notify, then end the TCP stream.
                tls._sslobj = None
                socket.socket.shutdown(tls, socket.SHUT_RDWR)
                socket.socket.close(tls)
        elif args.mode == "sink":
            digest = hashlib.sha256()
            total = 0
            how = "clean"
            while True:
                try:
                    data = tls.recv(65536)
                except ssl.SSLEOFError:
                    how = "ragged"
                    break
                if not data:
                    break
                total += len(data)
                digest.update(data)
            print("sink %d %s %s" % (total, digest.hexdigest(), how), flush=True)
            tls.close()
    except (ssl.SSLError, OSError) as error:
        print("connection failed: %s" % error, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--mode", required=True)
    parser.add_argument("--size", type=int, default=0)
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(args.cert, args.key)
    payload = pattern(args.size) if args.size else b""

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(8)
    print("ready %d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, context, args, payload), daemon=True).start()


if __name__ == "__main__":
    main()
