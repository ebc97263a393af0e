#!/usr/bin/python3
"""A small OAuth2 authorization server for the test suite, on 127.0.0.1 only (https).

Grants: authorization code with PKCE (S256 required; RFC 6749, RFC 7636), refresh with a
new refresh token every time (the old one is refused from then on), and the device flow
(RFC 8628). Revocation (RFC 7009) at /revoke. The user who "signs in" at /authorize is
the login_hint; /device/verify?user_code=C&user=U is the user approving a device code.

Access tokens are JWTs signed with HS256 under the key in the --signing-key file (base64,
the format Dovecot's local validation reads), kid "default", with sub and email set to the
user. A "pad" claim makes every token longer than a POP3 command line may be.

Control, read at every request from STATE/config.json (all optional):
  {"lifetime": seconds an access token lives (default --lifetime),
   "refuse_code": true (the token endpoint refuses every code),
   "interval": the device flow's polling interval (default 1)}
Every token request is appended to STATE/token-requests.log as "EPOCH GRANT RESULT";
a file STATE/revoked listing user names revokes their refresh tokens at the next request.

Usage: oauth_server.py PORT STATE --signing-key FILE --cert CERT --key KEY [--lifetime S]
Prints "ready" once it listens; ends when its standard input closes.
"""
import argparse
import base64
import hashlib
import hmac
import json
import os
import secrets
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CLIENT_ID = "tarnpost-test"
DEVICE_GRANT = "urn:ietf:params:oauth:grant-type:device_code"


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


class Authority:
    def __init__(self, key, state, lifetime, port):
        self.key = key
        self.state = state
        self.lifetime = lifetime
        self.port = port
        self.lock = threading.Lock()
        self.codes = {}     # code -> (user, redirect_uri, challenge, scope)
        self.refresh = {}   # refresh token -> (user, scope)
        self.devices = {}   # device code -> {"user_code", "user", "scope", "expires", "last"}

    def config(self):
        try:
            with open(os.path.join(self.state, "config.json")) as f:
                return json.load(f)
        except FileNotFoundError:
            return {}

    def record(self, grant, result):
        with open(os.path.join(self.state, "token-requests.log"), "a") as f:
            f.write("%d %s %s\n" % (time.time(), grant, result))

    def apply_revocations(self):
        try:
            with open(os.path.join(self.state, "revoked")) as f:
                users = set(f.read().split())
        except FileNotFoundError:
            return
        for token in [t for t, (user, _) in self.refresh.items() if user in users]:
            del self.refresh[token]

    def access_token(self, user, scope):
        now = int(time.time())
        header = {"alg": "HS256", "typ": "JWT", "kid": "default"}
        claims = {"iss": "https://127.0.0.1:%d" % self.port, "sub": user, "email": user,
                  "aud": CLIENT_ID, "scope": scope, "iat": now,
                  "exp": now + int(self.config().get("lifetime", self.lifetime)),
                  "jti": secrets.token_hex(8), "pad": "x" * 200}
        signing_input = b64url(json.dumps(header).encode()) + "." + \
            b64url(json.dumps(claims).encode())
        signature = hmac.new(self.key, signing_input.encode(), hashlib.sha256).digest()
        return signing_input + "." + b64url(signature)

    def tokens(self, user, scope):
        refresh = secrets.token_urlsafe(24)
        self.refresh[refresh] = (user, scope)
        return 200, {"access_token": self.access_token(user, scope), "token_type": "Bearer",
                     "expires_in": int(self.config().get("lifetime", self.lifetime)),
                     "refresh_token": refresh, "scope": scope}

    def token(self, form):
        grant = form.get("grant_type", "")
        with self.lock:
            self.apply_revocations()
            status, body = self.grant(grant, form)
            self.record(grant, body.get("error", "ok"))
            return status, body

    def grant(self, grant, form):
        if form.get("client_id") != CLIENT_ID:
            return 401, {"error": "invalid_client"}
        if grant == "authorization_code":
            entry = self.codes.pop(form.get("code", ""), None)
            if entry is None or self.config().get("refuse_code"):
                return 400, {"error": "invalid_grant"}
            user, redirect_uri, challenge, scope = entry
            verifier = form.get("code_verifier", "")
            if form.get("redirect_uri") != redirect_uri or \
                    b64url(hashlib.sha256(verifier.encode()).digest()) != challenge:
                return 400, {"error": "invalid_grant", "error_description": "PKCE check failed"}
            return self.tokens(user, scope)
        if grant == "refresh_token":
            entry = self.refresh.pop(form.get("refresh_token", ""), None)  # rotated: once only
            if entry is None:
                return 400, {"error": "invalid_grant",
                             "error_description": "the refresh token was revoked"}
            return self.tokens(*entry)
        if grant == DEVICE_GRANT:
            device = self.devices.get(form.get("device_code", ""))
            if device is None or device["expires"] < time.time():
                return 400, {"error": "expired_token"}
            now = time.time()
            interval = float(self.config().get("interval", 1))
            early = now - device["last"] < interval * 0.9
            device["last"] = now
            if early:
                return 400, {"error": "slow_down"}
            if device["user"] is None:
                return 400, {"error": "authorization_pending"}
            del self.devices[form["device_code"]]
            return self.tokens(device["user"], device["scope"])
        return 400, {"error": "unsupported_grant_type"}


class Handler(BaseHTTPRequestHandler):
    authority = None

    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        data = json.dumps(body).encode() if isinstance(body, dict) else body.encode()
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type",
                         "application/json" if isinstance(body, dict) else "text/html")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(data)

    def form(self):
        length = int(self.headers.get("Content-Length", 0))
        if "application/x-www-form-urlencoded" not in self.headers.get("Content-Type", ""):
            return None
        return dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        a = self.authority
        if url.path == "/authorize":
            redirect = query.get("redirect_uri", "")
            target = urllib.parse.urlsplit(redirect)
            if query.get("client_id") != CLIENT_ID or query.get("response_type") != "code" \
                    or target.scheme != "http" or target.hostname != "127.0.0.1":
                return self.reply(400, "<p>bad authorization request</p>")
            if query.get("code_challenge_method") != "S256" or not query.get("code_challenge"):
                return self.reply(400, "<p>PKCE S256 is required</p>")
            code = secrets.token_urlsafe(16)
            with a.lock:
                a.codes[code] = (query.get("login_hint", "nobody"), redirect,
                                 query["code_challenge"], query.get("scope", ""))
            back = redirect + ("&" if "?" in redirect else "?") + urllib.parse.urlencode(
                {"code": code, "state": query.get("state", "")})
            return self.reply(302, "<p>signed in</p>", [("Location", back)])
        if url.path == "/device/verify":
            with a.lock:
                for device in a.devices.values():
                    if device["user_code"] == query.get("user_code"):
                        device["user"] = query.get("user")
                        return self.reply(200, "<p>device approved</p>")
            return self.reply(404, "<p>no such code</p>")
        self.reply(404, "<p>not found</p>")

    def do_POST(self):
        form = self.form()
        if form is None:
            return self.reply(400, {"error": "invalid_request"})
        a = self.authority
        path = urllib.parse.urlsplit(self.path).path
        if path == "/token":
            return self.reply(*a.token(form))
        if path == "/device_authorization":
            if form.get("client_id") != CLIENT_ID:
                return self.reply(401, {"error": "invalid_client"})
            device_code = secrets.token_urlsafe(24)
            user_code = "%04X-%04X" % (secrets.randbelow(65536), secrets.randbelow(65536))
            with a.lock:
                a.devices[device_code] = {"user_code": user_code, "user": None,
                                          "scope": form.get("scope", ""),
                                          "expires": time.time() + 300, "last": 0}
            base = "https://127.0.0.1:%d/device" % a.port
            return self.reply(200, {"device_code": device_code, "user_code": user_code,
                                    "verification_uri": base,
                                    "verification_uri_complete": base + "?user_code=" + user_code,
                                    "expires_in": 300,
                                    "interval": int(a.config().get("interval", 1))})
        if path == "/revoke":
            with a.lock:
                a.refresh.pop(form.get("token", ""), None)
            return self.reply(200, {})
        self.reply(404, {"error": "not_found"})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("state")
    parser.add_argument("--signing-key", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--lifetime", type=int, default=3600)
    args = parser.parse_args()
    with open(args.signing_key) as f:
        key = base64.b64decode(f.read().strip())
    Handler.authority = Authority(key, args.state, args.lifetime, args.port)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("ready", flush=True)
    sys.stdin.read()  # ends when the test process goes away
    server.shutdown()


if __name__ == "__main__":
    main()
