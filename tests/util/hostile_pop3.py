#!/usr/bin/python3
"""A scripted POP3 server for the test suite, on 127.0.0.1 only, that can misbehave.

The mailbox is a folder of .eml files, one message each, numbered in name order; a
message's UID is its file name without ".eml". Commands: CAPA, USER, PASS, STAT, LIST,
UIDL, RETR, TOP, DELE, RSET, NOOP, QUIT, read from the stream in order, so pipelined
commands work. DELE only marks; QUIT removes the marked files; a connection that drops
commits nothing. Message data is sent with CR LF line ends and dot-stuffed.

Faults come from <mailbox>/faults, read when a connection opens, one per line. MSG is a
message number in the session's listing or a file name without ".eml":
  NO_PIPELINING          CAPA does not announce PIPELINING
  NO_TOP                 TOP is answered "-ERR"
  UID MSG uid            UIDL lists MSG with this UID
  DUP_UID MSG1 MSG2      UIDL lists MSG2 with MSG1's UID
  NO_UIDL MSG            UIDL leaves MSG out (LIST still reports it)
  LONG_UID MSG length    UIDL lists MSG with a UID of that many characters
  NO_STUFF MSG           RETR sends MSG's data without dot-stuffing
  LIE_SIZE MSG bytes     LIST and STAT report this size for MSG
  CUT_UIDL k             UIDL sends k listing lines, then closes the connection
  CUT_RETR MSG k         RETR sends k bytes of MSG's data, then closes (no terminator)
  ENDLESS_RETR MSG [bytes_per_second [cap_bytes]]
                         RETR sends MSG's data, then filler lines for ever, as fast as
                         the client reads (or at the given rate); after cap_bytes, if
                         given, it sends nothing more and holds the connection
  DRIP_RETR MSG seconds [bytes]
                         RETR sends MSG's data one byte (or that many) per interval
  SILENT_AFTER CMD       answers the first CMD, then answers nothing, holding the line
  ERR_RETR MSG           RETR MSG is answered "-ERR", as when another client deleted it
  FORGE_AFTER_RETR MSG   after RETR MSG's terminating ".", sends one more, forged,
                         empty message reply that no command asked for
Every command and every byte count of a faulty RETR is appended to <mailbox>/log.

Usage: hostile_pop3.py MAILBOX [--port N] [--user USER] [--password PW]
Prints "ready PORT" once it listens; ends when its standard input closes.
"""
import argparse
import asyncio
import os
import sys

CHUNK = 1 << 20


def wire(data):
    """The message as sent: CR LF line ends, dot-stuffed, without the terminator."""
    data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    if data and not data.endswith(b"\r\n"):
        data += b"\r\n"
    data = data.replace(b"\r\n.", b"\r\n..")
    return b"." + data if data.startswith(b".") else data


def wire_chunks(path):
    """wire() of a file, a megabyte at a time, cut at line ends."""
    carry = b""
    with open(path, "rb") as f:
        while True:
            block = f.read(CHUNK)
            if not block:
                break
            block = carry + block
            cut = block.rfind(b"\n") + 1
            carry = block[cut:]
            if cut:
                yield wire(block[:cut])
    if carry:
        yield wire(carry)


def octets(path):
    size, bare = 0, 0
    with open(path, "rb") as f:
        while block := f.read(CHUNK):
            size += len(block)
            bare += block.count(b"\n") - block.count(b"\r\n")
    return size + bare


class Session:
    def __init__(self, args, reader, writer):
        self.args, self.reader, self.writer = args, reader, writer
        self.folder = args.mailbox
        self.names = sorted(n for n in os.listdir(self.folder) if n.endswith(".eml"))
        self.deleted = set()
        self.user = None
        self.authorised = False
        self.silent = False
        self.faults = []
        try:
            with open(os.path.join(self.folder, "faults")) as f:
                self.faults = [line.split() for line in f if line.strip()]
        except FileNotFoundError:
            pass

    def fault(self, name):
        return next((f[1:] for f in self.faults if f[0] == name), None)

    def number(self, token):
        """A message number from a fault: a number, or a file name without ".eml"."""
        if token + ".eml" in self.names:
            return self.names.index(token + ".eml") + 1
        return int(token)

    def log(self, text):
        with open(os.path.join(self.folder, "log"), "a") as f:
            f.write(text + "\n")

    def path(self, n):
        return os.path.join(self.folder, self.names[n - 1])

    def live(self):
        return [n for n in range(1, len(self.names) + 1) if n not in self.deleted]

    def uid(self, n):
        for f in self.faults:
            if f[0] == "LONG_UID" and self.number(f[1]) == n:
                return "u" * int(f[2])
            if f[0] == "UID" and self.number(f[1]) == n:
                return f[2]
            if f[0] == "DUP_UID" and self.number(f[2]) == n:
                return self.uid(self.number(f[1]))
        return self.names[n - 1][:-4]

    def size(self, n):
        for f in self.faults:
            if f[0] == "LIE_SIZE" and self.number(f[1]) == n:
                return int(f[2])
        return octets(self.path(n))

    def message(self, argument):
        try:
            n = int(argument)
        except ValueError:
            return None
        return n if n in self.live() else None

    async def send(self, data):
        self.writer.write(data)
        await self.writer.drain()

    async def line(self, text):
        await self.send(text.encode() + b"\r\n")

    async def run(self):
        await self.line("+OK hostile POP3 ready")
        while True:
            raw = await self.reader.readline()
            if not raw:
                return
            words = raw.decode("latin-1").strip().split(" ")
            command, rest = words[0].upper(), words[1:]
            self.log(" ".join([command] + (["****"] if command == "PASS" else rest)))
            if self.silent:
                continue
            if await self.handle(command, rest) is False:
                return
            after = self.fault("SILENT_AFTER")
            if after and after[0].upper() == command:
                self.silent = True

    async def handle(self, command, rest):
        if command == "QUIT":
            for n in sorted(self.deleted):
                os.remove(self.path(n))
            await self.line("+OK bye")
            return False
        if command == "CAPA":
            caps = ["USER", "UIDL", "TOP"]
            if self.fault("NO_PIPELINING") is None:
                caps.append("PIPELINING")
            await self.send(b"".join(c.encode() + b"\r\n" for c in ["+OK"] + caps + ["."]))
        elif command == "NOOP":
            await self.line("+OK")
        elif command == "USER" and rest:
            self.user = rest[0]
            await self.line("+OK")
        elif command == "PASS":
            self.authorised = self.user == self.args.user and " ".join(rest) == self.args.password
            await self.line("+OK logged in" if self.authorised else "-ERR wrong user or password")
        elif not self.authorised:
            await self.line("-ERR not logged in")
        elif command == "STAT":
            live = self.live()
            await self.line(f"+OK {len(live)} {sum(self.size(n) for n in live)}")
        elif command in ("LIST", "UIDL"):
            return await self.listing(command, rest)
        elif command == "RETR" and self.message(rest[0] if rest else ""):
            return await self.retrieve(self.message(rest[0]))
        elif command == "TOP" and self.fault("NO_TOP") is not None:
            await self.line("-ERR TOP is not supported")
        elif command == "TOP" and len(rest) == 2 and self.message(rest[0]) and rest[1].isdigit():
            with open(self.path(self.message(rest[0])), "rb") as f:
                head, _, body = wire(f.read()).partition(b"\r\n\r\n")
            lines = body.split(b"\r\n")[: int(rest[1])]
            await self.send(b"+OK\r\n" + b"\r\n".join([head, b""] + lines + [b".", b""]))
        elif command == "DELE" and self.message(rest[0] if rest else ""):
            self.deleted.add(self.message(rest[0]))
            await self.line("+OK marked")
        elif command == "RSET":
            self.deleted.clear()
            await self.line("+OK")
        else:
            await self.line("-ERR unknown command or no such message")

    async def listing(self, command, rest):
        value = self.uid if command == "UIDL" else self.size
        if rest:
            n = self.message(rest[0])
            await self.line(f"+OK {n} {value(n)}" if n else "-ERR no such message")
            return
        cut = self.fault("CUT_UIDL") if command == "UIDL" else None
        await self.line("+OK")
        left_out = self.fault("NO_UIDL") if command == "UIDL" else None
        for count, n in enumerate(self.live()):
            if left_out and self.number(left_out[0]) == n:
                continue
            if cut and count == int(cut[0]):
                self.log(f"{command} cut after {count} lines")
                return False
            await self.line(f"{n} {value(n)}")
        await self.line(".")

    async def retrieve(self, n):
        def matches(name):
            f = self.fault(name)
            return f if f and self.number(f[0]) == n else None

        if matches("ERR_RETR"):
            await self.line("-ERR no such message")
            return
        await self.line(f"+OK {self.size(n)} octets")
        if cut := matches("CUT_RETR"):
            data = wire(open(self.path(n), "rb").read())[: int(cut[1])]
            await self.send(data)
            self.log(f"RETR {n} cut after {len(data)} bytes")
            return False
        if drip := matches("DRIP_RETR"):
            data = wire(open(self.path(n), "rb").read()) + b".\r\n"
            step = int(drip[2]) if len(drip) > 2 else 1
            for at in range(0, len(data), step):
                await self.send(data[at: at + step])
                await asyncio.sleep(float(drip[1]))
            return
        if matches("NO_STUFF"):
            data = open(self.path(n), "rb").read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            await self.send(data + b".\r\n")
            return
        sent = 0
        for chunk in wire_chunks(self.path(n)):
            await self.send(chunk)
            sent += len(chunk)
        if endless := matches("ENDLESS_RETR"):
            rate = float(endless[1]) if len(endless) > 1 else 0
            cap = int(endless[2]) if len(endless) > 2 else 0
            filler = b"endless " * 127 + b"\r\n"
            block = filler * (max(1, int(rate) // len(filler) // 10) if rate else 64)
            try:
                while not cap or sent < cap:
                    await self.send(block)
                    sent += len(block)
                    if rate:
                        await asyncio.sleep(len(block) / rate)
            finally:
                self.log(f"RETR {n} endless sent {sent} bytes")
            await asyncio.Event().wait()  # past the cap: silence, the line held open
        await self.line(".")
        if matches("FORGE_AFTER_RETR"):
            await self.send(b"+OK forged\r\n.\r\n")
            self.log(f"RETR {n} followed by a forged reply")


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mailbox")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="pw")
    args = parser.parse_args()

    async def serve(reader, writer):
        try:
            await Session(args, reader, writer).run()
        except (ConnectionError, ValueError):
            pass
        finally:
            writer.close()

    server = await asyncio.start_server(serve, "127.0.0.1", args.port, limit=1 << 16)
    print("ready", server.sockets[0].getsockname()[1], flush=True)
    loop = asyncio.get_running_loop()
    await loop.run_in_executor(None, sys.stdin.read)  # ends when the test process goes away
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
