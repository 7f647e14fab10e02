#!/usr/bin/python3
"""pyftpdlib FTP server for the tests: one user, one root, a passive range of its own.

Usage: ftp_pyftpdlib.py --port N --root DIR --user NAME --password PASS --passive LO-HI [--host ::1]
                        [--refuse PASV,EPSV,...]
                        [--throttle BYTES] [--tls-cert CRT --tls-key KEY [--tls-required]]
--throttle limits each data connection to that many bytes a second.
--refuse answers the named commands "500" (a server that takes only one data mode).
With a certificate it is an FTPS server (AUTH TLS); --tls-required refuses a
plain login and plain data connections.
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
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--passive", required=True)
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--tls-required", action="store_true")
    parser.add_argument("--tls-cut-data", action="store_true")
    parser.add_argument("--refuse", default="")
    parser.add_argument("--max-per-ip", type=int, default=0)
    args = parser.parse_args()

    low, high = (int(p) for p in args.passive.split("-"))
    authorizer = DummyAuthorizer()
    # e l r a d f m w M T: everything a client may do, SITE CHMOD (M) included.
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    handler = FTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_FTPHandler
        handler = TLS_FTPHandler
        handler.certfile = args.tls_cert
        handler.keyfile = args.tls_key
        handler.tls_control_required = args.tls_required
        handler.tls_data_required = args.tls_required
        if args.tls_cut_data:
            # Data connections end without close_notify: a truncation the
            # client must catch.
            from pyftpdlib.handlers import TLS_DTPHandler

            class CutDTPHandler(TLS_DTPHandler):
                def close(self):
                    self._ssl_established = False
                    super().close()

            handler.dtp_handler = CutDTPHandler
    refused = [verb.strip().upper() for verb in args.refuse.split(",") if verb.strip()]
    if refused:
        handler = type("RefusingHandler", (handler,), {})
        for verb in refused:
            setattr(handler, "ftp_" + verb,
                    lambda self, line, verb=verb: self.respond("500 %s refused here." % verb))
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
    server = FTPServer((args.host, args.port), handler)
    server.max_cons = 64
    # A server that takes one login per address: the client must make do with it.
    server.max_cons_per_ip = args.max_per_ip
    print("ready %d" % server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
