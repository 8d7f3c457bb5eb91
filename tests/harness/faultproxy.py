#!/usr/bin/env python3
"""Fault-injecting HTTP/1.1 proxy for the integration tests.

Forwards every request unchanged to one target server, records what was sent, and fails the
requests that the test's rules select. Bodies are streamed in both directions, never held
whole, so uploads and downloads of several hundred MiB pass with a small, steady footprint.

A second, plain HTTP port takes the test's commands (line-based text, one `name value` per
line):
  POST /rules            add one rule (fields as in FaultRule)
  POST /clear-rules      drop every rule
  GET  /requests         the recorded requests, as `request` ... `end` blocks
  POST /clear-requests   forget the recorded requests
  GET  /ping             answers `ok`

On start-up the proxy prints `ready PROXY_PORT CONTROL_PORT` on its standard output.
"""

import argparse
import asyncio
import email.utils
import re
import socket
import struct
import sys
import time
import uuid
from urllib.parse import parse_qs, urlsplit

IO_CHUNK = 256 * 1024
STREAM_LIMIT = 1024 * 1024
BODY_KEPT = 64 * 1024
REASONS = {
    200: "OK", 301: "Moved Permanently", 302: "Found", 307: "Temporary Redirect",
    308: "Permanent Redirect", 400: "Bad Request", 403: "Forbidden", 404: "Not Found", 409: "Conflict",
    412: "Precondition Failed", 416: "Requested Range Not Satisfiable",
    500: "Internal Server Error", 501: "Not Implemented", 503: "Service Unavailable",
    504: "Gateway Timeout",
}


class Rule:
    def __init__(self, fields):
        self.method = fields.get("method", "*")
        self.pattern = re.compile(fields.get("pathRegex", ""))
        self.nth = int(fields.get("nth", "1"))
        self.count = int(fields.get("count", "1"))
        self.action = fields.get("action", "status")
        self.status = int(fields.get("status", "500"))
        self.errorCode = fields.get("errorCode", "InternalError")
        self.errorMessage = fields.get("errorMessage", "")
        self.truncateAfter = int(fields.get("truncateAfter", "0"))
        self.delayMs = int(fields.get("delayMs", "0"))
        self.location = fields.get("location", "")
        self.skewSeconds = int(fields.get("skewSeconds", "0"))
        self.matched = 0
        if self.action not in ("status", "reset", "truncate", "delay", "error200", "malformed",
                               "redirect", "empty200", "page200", "repeattoken", "clock"):
            raise ValueError("unknown action " + self.action)

    def Select(self, method, target):
        """Counts the request if it matches; true when this one is to fail."""
        if self.method != "*" and self.method.upper() != method.upper():
            return False
        if not self.pattern.search(target):
            return False
        self.matched += 1
        if self.matched < self.nth:
            return False
        return self.count < 0 or self.matched < self.nth + self.count


class Record:
    def __init__(self, method, target, headers):
        self.method = method
        self.target = target
        self.headers = headers
        self.bodyBytes = 0
        self.body = bytearray()
        self.status = 0
        self.fault = ""

    def Take(self, data):
        self.bodyBytes += len(data)
        room = BODY_KEPT - len(self.body)
        if room > 0:
            self.body += data[:room]

    def Text(self):
        lines = ["request", "method " + self.method, "target " + self.target,
                 "status %d" % self.status, "fault " + self.fault,
                 "bodyBytes %d" % self.bodyBytes, "body " + self.body.hex()]
        for name, value in self.headers.items():
            lines.append("header %s %s" % (name, value))
        lines.append("end")
        return "\n".join(lines) + "\n"


class Head:
    """Start line and header fields of one HTTP message, with its raw bytes."""

    def __init__(self, raw):
        self.raw = raw
        text = raw.decode("latin-1")
        lines = text.split("\r\n")
        self.startLine = lines[0]
        self.fields = []
        for line in lines[1:]:
            if not line:
                continue
            name, _, value = line.partition(":")
            self.fields.append((name.strip().lower(), value.strip()))

    def Get(self, name):
        for field, value in self.fields:
            if field == name:
                return value
        return None

    def Joined(self):
        joined = {}
        for name, value in self.fields:
            joined[name] = joined[name] + ", " + value if name in joined else value
        return joined

    def HasToken(self, name, token):
        value = self.Get(name)
        return value is not None and token in [t.strip().lower() for t in value.split(",")]


async def ReadHead(reader):
    """The next message head, or None at a clean end of stream."""
    try:
        raw = await reader.readuntil(b"\r\n\r\n")
    except asyncio.IncompleteReadError as e:
        if e.partial.strip():
            raise ConnectionError("incomplete message head")
        return None
    # Tolerate empty lines between messages.
    while raw.startswith(b"\r\n"):
        raw = raw[2:]
    return Head(raw)


async def CopyExactly(reader, writer, length, sink):
    """Copies `length` bytes; `writer` may be None to discard. Calls sink(data) for each piece."""
    while length > 0:
        data = await reader.read(min(IO_CHUNK, length))
        if not data:
            raise ConnectionError("stream ended inside a body")
        length -= len(data)
        sink(data)
        if writer is not None:
            writer.write(data)
            await writer.drain()


async def CopyChunked(reader, writer, sink):
    """Copies a chunked body with its framing unchanged; sink sees the payload only."""

    def Forward(data):
        if writer is not None:
            writer.write(data)

    while True:
        line = await reader.readuntil(b"\r\n")
        Forward(line)
        size = int(line.split(b";", 1)[0].strip() or b"0", 16)
        if size == 0:
            while True:
                trailer = await reader.readuntil(b"\r\n")
                Forward(trailer)
                if trailer == b"\r\n":
                    break
            if writer is not None:
                await writer.drain()
            return
        await CopyExactly(reader, writer, size, sink)
        Forward(await reader.readexactly(2))


async def CopyBody(head, reader, writer, sink):
    if head.HasToken("transfer-encoding", "chunked"):
        await CopyChunked(reader, writer, sink)
    else:
        await CopyExactly(reader, writer, int(head.Get("content-length") or "0"), sink)


def ErrorXml(code, message, resource):
    requestId = uuid.uuid4().hex[:16].upper()
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<Error><Code>%s</Code><Message>%s</Message>'
            "<Resource>%s</Resource><RequestId>%s</RequestId></Error>" %
            (code, message, resource, requestId)).encode("utf-8"), requestId


MALFORMED_XML = (b'<?xml version="1.0" encoding="UTF-8"?>\n<ListAllMyBucketsResult><Owner><ID>'
                 b"proxy</ID><Buckets><Bucket><Name>half")

# What a captive portal or a sign-in gateway answers in place of the service: well-formed XML,
# but no S3 document.
SIGN_IN_PAGE = (b'<?xml version="1.0" encoding="UTF-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml">'
                b"<head><title>Sign in</title></head><body><p>Please sign in to continue.</p>"
                b"</body></html>")

SKEW_LIMIT_SECONDS = 4 * 60


def RepeatedTokenPage(target):
    """A listing page that hands back the continuation token it was asked with."""
    query = parse_qs(urlsplit(target).query)
    token = query.get("continuation-token", ["repeat-1"])[0]
    bucket = urlsplit(target).path.strip("/").split("/")[0]
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<ListBucketResult><Name>%s</Name>'
            "<Prefix></Prefix><KeyCount>0</KeyCount><MaxKeys>1000</MaxKeys>"
            "<IsTruncated>true</IsTruncated><NextContinuationToken>%s</NextContinuationToken>"
            "</ListBucketResult>" % (bucket, token)).encode("utf-8")


def SignedAt(head):
    """Seconds since the epoch at which the request says it was signed, or None."""
    value = head.Get("x-amz-date")
    if not value:
        return None
    try:
        return time.mktime(time.strptime(value, "%Y%m%dT%H%M%SZ")) - time.timezone
    except ValueError:
        return None


class Proxy:
    def __init__(self, targetHost, targetPort):
        self.targetHost = targetHost
        self.targetPort = targetPort
        self.rules = []
        self.records = []

    def Choose(self, method, target):
        chosen = None
        for rule in self.rules:
            if rule.Select(method, target) and chosen is None:
                chosen = rule
        return chosen

    async def Serve(self, reader, writer):
        try:
            while True:
                head = await ReadHead(reader)
                if head is None or not await self.Exchange(head, reader, writer):
                    break
        except (ConnectionError, asyncio.IncompleteReadError, asyncio.LimitOverrunError,
                ValueError, OSError):
            pass
        finally:
            writer.close()

    async def Exchange(self, head, reader, writer):
        """Handles one request; returns whether the client's connection stays open."""
        method, _, rest = head.startLine.partition(" ")
        target, _, version = rest.rpartition(" ")
        record = Record(method, target, head.Joined())
        self.records.append(record)
        rule = self.Choose(method, target)
        clientWantsClose = head.HasToken("connection", "close") or version == "HTTP/1.0"

        if rule is not None and rule.action == "clock":
            # A service whose clock runs skewSeconds ahead: a request signed too far from it is
            # refused, anything else goes through.
            serverTime = time.time() + rule.skewSeconds
            signedAt = SignedAt(head)
            if signedAt is not None and abs(signedAt - serverTime) < SKEW_LIMIT_SECONDS:
                rule = None
            else:
                record.fault = "clock"
                if head.HasToken("expect", "100-continue"):
                    writer.write(b"HTTP/1.1 100 Continue\r\n\r\n")
                    await writer.drain()
                await CopyBody(head, reader, None, record.Take)
                await self.Answer(writer, rule, method, target, record, serverTime)
                return not clientWantsClose

        if rule is not None and rule.action == "delay":
            record.fault = "delay"
            await asyncio.sleep(rule.delayMs / 1000.0)
        elif rule is not None and rule.action != "truncate":
            # Answer without forwarding. The body is read first, so the client's connection is
            # at a message boundary again when the answer goes out.
            record.fault = rule.action
            if head.HasToken("expect", "100-continue"):
                writer.write(b"HTTP/1.1 100 Continue\r\n\r\n")
                await writer.drain()
            await CopyBody(head, reader, None, record.Take)
            if rule.action == "reset":
                Reset(writer)
                return False
            await self.Answer(writer, rule, method, target, record)
            return not clientWantsClose

        # A fresh server connection per request: a kept one that the server closed in the
        # meantime would show up as a failure the test never asked for.
        upReader, upWriter = await asyncio.open_connection(self.targetHost, self.targetPort,
                                                           limit=STREAM_LIMIT)
        sending = None
        try:
            upWriter.write(head.raw)
            await upWriter.drain()
            sending = asyncio.ensure_future(CopyBody(head, reader, upWriter, record.Take))
            truncateAfter = None
            if rule is not None and rule.action == "truncate":
                record.fault = "truncate"
                truncateAfter = rule.truncateAfter
            relaying = asyncio.ensure_future(
                self.Relay(method, upReader, writer, record, truncateAfter))
            await asyncio.wait({sending, relaying}, return_when=asyncio.FIRST_EXCEPTION)
            if not relaying.done():
                # The client went away in the middle of its body.
                relaying.cancel()
                return False
            if not relaying.result():
                return False
            if not sending.done():
                # The server answered before taking the whole body: the client's connection
                # is no longer at a message boundary.
                return False
            await sending
        finally:
            if sending is not None and not sending.done():
                sending.cancel()
            upWriter.close()
        return not clientWantsClose

    async def Relay(self, method, upReader, writer, record, truncateAfter):
        """Passes the server's response on; returns whether the client's connection can stay."""
        while True:
            head = await ReadHead(upReader)
            if head is None:
                raise ConnectionError("server closed without answering")
            status = int(head.startLine.split(" ")[1])
            if status >= 200 or status == 101:
                break
            writer.write(head.raw)  # interim answers such as 100 Continue
            await writer.drain()
        record.status = status
        if truncateAfter is not None:
            writer.write(head.raw)
            await CopyUpTo(upReader, writer, truncateAfter)
            return False
        bodiless = method == "HEAD" or status in (204, 304)
        delimited = head.HasToken("transfer-encoding", "chunked") or head.Get("content-length")
        if bodiless or delimited:
            # The server connection is used once, so its wish to close concerns only that
            # connection: the client's stays open, as it would with a real service.
            writer.write(WithoutConnectionFields(head.raw))
            if bodiless:
                await writer.drain()
            else:
                await CopyBody(head, upReader, writer, lambda data: None)
            return True
        # Delimited by the end of the connection.
        writer.write(head.raw)
        while True:
            data = await upReader.read(IO_CHUNK)
            if not data:
                break
            writer.write(data)
            await writer.drain()
        return False

    async def Answer(self, writer, rule, method, target, record, serverTime=None):
        requestId = uuid.uuid4().hex[:16].upper()
        contentType = "application/xml"
        if rule.action == "malformed":
            status, body = 200, MALFORMED_XML
        elif rule.action == "empty200":
            status, body = 200, b""
        elif rule.action == "page200":
            status, body, contentType = 200, SIGN_IN_PAGE, "text/html"
        elif rule.action == "repeattoken":
            status, body = 200, RepeatedTokenPage(target)
        elif rule.action == "clock":
            status = 403
            body, requestId = ErrorXml("RequestTimeTooSkewed",
                                       "The difference between the request time and the current "
                                       "time is too large.", target.split("?")[0])
        else:
            status = 200 if rule.action == "error200" else rule.status
            body, requestId = ErrorXml(rule.errorCode, rule.errorMessage, target.split("?")[0])
        record.status = status
        extra = ""
        if rule.action == "redirect":
            extra = "Location: %s%s\r\n" % (rule.location, target)
        if serverTime is not None:
            extra = "Date: %s\r\n" % email.utils.formatdate(serverTime, usegmt=True)
        head = ("HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n"
                "x-amz-request-id: %s\r\n%sServer: faultproxy\r\n\r\n" %
                (status, REASONS.get(status, "Error"), contentType, len(body), requestId, extra))
        writer.write(head.encode("latin-1"))
        if method != "HEAD":
            writer.write(body)
        await writer.drain()

    # The control port.
    async def Control(self, reader, writer):
        try:
            head = await ReadHead(reader)
            if head is None:
                return
            method, path = head.startLine.split(" ")[:2]
            body = bytearray()
            await CopyBody(head, reader, None, body.extend)
            status, answer = 200, "ok\n"
            try:
                if path == "/rules" and method == "POST":
                    fields = {}
                    for line in body.decode("utf-8").split("\n"):
                        if line:
                            name, _, value = line.partition(" ")
                            fields[name] = value
                    self.rules.append(Rule(fields))
                elif path == "/clear-rules":
                    self.rules = []
                elif path == "/requests":
                    answer = "".join(record.Text() for record in self.records)
                elif path == "/clear-requests":
                    self.records = []
                elif path != "/ping":
                    status, answer = 404, "unknown command\n"
            except (ValueError, re.error) as e:
                status, answer = 400, "%s\n" % e
            data = answer.encode("utf-8")
            writer.write(b"HTTP/1.1 %d X\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n"
                         b"Connection: close\r\n\r\n" % (status, len(data)) + data)
            await writer.drain()
        except (ConnectionError, asyncio.IncompleteReadError, OSError):
            pass
        finally:
            writer.close()


async def CopyUpTo(reader, writer, limit):
    while limit > 0:
        data = await reader.read(min(IO_CHUNK, limit))
        if not data:
            break
        limit -= len(data)
        writer.write(data)
        await writer.drain()


def WithoutConnectionFields(raw):
    lines = raw.split(b"\r\n")
    kept = [line for line in lines if not line.lower().startswith(b"connection:")]
    return b"\r\n".join(kept)


def Reset(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    writer.transport.abort()


async def Main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    target = urlsplit(args.target)
    proxy = Proxy(target.hostname, target.port or 80)
    server = await asyncio.start_server(proxy.Serve, "127.0.0.1", args.port, limit=STREAM_LIMIT,
                                        reuse_address=True)
    control = await asyncio.start_server(proxy.Control, "127.0.0.1", 0)
    print("ready %d %d" % (server.sockets[0].getsockname()[1],
                           control.sockets[0].getsockname()[1]), flush=True)
    async with server, control:
        await asyncio.gather(server.serve_forever(), control.serve_forever())


if __name__ == "__main__":
    try:
        asyncio.run(Main())
    except KeyboardInterrupt:
        sys.exit(0)
