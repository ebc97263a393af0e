#!/usr/bin/python3
"""The least a POP3 client must do to empty a mailbox: the floor for one check.

One connection: greeting, STLS and the TLS handshake (as the program does on a plain
port), USER, PASS, UIDL, every RETR sent at once, every DELE sent at once, QUIT. Each
step waits only for what the next one needs. Messages are read to their terminating
line and thrown away (no decoding). Prints "floor N SECONDS", timed from before the
connection is opened to the answer to QUIT.

Usage: pop3_floor.py PORT USER PASSWORD CA_FILE
"""
import asyncio
import ssl
import sys
import time

END = b"\r\n.\r\n"


async def command(reader, writer, line):
    writer.write(line + b"\r\n")
    reply = await reader.readline()
    if not reply.startswith(b"+OK"):
        raise RuntimeError(f"{line.split()[0].decode()}: {reply!r}")
    return reply


async def expect_ok(reader, what, multiline=False):
    reply = await (reader.readuntil(END) if multiline else reader.readline())
    if not reply.startswith(b"+OK"):
        raise RuntimeError(f"{what}: {reply[:200]!r}")
    return reply


async def session(port, user, password, ca_file):
    reader, writer = await asyncio.open_connection("127.0.0.1", port, limit=64 * 1024 * 1024)
    await expect_ok(reader, "greeting")
    await command(reader, writer, b"STLS")
    context = ssl.create_default_context(cafile=ca_file)
    await writer.start_tls(context, server_hostname="127.0.0.1")
    await command(reader, writer, b"USER " + user)
    await command(reader, writer, b"PASS " + password)
    writer.write(b"UIDL\r\n")
    listing = await expect_ok(reader, "UIDL", multiline=True)
    numbers = [line.split()[0] for line in listing.split(b"\r\n")[1:-2]]

    writer.write(b"".join(b"RETR " + n + b"\r\n" for n in numbers))
    for n in numbers:
        await expect_ok(reader, b"RETR " + n, multiline=True)
    writer.write(b"".join(b"DELE " + n + b"\r\n" for n in numbers))
    for n in numbers:
        await expect_ok(reader, b"DELE " + n)
    await command(reader, writer, b"QUIT")
    writer.close()
    return len(numbers)


def main():
    port, user, password, ca_file = sys.argv[1:5]
    start = time.monotonic()
    count = asyncio.run(session(int(port), user.encode(), password.encode(), ca_file))
    print(f"floor {count} {time.monotonic() - start:.3f}", flush=True)


if __name__ == "__main__":
    main()
