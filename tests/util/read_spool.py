#!/usr/bin/python3
"""Prints the mails an SMTP spool holds (<n>.eml, in name order) as a JSON list of
{"subject", "body", "replyTo", "attachments": [{"name", "type", "data" (base64)}]},
decoded by Python's email package: a reading of what was sent that
does not share the program's own MIME code.

Usage: read_spool.py SPOOL
"""
import base64
import email
import email.policy
import json
import os
import sys

spool = sys.argv[1]
mails = []
for name in sorted(n for n in os.listdir(spool) if n.endswith(".eml")):
    with open(os.path.join(spool, name), "rb") as f:
        message = email.message_from_bytes(f.read(), policy=email.policy.default)
    part = message.get_body(preferencelist=("plain",))
    files = [{"name": f.get_filename() or "", "type": f.get_content_type(),
              "data": base64.b64encode(f.get_payload(decode=True) or b"").decode()}
             for f in message.iter_attachments()]
    mails.append({"subject": str(message.get("subject", "")),
                  "body": part.get_content() if part else "",
                  "replyTo": str(message.get("reply-to", "")),
                  "attachments": files})
json.dump(mails, sys.stdout, ensure_ascii=True)
