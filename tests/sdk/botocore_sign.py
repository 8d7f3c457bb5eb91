#!/usr/bin/env python3
"""Signs requests with botocore's S3 SigV4 signer, as an independent reference.

Reads one request per line on standard input: space-separated `field=HEX` tokens (values
hex-encoded) with the fields method, scheme, base (the encoded path in front of the key),
key (raw bytes), region, date, ak, sk, body, repeated q=NAME:VALUE:BARE and h=NAME:VALUE.
The URL path is built from the raw key the way botocore's serializer does it. Writes the
Authorization header botocore computes for each line, or HASH-MISMATCH when the request's
x-amz-content-sha256 is not the SHA-256 of its body.
"""

import hashlib
import sys
from urllib.parse import quote

from botocore.auth import S3SigV4Auth
from botocore.awsrequest import AWSRequest
from botocore.credentials import Credentials


def Unhex(text):
    return bytes.fromhex(text)


def Sign(line):
    fields = {}
    query = []
    headers = []
    for token in line.split():
        name, _, value = token.partition("=")
        if name == "q":
            qname, qvalue, bare = value.split(":")
            query.append((Unhex(qname).decode(), Unhex(qvalue).decode()))
        elif name == "h":
            hname, hvalue = value.split(":")
            headers.append((Unhex(hname).decode(), Unhex(hvalue).decode("latin-1")))
        else:
            fields[name] = Unhex(value)
    base = fields["base"].decode()
    key = fields.get("key", b"")
    if key:
        path = (base[:-1] if base.endswith("/") else base) + "/" + quote(key, safe="/~")
    else:
        path = base or "/"
    headerMap = dict(headers)
    url = fields["scheme"].decode() + "://" + headerMap["host"] + path
    body = fields.get("body", b"")
    contentSha = headerMap.get("x-amz-content-sha256", "")
    if len(contentSha) == 64 and contentSha != hashlib.sha256(body).hexdigest():
        return "HASH-MISMATCH"
    request = AWSRequest(method=fields["method"].decode(), url=url, data=body, params=query)
    for name, value in headers:
        request.headers[name] = value
    token = fields.get("token", b"").decode() or None
    credentials = Credentials(fields["ak"].decode(), fields["sk"].decode(), token)
    auth = S3SigV4Auth(credentials, "s3", fields["region"].decode())
    request.context["timestamp"] = fields["date"].decode()
    canonical = auth.canonical_request(request)
    signature = auth.signature(auth.string_to_sign(request, canonical), request)
    auth._inject_signature_to_request(request, signature)
    return request.headers["Authorization"]


def Main():
    for line in sys.stdin:
        line = line.strip()
        if line:
            print(Sign(line), flush=True)


if __name__ == "__main__":
    Main()
