#!/usr/bin/python3
"""A TLS server with a faulty certificate, for the tests of certificate checks.

Speaks implicit TLS on 127.0.0.1 with a certificate made at start from the suite's test
CA: "otherHost" (valid, for other.example only), "expired" (valid for 127.0.0.1, ended
yesterday) or "selfSigned" (for 127.0.0.1, signed by its own key). After a handshake it
greets with GREETING and reads what the client sends. Every connection appends to LOG
the number of bytes the client sent over TLS, so a test can assert that nothing, no
credential, crossed.

Usage: tls_server.py PORT CA_CERT CA_KEY KIND GREETING LOG
"""
import datetime
import ipaddress
import socket
import ssl
import sys
import tempfile
import threading

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID


def certificate(kind, ca_cert_path, ca_key_path):
    key = ec.generate_private_key(ec.SECP256R1())
    with open(ca_cert_path, "rb") as f:
        ca_cert = x509.load_pem_x509_certificate(f.read())
    with open(ca_key_path, "rb") as f:
        ca_key = serialization.load_pem_private_key(f.read(), None)
    now = datetime.datetime.now(datetime.timezone.utc)
    host = "other.example" if kind == "otherHost" else "127.0.0.1"
    names = [x509.DNSName(host)] if kind == "otherHost" else [
        x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]
    start, end = (now - datetime.timedelta(days=3), now - datetime.timedelta(days=1)) \
        if kind == "expired" else (now - datetime.timedelta(days=1), now + datetime.timedelta(days=2))
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, host)])
    issuer, signer = (subject, key) if kind == "selfSigned" else (ca_cert.subject, ca_key)
    cert = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(start).not_valid_after(end)
            .add_extension(x509.SubjectAlternativeName(names), critical=False)
            .sign(signer, hashes.SHA256()))
    files = tempfile.NamedTemporaryFile(suffix=".pem", delete=False)
    files.write(cert.public_bytes(serialization.Encoding.PEM))
    files.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))
    files.close()
    return files.name


def serve(connection, context, greeting, log):
    received = 0
    try:
        with context.wrap_socket(connection, server_side=True) as tls:
            tls.settimeout(5)
            tls.sendall(greeting.encode() + b"\r\n")
            while True:
                data = tls.recv(4096)
                if not data:
                    break
                received += len(data)
    except (OSError, ssl.SSLError):
        pass
    with open(log, "a") as f:
        f.write("%d\n" % received)


def main():
    port, ca_cert, ca_key, kind, greeting, log = sys.argv[1:7]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate(kind, ca_cert, ca_key))
    listener = socket.create_server(("127.0.0.1", int(port)))
    threading.Thread(target=lambda: sys.stdin.read() or listener.close(), daemon=True).start()
    print("ready", flush=True)
    while True:
        try:
            connection, _ = listener.accept()
        except OSError:
            return
        threading.Thread(target=serve, args=(connection, context, greeting, log), daemon=True).start()


if __name__ == "__main__":
    main()
