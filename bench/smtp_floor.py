#!/usr/bin/python3
"""The least an SMTP client must do to send N mails: the SMTP half of the whole-mail floor.

One connection: greeting, EHLO, then the mails with every command pipelined, each mail
confirmed before the next one's message is sent (a relay deletes nothing it has not
seen accepted): the first MAIL, RCPT and DATA as one group, then each message with its
"." and the next mail's group in one write, one round trip per mail. With --stream,
everything is written at once and the replies read at the end (no mail is confirmed
before the next is sent: the bare transfer). The mails have the sizes
cycle_bench seeds (most 8-28 KB, one in ten 200-300 KB). Prints "smtpfloor N SECONDS",
timed from before the connection is opened to the answer to QUIT.

Usage: smtp_floor.py PORT N [--stream]
"""
import asyncio
import random
import sys
import time


def bodies(count):
    line = "今日の作業報告です。The quick brown fox jumps over the lazy dog.\r\n".encode()
    rng = random.Random(42)
    for i in range(count):
        size = 200 * 1024 + rng.randrange(100 * 1024) if i % 10 == 9 else 8 * 1024 + rng.randrange(20 * 1024)
        yield line * (size // len(line) + 1)


async def reply(reader):
    while True:
        line = await reader.readline()
        if not line:
            raise RuntimeError("connection closed")
        if line[3:4] != b"-":
            return line


GROUP = b"MAIL FROM:<relay@example.jp>\r\nRCPT TO:<to@example.jp>\r\nDATA\r\n"


async def expect(reader, n):
    for _ in range(n):
        code = await reply(reader)
        if code[:1] not in (b"2", b"3"):
            raise RuntimeError(code)


async def session(port, count, stream):
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    await reply(reader)
    writer.write(b"EHLO floor\r\n")
    await reply(reader)
    if stream:
        for i, body in enumerate(bodies(count)):
            writer.write(GROUP + b"Subject: floor %d\r\n\r\n" % i + body + b".\r\n")
        writer.write(b"QUIT\r\n")
        await expect(reader, count * 4 + 1)
    else:
        writer.write(GROUP)
        await expect(reader, 3)
        for i, body in enumerate(bodies(count)):
            last = i + 1 == count
            writer.write(b"Subject: floor %d\r\n\r\n" % i + body + b".\r\n" +
                         (b"QUIT\r\n" if last else GROUP))
            await expect(reader, 2 if last else 4)
    writer.close()


def main():
    port, count = int(sys.argv[1]), int(sys.argv[2])
    start = time.monotonic()
    asyncio.run(session(port, count, "--stream" in sys.argv[3:]))
    print("smtpfloor %d %.3f" % (count, time.monotonic() - start))


if __name__ == "__main__":
    main()
