#!/usr/bin/env python3
"""A relay on loopback that plays a wide-area path between S3 clients and one local server.

Every connection a client opens to the relay is passed on to the target, with:
- a one-way delay on the data in both directions (half the round trip each way);
- the cost of opening a connection: the first byte a client sends reaches the server one
  round trip after the connection was accepted, plus the one-way delay, as after a handshake;
- at most WINDOW bytes in flight per connection and direction: bytes count from the moment
  they leave until their acknowledgement is back, one round trip later (a TCP window, so one
  connection moves at most WINDOW / round trip);
- a rate shared by every connection in each direction (a link of RATE bit/s), 0 for none.

It listens on 127.0.0.1 only and connects only to a loopback target. The data is moved as
timed chunks (at most 256 KiB each) by the event loop's timers, one timer per chunk, so it
keeps up with a gigabyte-sized transfer; reading pauses while more than a window's worth
waits to leave.

  rtt_relay.py --target http://127.0.0.1:PORT --rtt-ms 100 [--window-kib 4096]
               [--rate-mbit 1000] [--port N]

Prints `ready PORT` on standard output once it listens; on SIGTERM or SIGINT it prints the
bytes it moved each way and the connections it accepted on standard error, and exits.
"""

import argparse
import asyncio
import collections
import ipaddress
import signal
import sys
from urllib.parse import urlsplit

CHUNK = 256 * 1024
EOF = None


class Link:
    """One direction of the path, shared by every connection: when it is free again."""

    def __init__(self, rate):
        self.rate = rate  # bytes per second, 0: no limit
        self.free = 0.0
        self.bytes = 0

    def Send(self, start, size):
        """The time the last of `size` bytes, ready at `start`, has left."""
        self.bytes += size
        if not self.rate:
            return start
        start = max(start, self.free)
        self.free = start + size / self.rate
        return self.free


class Pipe:
    """One direction of one connection: what the source sent, on its way to the destination."""

    def __init__(self, loop, link, delay, window, ready):
        self.loop = loop
        self.link = link
        self.delay = delay
        self.window = window
        self.ready = ready  # nothing leaves before this time (the handshake)
        self.source = None  # transports, once known
        self.target = None
        self.waiting = collections.deque()  # received, not yet left (beyond the window)
        self.waitingBytes = 0
        self.flight = 0  # left, not yet acknowledged
        self.deliveries = collections.deque()  # (arrival time, data or EOF)
        self.timer = None
        self.lastArrival = 0.0
        self.sourceEnded = False
        self.endQueued = False
        self.ended = False  # the end was delivered
        self.readingPaused = False
        self.targetFull = False  # the destination's transport asked us to stop writing
        self.heldAcks = 0
        self.onEnded = None
        self.dead = False  # the connection is closed: nothing more is scheduled

    def Received(self, data):
        self.waiting.append(memoryview(data))
        self.waitingBytes += len(data)
        self.Pump()

    def SourceEnded(self):
        self.sourceEnded = True
        self.Pump()

    def Pump(self):
        if self.dead:
            return
        now = self.loop.time()
        while self.waiting and self.flight < self.window and self.target is not None:
            head = self.waiting[0]
            size = min(len(head), self.window - self.flight, CHUNK)
            if size == len(head):
                self.waiting.popleft()
            else:
                self.waiting[0] = head[size:]
            self.waitingBytes -= size
            self.flight += size
            left = self.link.Send(max(now, self.ready), size)
            arrival = max(left + self.delay, self.lastArrival)
            self.lastArrival = arrival
            self.deliveries.append((arrival, head[:size]))
        if (self.sourceEnded and not self.waiting and not self.endQueued and
                self.target is not None):
            self.endQueued = True
            arrival = max(now + self.delay, self.ready + self.delay, self.lastArrival)
            self.lastArrival = arrival
            self.deliveries.append((arrival, EOF))
        self.Schedule()
        source = self.source
        if source is not None and not source.is_closing():
            if self.waitingBytes >= self.window and not self.readingPaused:
                self.readingPaused = True
                source.pause_reading()
            elif self.waitingBytes < self.window and self.readingPaused:
                self.readingPaused = False
                source.resume_reading()

    def Schedule(self):
        if not self.dead and self.timer is None and self.deliveries:
            self.timer = self.loop.call_at(self.deliveries[0][0], self.Deliver)

    def Deliver(self):
        self.timer = None
        now = self.loop.time()
        while self.deliveries and self.deliveries[0][0] <= now:
            arrival, data = self.deliveries.popleft()
            closing = self.target.is_closing()
            if data is EOF:
                if not closing and self.target.can_write_eof():
                    self.target.write_eof()
                self.ended = True
                if self.onEnded:
                    self.onEnded()
                continue
            if closing:
                continue
            self.target.write(data)
            # Its acknowledgement comes back one delay after it arrived.
            self.loop.call_at(arrival + self.delay, self.Acknowledged, len(data))
        self.Schedule()

    def Acknowledged(self, size):
        if self.targetFull:
            # The receiver has not taken what it was given: its window stays closed.
            self.heldAcks += size
            return
        self.flight -= size
        self.Pump()

    def TargetDrained(self):
        self.targetFull = False
        size, self.heldAcks = self.heldAcks, 0
        if size:
            self.Acknowledged(size)


class Side(asyncio.Protocol):
    """One end of a relayed connection: what it receives goes into `outgoing`; `incoming`
    writes to it."""

    def __init__(self, connection, outgoing, incoming):
        self.connection = connection
        self.outgoing = outgoing
        self.incoming = incoming
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport
        self.outgoing.source = transport
        self.incoming.target = transport
        self.incoming.Pump()

    def data_received(self, data):
        self.outgoing.Received(data)

    def eof_received(self):
        self.outgoing.SourceEnded()
        return True  # keep the other direction open (a half-close)

    def pause_writing(self):
        self.incoming.targetFull = True

    def resume_writing(self):
        self.incoming.TargetDrained()

    def connection_lost(self, exc):
        self.connection.Lost(self, exc)


class Connection:
    def __init__(self, relay):
        self.relay = relay
        loop = relay.loop
        now = loop.time()
        delay = relay.delay
        # Client to server may start one round trip after the accept; the answers follow the
        # requests, so they need no wait of their own.
        self.up = Pipe(loop, relay.up, delay, relay.window, now + 2 * delay)
        self.down = Pipe(loop, relay.down, delay, relay.window, 0.0)
        self.client = Side(self, self.up, self.down)
        self.server = Side(self, self.down, self.up)
        self.up.onEnded = self.down.onEnded = self.MaybeClose
        self.closed = False

    async def Open(self):
        try:
            await self.relay.loop.create_connection(lambda: self.server, self.relay.host,
                                                    self.relay.port)
        except OSError:
            self.Close(abort=True)

    def MaybeClose(self):
        if self.up.ended and self.down.ended:
            self.Close()

    def Lost(self, side, exc):
        if self.closed:
            return
        if exc is not None:
            self.Close(abort=True)
            return
        # A clean close: what it sent still arrives, then its end.
        side.outgoing.SourceEnded()
        other = self.server if side is self.client else self.client
        if other.transport is None or other.transport.is_closing():
            self.Close()

    def Close(self, abort=False):
        if self.closed:
            return
        self.closed = True
        for side in (self.client, self.server):
            transport = side.transport
            if transport is not None and not transport.is_closing():
                transport.abort() if abort else transport.close()
        for pipe in (self.up, self.down):
            pipe.dead = True
            if pipe.timer is not None:
                pipe.timer.cancel()


class Relay:
    def __init__(self, loop, host, port, rttMs, windowKib, rateMbit):
        self.loop = loop
        self.host, self.port = host, port
        self.delay = rttMs / 2000.0
        self.window = windowKib * 1024
        rate = rateMbit * 1e6 / 8
        self.up, self.down = Link(rate), Link(rate)
        self.connections = 0

    def Accept(self):
        self.connections += 1
        connection = Connection(self)
        self.loop.create_task(connection.Open())
        return connection.client


def LoopbackTarget(text):
    target = urlsplit(text if "://" in text else "tcp://" + text)
    host = target.hostname or ""
    if host == "localhost":
        host = "127.0.0.1"
    try:
        loopback = ipaddress.ip_address(host).is_loopback
    except ValueError:
        loopback = False
    if not loopback or not target.port:
        raise SystemExit("rtt_relay: the target must be a loopback address with a port: " + text)
    return host, target.port


async def Main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--target", required=True, help="URL or HOST:PORT on loopback")
    parser.add_argument("--rtt-ms", type=float, default=100.0, help="round trip added")
    parser.add_argument("--window-kib", type=int, default=4096,
                        help="bytes in flight per connection and direction")
    parser.add_argument("--rate-mbit", type=float, default=1000.0,
                        help="rate shared per direction, Mbit/s; 0: no limit")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    host, port = LoopbackTarget(args.target)
    loop = asyncio.get_running_loop()
    relay = Relay(loop, host, port, args.rtt_ms, args.window_kib, args.rate_mbit)
    server = await loop.create_server(relay.Accept, "127.0.0.1", args.port)
    print("ready %d" % server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.Event()
    for signum in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(signum, stop.set)
    await stop.wait()
    server.close()
    print("rtt_relay: %d connections, %d bytes up, %d bytes down" % (
        relay.connections, relay.up.bytes, relay.down.bytes), file=sys.stderr, flush=True)


if __name__ == "__main__":
    asyncio.run(Main())
