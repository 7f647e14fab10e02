#!/usr/bin/python3
"""pyftpdlib FTP server that stands in for a distant one: every control reply
leaves the server a fixed delay after it was made (20 ms by default).

Usage: delayed_ftp_server.py --port N --root DIR --user NAME --password PASS [--delay SECONDS]

The delay is not a sleep: pyftpdlib serves every connection from one thread,
and a sleep there would hold up all of them, so four connections would be no
faster than one. Each connection keeps its replies in a queue and the IO loop
releases each one when its time has come (call_later); the other connections
go on meanwhile. Replies keep their order, and a connection that is to close
after its last reply (QUIT) closes only once that reply has left.
Passive data ports are the system's choice, on the control connection's address.
Prints "ready PORT" on stdout once it listens.
"""
import argparse
import collections
import logging
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.ioloop import Select
from pyftpdlib.servers import FTPServer


class DelayedRepliesHandler(FTPHandler):
    reply_delay = 0.02

    def _held_replies(self):
        if not hasattr(self, "_held"):
            self._held = collections.deque()
            self._release_call = None
            self._close_when_released = False
        return self._held

    def push(self, s):
        held = self._held_replies()
        held.append((time.monotonic() + self.reply_delay, s))
        if self._release_call is None:
            self._schedule_release()

    def _schedule_release(self):
        due = self._held[0][0]
        self._release_call = self.ioloop.call_later(max(0.0, due - time.monotonic()), self._release_due)

    def _release_due(self):
        self._release_call = None
        if not self.connected:
            self._held.clear()
            return
        now = time.monotonic()
        while self._held and self._held[0][0] <= now:
            FTPHandler.push(self, self._held.popleft()[1])
        if self._held:
            self._schedule_release()
        elif self._close_when_released:
            FTPHandler.close_when_done(self)

    def close_when_done(self):
        if self._held_replies():
            self._close_when_released = True
        else:
            FTPHandler.close_when_done(self)

    def close(self):
        self._held_replies()
        if self._release_call is not None and not self._release_call.cancelled:
            self._release_call.cancel()
        self._release_call = None
        self._held.clear()
        FTPHandler.close(self)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--delay", type=float, default=0.02)
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = DelayedRepliesHandler
    handler.reply_delay = args.delay
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    handler.banner = "pyftpdlib, replies %d ms late." % round(args.delay * 1000)
    # Warnings only: a line per command would cost the single thread time.
    logging.basicConfig(stream=sys.stderr, level=logging.WARNING, format="%(asctime)s %(message)s")
    # select(), not the default epoll loop: that one takes a wait of 0 s for
    # "wait forever", and a call falling due at once inside a timed call (the
    # close after QUIT schedules one) stalled every connection until the next packet.
    server = FTPServer(("127.0.0.1", args.port), handler, ioloop=Select())
    server.max_cons = 64
    print("ready %d" % server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
