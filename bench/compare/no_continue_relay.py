#!/usr/bin/env python3
"""A relay on loopback that plays a server which never answers "100 Continue".

Passes every byte between the client and one target server, except that it drops the
`Expect` field from each request head before forwarding it: the server then never sends an
interim answer, and a client that asked for one waits its own time-out before it sends the
body, as it would in front of a proxy or service that ignores the field. Requests must carry
their body length (Content-Length or chunked), as every S3 client's do.

  no_continue_relay.py --target http://127.0.0.1:PORT [--port N]

Prints `ready PORT` on standard output once it listens.
"""

import argparse
import asyncio
import sys
from urllib.parse import urlsplit

LIMIT = 1024 * 1024
CHUNK = 256 * 1024


async def CopyExactly(reader, writer, count):
    while count > 0:
        data = await reader.read(min(CHUNK, count))
        if not data:
            raise ConnectionError("the client closed inside a body")
        writer.write(data)
        await writer.drain()
        count -= len(data)


async def CopyChunked(reader, writer):
    while True:
        line = await reader.readuntil(b"\r\n")
        writer.write(line)
        size = int(line.split(b";")[0].strip(), 16)
        if size == 0:
            # Trailer fields, then the empty line that ends the message.
            while True:
                line = await reader.readuntil(b"\r\n")
                writer.write(line)
                if line == b"\r\n":
                    await writer.drain()
                    return
        await CopyExactly(reader, writer, size + 2)


async def Requests(reader, writer):
    """Client to server: one request head after another, each without its Expect field."""
    try:
        while True:
            try:
                head = await reader.readuntil(b"\r\n\r\n")
            except asyncio.IncompleteReadError:
                break
            lines = head[:-4].split(b"\r\n")
            kept = [lines[0]]
            length, chunked = 0, False
            for line in lines[1:]:
                name, _, value = line.partition(b":")
                name = name.strip().lower()
                if name == b"expect":
                    continue
                if name == b"content-length":
                    length = int(value.strip())
                elif name == b"transfer-encoding" and b"chunked" in value.lower():
                    chunked = True
                kept.append(line)
            writer.write(b"\r\n".join(kept) + b"\r\n\r\n")
            await writer.drain()
            if chunked:
                await CopyChunked(reader, writer)
            elif length:
                await CopyExactly(reader, writer, length)
    except (ConnectionError, asyncio.IncompleteReadError, asyncio.LimitOverrunError, OSError):
        pass
    finally:
        writer.close()


async def Answers(reader, writer):
    """Server to client: passed on as it comes."""
    try:
        while True:
            data = await reader.read(CHUNK)
            if not data:
                break
            writer.write(data)
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    finally:
        writer.close()


async def Main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    target = urlsplit(args.target)

    async def Serve(clientReader, clientWriter):
        try:
            upReader, upWriter = await asyncio.open_connection(target.hostname, target.port,
                                                               limit=LIMIT)
        except OSError:
            clientWriter.close()
            return
        await asyncio.gather(Requests(clientReader, upWriter), Answers(upReader, clientWriter))

    server = await asyncio.start_server(Serve, "127.0.0.1", args.port, limit=LIMIT)
    print("ready %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(Main())
    except KeyboardInterrupt:
        sys.exit(0)
