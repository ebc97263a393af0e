#!/usr/bin/python3
"""A TCP proxy on 127.0.0.1 that makes loopback behave like a distant server.

Every chunk read from one side is written to the other side half a round trip after it
arrived, in both directions, in the order it arrived; chunks already due may leave
together, none leaves before its time. A new connection costs one round trip before any
byte moves (the TCP handshake a real network charges). Bytes only, so TLS passes through
untouched. Buffering is bounded per direction: past QUEUE_LIMIT bytes waiting, the
sending side is no longer read until the queue drains.

Usage: delay_proxy.py --rtt MS TARGET_PORT [TARGET_PORT...]
Listens on one free port per target (all on 127.0.0.1) and prints
"ready LISTEN_PORT [LISTEN_PORT...]" once every listener is up.
"""
import argparse
import asyncio
import collections
import socket
import sys

QUEUE_LIMIT = 8 * 1024 * 1024
HOST = "127.0.0.1"


class Side(asyncio.Protocol):
    """One socket of a proxied connection; what it reads goes to its peer, delayed."""

    def __init__(self, loop, delay, peer=None):
        self.loop = loop
        self.delay = delay
        self.transport = None
        self.peer = peer
        self.queue = collections.deque()  # (due, bytes), or (due, None) for end of stream
        self.queued = 0
        self.timer = None
        self.closed = False
        self.writable = True
        self.eof_got = False
        self.eof_sent = False

    def connection_made(self, transport):
        self.transport = transport
        transport.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def data_received(self, data):
        self.peer.later(data)
        if self.peer.queued > QUEUE_LIMIT:
            self.transport.pause_reading()

    def eof_received(self):
        self.eof_got = True
        self.peer.later(None)
        if self.eof_sent:
            self.transport.close()
        return True  # the other direction stays open until its own end arrives

    def connection_lost(self, exc):
        self.closed = True
        if self.peer is not None and not self.peer.closed:
            self.peer.later(None)

    # This side's socket is full: stop reading the peer until it drains.
    def pause_writing(self):
        self.writable = False
        if self.peer is not None:
            self.peer.transport.pause_reading()

    def resume_writing(self):
        self.writable = True
        if self.peer is not None and self.queued <= QUEUE_LIMIT:
            self.peer.transport.resume_reading()

    def later(self, data):
        """Queues bytes (None: the end of the stream) to be written on this side after the delay."""
        self.queue.append((self.loop.time() + self.delay, data))
        self.queued += len(data) if data else 0
        if self.timer is None:
            self.timer = self.loop.call_at(self.queue[0][0], self.flush)

    def flush(self):
        self.timer = None
        now = self.loop.time()
        chunks = []
        end = False
        while self.queue and self.queue[0][0] <= now:
            _, data = self.queue.popleft()
            if data is None:
                end = True
                break
            chunks.append(data)
            self.queued -= len(data)
        if self.closed:
            return
        if chunks:
            self.transport.write(b"".join(chunks))
        if end:
            self.finish()
            return
        if self.writable and self.queued <= QUEUE_LIMIT:
            self.peer.transport.resume_reading()
        if self.queue:
            self.timer = self.loop.call_at(self.queue[0][0], self.flush)

    def finish(self):
        """The peer's stream ended: pass the end on, and close once both directions ended."""
        self.queue.clear()
        self.queued = 0
        if self.eof_sent or self.peer.closed or not self.transport.can_write_eof():
            self.transport.close()
            return
        try:
            self.transport.write_eof()
        except OSError:  # the other end went away meanwhile
            self.transport.close()
            return
        self.eof_sent = True
        if self.eof_got:
            self.transport.close()


class ClientSide(Side):
    """The accepted socket. The server side opens one round trip later; what the client
    sent before then leaves as if it had arrived at that moment."""

    def __init__(self, loop, rtt, target_port, tasks):
        super().__init__(loop, rtt / 2)
        self.rtt = rtt
        self.target_port = target_port
        self.tasks = tasks
        self.early = []  # bytes, or None for end of stream, read before the server side opened

    def connection_made(self, transport):
        super().connection_made(transport)
        task = self.loop.create_task(self.connect())
        self.tasks.add(task)
        task.add_done_callback(self.tasks.discard)

    def data_received(self, data):
        if self.peer is None:
            self.early.append(data)
        else:
            super().data_received(data)

    def eof_received(self):
        if self.peer is None:
            self.eof_got = True
            self.early.append(None)
            return True
        return super().eof_received()

    async def connect(self):
        await asyncio.sleep(self.rtt)
        try:
            _, server = await self.loop.create_connection(
                lambda: Side(self.loop, self.delay, self), HOST, self.target_port
            )
        except OSError:
            self.transport.close()
            return
        if self.closed:
            server.transport.close()
            return
        self.peer = server
        for data in self.early:
            server.later(data)
        self.early = []


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rtt", type=float, required=True, help="round trip in milliseconds")
    parser.add_argument("targets", type=int, nargs="+", help="ports on 127.0.0.1 to forward to")
    args = parser.parse_args()
    loop = asyncio.get_running_loop()
    rtt = args.rtt / 1000.0
    tasks = set()  # keeps the connecting tasks alive
    servers = []
    for port in args.targets:
        factory = lambda port=port: ClientSide(loop, rtt, port, tasks)
        servers.append(await loop.create_server(factory, HOST, 0, backlog=256))
    print("ready", *(server.sockets[0].getsockname()[1] for server in servers), flush=True)
    await asyncio.Event().wait()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
