"""aiosmtpd handler for the tests: keeps every accepted message as files.

Started as: /usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:PORT -c smtp_sink.SaveToFolder FOLDER
(with this folder on PYTHONPATH). Message number N (from 1) becomes FOLDER/NNNN/ with
  helo  the HELO/EHLO name,
  from  the envelope sender (MAIL FROM),
  rcpt  the envelope recipients, one per line (LF),
  data  the message bytes exactly as received after DATA (dot-unstuffed, CR LF kept).
Each folder is written under a temporary name and renamed into place, so a reader
never sees a half-written message.
"""
import os


class SaveToFolder:
    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.count = 0

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("SaveToFolder takes one argument: the folder")
        return cls(args[0])

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = "%04d" % self.count
        temp = os.path.join(self.folder, "." + name + ".part")
        os.makedirs(temp, exist_ok=True)
        parts = {
            "helo": (session.host_name or "").encode("utf-8", "surrogateescape"),
            "from": (envelope.mail_from or "").encode("utf-8", "surrogateescape"),
            "rcpt": "\n".join(envelope.rcpt_tos).encode("utf-8", "surrogateescape"),
            "data": envelope.original_content or b"",
        }
        for part, value in parts.items():
            with open(os.path.join(temp, part), "wb") as out:
                out.write(value)
        os.rename(temp, os.path.join(self.folder, name))
        return "250 Message accepted for delivery"


def main():
    """With TLS or a login the server is started through aiosmtpd's controller:
    smtp_sink.py --port N --folder DIR [--cert C --key K --tls offered|required|implicit]
                 [--login "USER<LF>PASSWORD"]"""
    import argparse
    import signal
    import ssl
    import threading

    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult, LoginPassword

    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--tls", choices=["offered", "required", "implicit"])
    parser.add_argument("--login")
    options = parser.parse_args()

    context = None
    if options.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(options.cert, options.key)
    parameters = {}
    if options.login:
        user, password = options.login.split("\n", 1)

        def authenticator(server, session, envelope, mechanism, data):
            ok = isinstance(data, LoginPassword) and data.login == user.encode() \
                and data.password == password.encode()
            return AuthResult(success=ok, handled=False)

        # aiosmtpd counts only STARTTLS as TLS: on the implicit port it would
        # hide AUTH.
        parameters.update(authenticator=authenticator, auth_required=True,
                          auth_require_tls=options.tls in ("offered", "required"))
    if options.tls == "implicit":
        controller = Controller(SaveToFolder(options.folder), hostname="127.0.0.1", port=options.port,
                                ssl_context=context, **parameters)
    else:
        if context:
            parameters.update(tls_context=context, require_starttls=options.tls == "required")
        controller = Controller(SaveToFolder(options.folder), hostname="127.0.0.1", port=options.port,
                                **parameters)
    controller.start()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
