#!/usr/bin/env python3
"""Reads every mail in a folder (sorted by name) with Python's email package
(policy=default) and prints one JSON list: subject, first From name and address, body
text, attachment count and the parser's defects. The reference the reader is compared to."""
import email
import email.policy
import json
import os
import sys


def first_mailbox(msg):
    try:
        header = msg["from"]
        if header is None:
            return "", ""
        for address in header.addresses:
            return address.display_name, address.addr_spec
    except Exception:
        pass
    return None, None


def body_part(msg):
    try:
        return msg.get_body(preferencelist=("plain", "html"))
    except Exception:
        return None


def body_text(part):
    try:
        if part is None:
            return None, None
        return part.get_content_subtype(), part.get_content()
    except Exception:
        return None, None


def attachments(msg, body):
    """Files as the relay counts them, on Python's parse: every leaf part other than the
    body that is marked as attachment or names a file, and every attached message as
    one file (its own parts are not this mail's)."""
    def walk(part):
        if part is body:
            return 0
        if part.get_content_type() == "message/rfc822":
            return 1
        if part.is_multipart():
            return sum(walk(p) for p in part.get_payload())
        disposition = part.get_content_disposition()
        return 1 if disposition == "attachment" or part.get_filename() else 0
    try:
        return walk(msg)
    except Exception:
        return None


def read(path):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    try:
        subject = msg["subject"]
        subject = None if subject is None else str(subject)
    except Exception:
        subject = None
    name, address = first_mailbox(msg)
    part = body_part(msg)
    kind, body = body_text(part)
    return {
        "file": os.path.basename(path),
        "subject": subject,
        "fromName": name,
        "fromAddress": address,
        "bodyKind": kind,
        "body": body,
        "attachments": attachments(msg, part),
        "defects": [type(d).__name__ for d in msg.defects],
    }


def main():
    folder = sys.argv[1]
    names = sorted(n for n in os.listdir(folder) if not n.startswith("."))
    json.dump([read(os.path.join(folder, n)) for n in names], sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
