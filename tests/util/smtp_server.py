#!/usr/bin/python3
"""A real SMTP server for the test suite (aiosmtpd), on 127.0.0.1 only.

Stores every accepted message as <spool>/<n>.eml (the DATA content) with the envelope
in <n>.env. Offers STARTTLS when given a certificate, and requires AUTH (PLAIN/LOGIN,
after STARTTLS) when given a user. Faults are read from <spool>/faults before every
command, one "STAGE VALUE" per line, so a test can make the server refuse or stall at
any stage while it runs: "MAIL 550", "RCPT 451", "DATA 554" refuse that command;
"DATA_AFTER 1 451" refuses DATA once the spool holds one accepted message;
"DATA_SUBJECT text 554" refuses DATA, every time, for a message whose decoded subject
contains the text; "DATA_BODY text 554" likewise for one whose decoded text body does;
"HANG_DATA 30" waits 30 seconds before answering DATA (and keeps nothing if the client
has gone by then); "DROP_DATA 1" closes the
connection once the message body is in, without an answer; "CLOSE_IDLE 1" accepts the
message, then says 421 and closes the connection a moment later, as a server does with
an idle client; "JUNK_REPLY 1" keeps the message and answers with a 1 MB line. Every EHLO adds a line to
<spool>/greetings, one per connection.

With --oauth-key (the signing key of oauth_server.py's tokens, base64) the server takes
AUTH XOAUTH2 and OAUTHBEARER (RFC 7628) instead of passwords: the token must carry a good
signature, must not have expired, and must name --user as its subject. Command and
response lines may then be 8 KiB long, as tokens are. Every AUTH is appended to
<spool>/auth as "MECHANISM FORM RESULT" (FORM: "initial" with the command, "challenge"
after an empty 334).

Usage: smtp_server.py PORT SPOOL [--cert CERT --key KEY] [--user USER --password PW]
                      [--oauth-key FILE]
Prints "ready" once it listens.
"""
import argparse
import asyncio
import base64
import binascii
import collections
import hashlib
import hmac
import json
import email
import email.policy
import os
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult

TOKEN_LINE_LIMIT = 8192


def faults(spool):
    try:
        with open(os.path.join(spool, "faults")) as f:
            return dict(line.split(None, 1) for line in f.read().splitlines() if line.strip())
    except FileNotFoundError:
        return {}


class Store:
    def __init__(self, spool):
        self.spool = spool
        self.count = 0

    def refusal(self, stage):
        code = faults(self.spool).get(stage)
        return f"{code.strip()} refused by test" if code else None

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        # One greeting per connection: tests count connections by these lines.
        with open(os.path.join(self.spool, "greetings"), "a") as f:
            f.write(hostname + "\n")
        session.host_name = hostname
        return responses

    async def handle_MAIL(self, server, session, envelope, address, options):
        refusal = self.refusal("MAIL")
        if refusal:
            return refusal
        envelope.mail_from = address
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, options):
        refusal = self.refusal("RCPT")
        if refusal:
            return refusal
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if faults(self.spool).get("DROP_DATA"):
            server.transport.abort()
            return "451 dropped"
        stall = faults(self.spool).get("HANG_DATA")
        if stall:
            await asyncio.sleep(float(stall))
            if server.transport is None or server.transport.is_closing():
                return "451 client gone"  # never answered, so never took the message
        refusal = self.refusal("DATA")
        if refusal:
            return refusal
        matching = faults(self.spool).get("DATA_SUBJECT")
        if matching:
            text, code = matching.rsplit(None, 1)
            message = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
            if text in str(message.get("subject", "")):
                return f"{code} refused by test"
        matching = faults(self.spool).get("DATA_BODY")
        if matching:
            text, code = matching.rsplit(None, 1)
            message = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
            body = message.get_body(preferencelist=("plain",))
            if body is not None and text in body.get_content():
                return f"{code} refused by test"
        after = faults(self.spool).get("DATA_AFTER")
        if after:
            limit, code = after.split()
            accepted = [n for n in os.listdir(self.spool) if n.endswith(".eml")]
            if len(accepted) >= int(limit):
                return f"{code} refused by test"
        self.count += 1
        base = os.path.join(self.spool, "%06d" % self.count)
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".env", "w") as f:
            f.write(envelope.mail_from + "\n" + "\n".join(envelope.rcpt_tos) + "\n")
        os.rename(base + ".tmp", base + ".eml")
        if faults(self.spool).get("JUNK_REPLY"):
            return "250 " + "x" * (1024 * 1024)
        if faults(self.spool).get("CLOSE_IDLE"):
            transport = server.transport

            def close():
                transport.write(b"421 4.4.2 idle too long\r\n")
                transport.close()
            asyncio.get_running_loop().call_later(0.2, close)
        return "250 Message accepted"


def token_subject(token, key):
    """The subject of a good, unexpired token signed with key; None otherwise."""
    try:
        head, body, signature = token.split(".")
        expected = hmac.new(key, (head + "." + body).encode(), hashlib.sha256).digest()
        given = base64.urlsafe_b64decode(signature + "=" * (-len(signature) % 4))
        claims = json.loads(base64.urlsafe_b64decode(body + "=" * (-len(body) % 4)))
    except (ValueError, binascii.Error):
        return None
    if not hmac.compare_digest(expected, given) or claims.get("exp", 0) < time.time():
        return None
    return claims.get("sub")


class OAuthStore(Store):
    """Store that logs in by bearer token only."""

    def __init__(self, spool, key, user):
        super().__init__(spool)
        self.key = key
        self.user = user

    def note(self, mechanism, form, result):
        with open(os.path.join(self.spool, "auth"), "a") as f:
            f.write("%s %s %s\n" % (mechanism, form, result))

    async def sasl(self, server, args, mechanism, parse, abort):
        form = "initial" if len(args) > 1 else "challenge"
        if len(args) > 1:
            try:
                response = base64.b64decode(args[1], validate=True)
            except binascii.Error:
                response = b""
        else:
            response = await server.challenge_auth("")
            if not isinstance(response, bytes):
                self.note(mechanism, form, "aborted")
                return AuthResult(success=False, handled=True)
        user, token = parse(response)
        if user == self.user and token and token_subject(token, self.key) == self.user:
            self.note(mechanism, form, "ok")
            return AuthResult(success=True)
        self.note(mechanism, form, "refused")
        # The error is a challenge the client answers before the final reply.
        error = json.dumps({"status": "invalid_token", "scope": "mail"}).encode()
        answer = await server.challenge_auth(error)
        if answer != abort:
            self.note(mechanism, form, "bad-abort")
        return AuthResult(success=False, handled=False, message="535 5.7.8 token refused")

    async def auth_XOAUTH2(self, server, args):
        def parse(response):
            fields = dict(f.split("=", 1) for f in response.decode(errors="replace")
                          .split("\x01") if "=" in f)
            auth = fields.get("auth", "")
            return fields.get("user"), auth[7:] if auth.startswith("Bearer ") else None
        return await self.sasl(server, args, "XOAUTH2", parse, b"")

    async def auth_OAUTHBEARER(self, server, args):
        def parse(response):
            text = response.decode(errors="replace")
            header, _, rest = text.partition("\x01")
            parts = header.split(",")
            user = next((p[2:] for p in parts if p.startswith("a=")), None)
            if not text.endswith("\x01\x01") or parts[0] not in ("n", "y"):
                return None, None
            fields = dict(f.split("=", 1) for f in rest.split("\x01") if "=" in f)
            auth = fields.get("auth", "")
            return user, auth[7:] if auth.startswith("Bearer ") else None
        return await self.sasl(server, args, "OAUTHBEARER", parse, b"\x01")


class LongLineSMTP(SMTP):
    line_length_limit = TOKEN_LINE_LIMIT

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.command_size_limits = collections.defaultdict(lambda: TOKEN_LINE_LIMIT)


class OAuthController(Controller):
    def factory(self):
        return LongLineSMTP(self.handler, **self.SMTP_kwargs)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("spool")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--oauth-key")
    args = parser.parse_args()

    kwargs = {}
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        kwargs["tls_context"] = context
    handler, controller_class = Store(args.spool), Controller
    if args.oauth_key:
        with open(args.oauth_key) as f:
            key = base64.b64decode(f.read().strip())
        handler, controller_class = OAuthStore(args.spool, key, args.user), OAuthController
        kwargs.update(auth_required=True, auth_require_tls=bool(args.cert),
                      auth_exclude_mechanism=["PLAIN", "LOGIN"])
    elif args.user:
        def authenticate(server, session, envelope, mechanism, auth_data):
            ok = (auth_data.login.decode() == args.user and
                  auth_data.password.decode() == args.password)
            return AuthResult(success=ok)
        kwargs.update(authenticator=authenticate, auth_required=True,
                      auth_require_tls=bool(args.cert))
    controller = controller_class(handler, hostname="127.0.0.1", port=args.port,
                            data_size_limit=64 * 1024 * 1024, **kwargs)
    controller.start()
    print("ready", flush=True)
    try:
        sys.stdin.read()  # ends when the test process goes away
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
