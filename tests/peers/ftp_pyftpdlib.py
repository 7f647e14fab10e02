#!/usr/bin/python3
"""pyftpdlib FTP server for the tests: one user, one root, a passive range of its own.

Usage: ftp_pyftpdlib.py --port N --root DIR --user NAME --password PASS --passive LO-HI [--throttle BYTES]
--throttle limits each data connection to that many bytes a second.
Prints "ready PORT" on stdout once it listens.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--passive", required=True)
    parser.add_argument("--throttle", type=int, default=0)
    args = parser.parse_args()

    low, high = (int(p) for p in args.passive.split("-"))
    authorizer = DummyAuthorizer()
    # e l r a d f m w M T: everything a client may do, SITE CHMOD (M) included.
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = range(low, high + 1)
    handler.permit_foreign_addresses = False
    handler.banner = "pyftpdlib ready."
    handler.auth_failed_timeout = 0  # tests of a refused login need no wait
    if args.throttle > 0:
        dtp = ThrottledDTPHandler
        dtp.read_limit = args.throttle
        dtp.write_limit = args.throttle
        handler.dtp_handler = dtp

    logging.basicConfig(stream=sys.stderr, level=logging.INFO,
                        format="%(asctime)s %(message)s")
    server = FTPServer(("127.0.0.1", args.port), handler)
    server.max_cons = 64
    print("ready %d" % server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
