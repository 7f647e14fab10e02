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
