#!/usr/bin/env python3
"""An HTTPS server on loopback that chooses how its answer is cut into TLS records and TCP
writes, for the S3 client's download tests. It prints "port N" once it listens, then answers
every GET on a kept-alive connection with 200 and a body of --size bytes (byte i is i % 251),
sent as the mode says:

  small-records   the body in records of --record bytes, all of them in one write, and the
                  connection then kept open: a client that reads the records ahead of what it
                  hands on and then waits on the socket waits for ever
  pause           the body in full records, cut in the middle of a record after half of the
                  body; the rest follows --pause-ms later
  close           the first half of the body, ending in the middle of a record, and then the
                  connection closed without a TLS close_notify

The TLS layer runs over memory buffers (ssl.MemoryBIO), so that the bytes of each record are
in hand before any of them is written to the socket.
"""
import argparse
import socket
import ssl
import threading
import time


def Body(size):
    return bytes(i % 251 for i in range(size))


class Connection:
    def __init__(self, sock, context):
        self.sock = sock
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)

    def Flush(self):
        data = self.outgoing.read()
        if data:
            self.sock.sendall(data)

    def Fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise ConnectionError("closed by the client")
        self.incoming.write(data)

    def Handshake(self):
        while True:
            try:
                self.tls.do_handshake()
                self.Flush()
                return
            except ssl.SSLWantReadError:
                self.Flush()
                self.Fill()

    def ReadRequestHead(self):
        head = b""
        while b"\r\n\r\n" not in head:
            try:
                head += self.tls.read(65536)
            except ssl.SSLWantReadError:
                self.Flush()
                self.Fill()
        return head

    def Records(self, data, recordSize):
        """The encrypted bytes of `data` in records of at most recordSize bytes, and the offset
        in those bytes where each record ends."""
        out = b""
        ends = []
        for at in range(0, len(data), recordSize):
            self.tls.write(data[at:at + recordSize])
            out += self.outgoing.read()
            ends.append(len(out))
        return out, ends


def Serve(sock, context, args):
    connection = Connection(sock, context)
    try:
        connection.Handshake()
        while True:
            connection.ReadRequestHead()
            body = Body(args.size)
            head = ("HTTP/1.1 200 OK\r\nContent-Length: %d\r\nContent-Type: "
                    "application/octet-stream\r\nETag: \"0\"\r\n\r\n" % len(body)).encode()
            connection.tls.write(head)
            connection.Flush()
            if args.mode == "small-records":
                records, _ = connection.Records(body, args.record)
                sock.sendall(records)
                continue
            records, ends = connection.Records(body, 16384)
            half = next(end for end in ends if end >= len(records) // 2)
            cut = half + (ends[ends.index(half) + 1] - half) // 2
            sock.sendall(records[:cut])
            if args.mode == "close":
                sock.shutdown(socket.SHUT_RDWR)
                return
            time.sleep(args.pause_ms / 1000.0)
            sock.sendall(records[cut:])
    except (ConnectionError, OSError, ssl.SSLError):
        pass
    finally:
        sock.close()


def Main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--mode", choices=["small-records", "pause", "close"], required=True)
    parser.add_argument("--size", type=int, default=1 << 20)
    parser.add_argument("--record", type=int, default=64)
    parser.add_argument("--pause-ms", type=int, default=1500)
    args = parser.parse_args()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print("port %d" % listener.getsockname()[1], flush=True)
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=Serve, args=(sock, context, args), daemon=True).start()


if __name__ == "__main__":
    Main()
