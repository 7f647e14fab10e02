"""Reads one stored mail message and prints what a mail reader would show, as JSON:
the decoded header fields, the decoded text, each attachment's name, size and SHA-256,
and the parser's complaints (of the message, its parts and every header field, read
with the strict policy). Used by the mail tests to check the sender's output with
Python's own email package rather than with our own decoding."""
import email
import hashlib
import json
import sys
from email import policy


def main():
    with open(sys.argv[1], "rb") as source:
        data = source.read()
    message = email.message_from_bytes(data, policy=policy.strict)
    out = {
        "from": str(message["From"]),
        "to": [str(value) for value in message.get_all("To", [])],
        "cc": [str(value) for value in message.get_all("Cc", [])],
        "bcc": [str(value) for value in message.get_all("Bcc", [])],
        "subject": str(message["Subject"] or ""),
        "multipart": message.is_multipart(),
        "text": None,
        "charset": None,
        "attachments": [],
        "defects": [],
        "longest_line": max((len(line) for line in data.split(b"\r\n")), default=0),
        "bare_lf": data.replace(b"\r\n", b"").count(b"\n"),
    }
    for part in message.walk():
        out["defects"] += [type(defect).__name__ for defect in part.defects]
        for name, value in part.items():
            out["defects"] += [name + ": " + type(defect).__name__ for defect in getattr(value, "defects", ())]
        if part.is_multipart():
            continue
        name = part.get_filename()
        if name is None and part.get_content_maintype() == "text":
            out["text"] = part.get_content().replace("\r\n", "\n")
            out["charset"] = part.get_content_charset()
        else:
            payload = part.get_payload(decode=True) or b""
            out["attachments"].append({
                "name": name,
                "size": len(payload),
                "sha256": hashlib.sha256(payload).hexdigest(),
            })
    json.dump(out, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
