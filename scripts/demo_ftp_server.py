#!/usr/bin/python3
"""A local FTP server with sample files, for trying the program out.

Serves a fresh folder on 127.0.0.1 (login demo / demo, or anonymous for
reading) and prints the port it listens on. Only loopback: nothing leaves
the machine.
"""
import argparse
import os
import sys
import tempfile

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

SAMPLES = {
    "readme.txt": "Tarvo 演示服务器 / demo server\r\n",
    "中文说明.txt": "这是一个演示用的文本文件。\r\n",
    "name with blanks.txt": "blanks in a name\r\n",
    "pub/源代码/main.c": "int main(void) { return 0; }\n",
    "pub/docs/manual.txt": "Manual\n" * 200,
    "pub/docs/notes/2026.txt": "notes\n",
    "incoming/.keep": "",
}


def fill(root):
    for relative, text in SAMPLES.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
    # A larger file, to watch a transfer in the status bar.
    with open(os.path.join(root, "pub", "big.bin"), "wb") as f:
        block = bytes(range(256)) * 4096
        for _ in range(24):
            f.write(block)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", default="")
    args = parser.parse_args()
    root = args.root or tempfile.mkdtemp(prefix="tarvo-demo-")
    fill(root)

    authorizer = DummyAuthorizer()
    authorizer.add_user("demo", "demo", root, perm="elradfmwMT")
    authorizer.add_anonymous(root)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Tarvo demo FTP server ready."
    server = FTPServer(("127.0.0.1", args.port), handler)
    print("PORT %d" % server.address[1], flush=True)
    print("ROOT %s" % root, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
