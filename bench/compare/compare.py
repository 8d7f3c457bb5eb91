#!/usr/bin/env python3
"""Side-by-side measurement of the plug-ins (through plughost) and other S3 clients.

Every client runs as its own process against the same local S3 server and bucket, on loopback
only. For each run: wall time, the CPU time (user + sys) and peak RSS of the client process
and its children (GNU time, so the server's work is not counted), and the number of HTTP
requests the server logged while the client ran. The server runs without a proxy in front,
so the wall times are the client's and the server's alone.

Results go to OUT_DIR: results.csv (one row per run), table.txt (what is printed), one PNG
chart per server (gnuplot), and targets.txt (the figures the targets are judged by).
"""

import argparse
import concurrent.futures
import csv
import hashlib
import json
import os
import random
import re
import shutil
import signal
import socket
import ssl
import statistics
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1024 * 1024
GIB = 1024 * MIB
# s3rver checks signatures against its fixed key pair; moto accepts any.
ACCESS_KEY = "S3RVER"
SECRET_KEY = "S3RVER"
REGION = "us-east-1"
TIME = "/usr/bin/time"
ANSI = re.compile(r"\x1b\[[0-9;]*m")


def Log(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def FreePort():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def Load1():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


# ---------------------------------------------------------------------------------------------
# Servers. Each logs one line per request; the count of such lines between the start and the
# end of a client's run is that run's request count.


class Server:
    def __init__(self, name, command, port, logPath, requestLine, env=None, tls=None):
        self.scheme = "https" if tls else "http"
        # The name the tables and charts use: the program, and the scheme when it is TLS.
        self.name = name if not tls else name + " https"
        self.program = name
        self.port = port
        self.rtt = None  # reached directly, not through the round-trip relay
        self.ca = tls.ca if tls else None
        self.url = "%s://127.0.0.1:%d" % (self.scheme, port)
        self.logPath = logPath
        self.requestLine = re.compile(requestLine)
        self.log = open(logPath, "wb")
        self.process = subprocess.Popen(command, stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL, start_new_session=True,
                                        env=env)

    def WaitReady(self, seconds=30):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("%s exited at start; see %s" % (self.name, self.logPath))
            try:
                context = ssl.create_default_context(cafile=self.ca) if self.ca else None
                urllib.request.urlopen(self.url + "/", timeout=1, context=context).read()
                return
            except urllib.error.HTTPError:
                return  # answering, if only with an error: it is up
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("%s did not answer within %d s" % (self.name, seconds))

    def LogSize(self):
        self.log.flush()
        return os.path.getsize(self.logPath)

    def RequestsSince(self, offset):
        # The server writes its line once the response is out; give it a moment.
        time.sleep(0.3)
        with open(self.logPath, "rb") as f:
            f.seek(offset)
            text = f.read().decode("utf-8", "replace")
        return sum(1 for line in text.splitlines()
                   if self.requestLine.search(ANSI.sub("", line).strip()))

    def Stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.log.close()


def StartMoto(work, tls=None):
    port = FreePort()
    command = ["moto_server", "-H", "127.0.0.1", "-p", str(port)]
    if tls:
        command += ["-c", tls.cert, "-k", tls.key]
    server = Server("moto_server", command, port, os.path.join(work, "moto.log"),
                    r'"(GET|PUT|POST|HEAD|DELETE) \S+ HTTP/1\.[01]" \d{3}', tls=tls)
    server.WaitReady()
    return server


def StartS3rver(work, program, tls=None):
    port = FreePort()
    data = os.path.join(work, "s3rver-data")
    shutil.rmtree(data, ignore_errors=True)
    os.makedirs(data)
    # Its request lines end in "[STATUS] TIME [SIZE]" ("200 11ms 0b", "39ms 224b", "204 7ms");
    # the lines between are its own remarks.
    # Its continuation tokens are DES-encrypted, which OpenSSL 3 only offers in its legacy
    # provider: without it every listing longer than one page fails with a 500.
    env = dict(os.environ)
    env["NODE_OPTIONS"] = (env.get("NODE_OPTIONS", "") + " --openssl-legacy-provider").strip()
    command = [program, "-d", data, "-a", "127.0.0.1", "-p", str(port), "--no-vhost-buckets"]
    if tls:
        command += ["--key", tls.key, "--cert", tls.cert]
    server = Server("s3rver", command, port, os.path.join(work, "s3rver.log"),
                    r"^info: .*\b\d+m?s( -| [\d.]+[kmg]?b)?$", env, tls=tls)
    server.WaitReady()
    return server


class RttRelay:
    """rtt_relay.py in front of a server: the round trip, window and rate of a wide-area path."""

    def __init__(self, server, rtt, windowKib, rateMbit, logPath):
        self.log = open(logPath, "ab")
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "rtt_relay.py"), "--target",
             "127.0.0.1:%d" % server.port, "--rtt-ms", str(rtt), "--window-kib",
             str(windowKib), "--rate-mbit", str(rateMbit)],
            stdout=subprocess.PIPE, stderr=self.log, stdin=subprocess.DEVNULL,
            start_new_session=True)
        line = self.process.stdout.readline().decode().split()
        if len(line) != 2 or line[0] != "ready":
            self.Stop()
            raise RuntimeError("the round-trip relay did not start; see %s" % logPath)
        self.port = int(line[1])

    def Stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


class Via:
    """A server as the clients reach it through a relay: the relay's address, the server's
    name, CA and request log."""

    def __init__(self, server, relay, rtt):
        self.server = server
        self.name, self.program, self.scheme, self.ca = (server.name, server.program,
                                                         server.scheme, server.ca)
        self.port = relay.port
        self.url = "%s://127.0.0.1:%d" % (server.scheme, relay.port)
        self.rtt = rtt

    def LogSize(self):
        return self.server.LogSize()

    def RequestsSince(self, offset):
        return self.server.RequestsSince(offset)


class Tls:
    """A throw-away CA and a certificate for 127.0.0.1 that it signed, made for this run."""

    def __init__(self, work):
        folder = os.path.join(work, "tls")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        self.ca = os.path.join(folder, "ca.pem")
        self.cert = os.path.join(folder, "server.pem")
        self.key = os.path.join(folder, "server.key")
        caKey = os.path.join(folder, "ca.key")
        request = os.path.join(folder, "server.csr")
        extensions = os.path.join(folder, "server.ext")
        with open(extensions, "w") as f:
            f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                    "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
                    "extendedKeyUsage=serverAuth\n")
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "check": True}
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=bench throw-away CA", "-keyout", caKey, "-out", self.ca],
                       **quiet)
        subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj",
                        "/CN=127.0.0.1", "-keyout", self.key, "-out", request], **quiet)
        subprocess.run(["openssl", "x509", "-req", "-in", request, "-CA", self.ca, "-CAkey",
                        caKey, "-CAcreateserial", "-days", "2", "-extfile", extensions, "-out",
                        self.cert], **quiet)


def NegotiatedCipher(server):
    """The TLS version and cipher that libcurl with OpenSSL, as the plug-ins use them, agrees
    with the server (from curl's own report of the handshake)."""
    result = subprocess.run(["curl", "-sv", "--http1.1", "--cacert", server.ca, "-o",
                             os.devnull, server.url + "/"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, timeout=30)
    match = re.search(r"SSL connection using (\S+) / (\S+)",
                      result.stderr.decode("utf-8", "replace"))
    return (match.group(1), match.group(2)) if match else ("?", "?")


# ---------------------------------------------------------------------------------------------
# Set-up and clean-up through botocore, outside any measured run.


def Admin(url, ca=None):
    import botocore.config
    import botocore.session
    session = botocore.session.get_session()
    return session.create_client(
        "s3", endpoint_url=url, region_name=REGION, aws_access_key_id=ACCESS_KEY,
        aws_secret_access_key=SECRET_KEY, verify=ca if ca else None,
        config=botocore.config.Config(max_pool_connections=16, s3={"addressing_style": "path"},
                                      request_checksum_calculation="when_required",
                                      retries={"max_attempts": 3, "mode": "standard"}))


def Keys(admin, bucket, prefix):
    keys = []
    for page in admin.get_paginator("list_objects_v2").paginate(Bucket=bucket, Prefix=prefix):
        keys.extend(item["Key"] for item in page.get("Contents", []))
    return keys


def DeletePrefix(admin, bucket, prefix):
    keys = Keys(admin, bucket, prefix)
    for at in range(0, len(keys), 1000):
        admin.delete_objects(Bucket=bucket, Delete={
            "Objects": [{"Key": key} for key in keys[at:at + 1000]], "Quiet": True})
    try:
        uploads = admin.list_multipart_uploads(Bucket=bucket, Prefix=prefix).get("Uploads", [])
    except admin.exceptions.ClientError:
        uploads = []  # s3rver does not list uploads
    for upload in uploads:
        admin.abort_multipart_upload(Bucket=bucket, Key=upload["Key"],
                                     UploadId=upload["UploadId"])


def Seed(admin, bucket, keys, body=b"x" * 64):
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        list(pool.map(lambda key: admin.put_object(Bucket=bucket, Key=key, Body=body), keys))


# ---------------------------------------------------------------------------------------------
# Local data.


def MakeBigFile(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    Log("writing a %d MiB file of pseudo-random bytes" % (size // MIB))
    # An AES-CTR key stream: as incompressible as os.urandom, and ten times faster to make
    # (a 10 GiB file in well under a minute instead of several).
    with open(path + ".part", "wb") as f:
        stream = subprocess.Popen(["openssl", "enc", "-aes-128-ctr", "-nosalt", "-K",
                                   "000102030405060708090a0b0c0d0e0f", "-iv",
                                   "00000000000000000000000000000000", "-in", "/dev/zero"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        left = size
        while left:
            block = stream.stdout.read(min(left, 16 * MIB))
            if not block:
                raise RuntimeError("openssl enc ended early")
            f.write(block)
            left -= len(block)
        stream.kill()
        stream.wait()
    os.replace(path + ".part", path)


def MakeTree(root, count, perFolder=100):
    """count small files (1 to 32 KiB) in folders of perFolder, always the same names and
    sizes."""
    shutil.rmtree(root, ignore_errors=True)
    chooser = random.Random(count)
    for i in range(count):
        folder = os.path.join(root, "folder-%02d" % (i // perFolder))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "file-%04d.dat" % i), "wb") as f:
            f.write(os.urandom(chooser.randint(1024, 32 * 1024)))


def TreeStats(root):
    files, size = 0, 0
    for folder, _, names in os.walk(root):
        for name in names:
            files += 1
            size += os.path.getsize(os.path.join(folder, name))
    return files, size


def Sha256File(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            block = f.read(4 * MIB)
            if not block:
                return digest.hexdigest()
            digest.update(block)


def DownloadCheck(target, size, digest):
    """The check of a download into `target`: gone before the run, whole and equal after."""
    def Check(when):
        if when == "before":
            if os.path.exists(target):
                os.remove(target)
            return None
        if not os.path.exists(target) or os.path.getsize(target) != size:
            return "size differs"
        return None if Sha256File(target) == digest else "content differs"

    return Check


# ---------------------------------------------------------------------------------------------
# Running one client command and measuring it.


class Run:
    def __init__(self):
        self.wall = self.user = self.sys = 0.0
        self.rssMib = 0.0
        self.requests = 0
        self.status = "ok"
        self.load1 = 0.0


def Measure(command, env, server, timeout, stdoutPath):
    """Runs command to its end (or kills its process group at the timeout).

    The command runs under GNU time, whose report covers the client and its children only. A
    child of this (large) Python process would carry the parent's peak RSS through fork and
    exec, so it is not asked directly.
    """
    run = Run()
    run.load1 = Load1()
    offset = server.LogSize()
    timed = stdoutPath + ".time"
    if os.path.exists(timed):
        os.remove(timed)
    with open(stdoutPath, "wb") as out, open(stdoutPath + ".err", "wb") as err:
        started = time.monotonic()
        process = subprocess.Popen([TIME, "-f", "%U %S %M %x", "-o", timed] + command, env=env,
                                   stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                   start_new_session=True)
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            run.status = "timeout"
        run.wall = time.monotonic() - started
    try:
        # Whatever the client left running in its group (none of the clients should).
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    fields = []
    if os.path.exists(timed):
        with open(timed) as f:
            lines = [line for line in f.read().splitlines() if line.strip()]
        if lines:
            fields = lines[-1].split()
    if len(fields) == 4:
        run.user, run.sys = float(fields[0]), float(fields[1])
        run.rssMib = int(fields[2]) / 1024.0
        exitCode = int(fields[3])
    else:
        exitCode = process.returncode
    run.requests = server.RequestsSince(offset)
    if run.status == "ok" and exitCode != 0:
        run.status = "exit %d" % exitCode
        with open(stdoutPath + ".err", "rb") as err:
            tail = err.read()[-600:].decode("utf-8", "replace").strip()
        Log("%s failed (%s): %s" % (command[0], run.status, tail))
    return run


# ---------------------------------------------------------------------------------------------
# The clients. Each knows how to express the six operations; a bucket-relative `where` is the
# folder (prefix without the trailing slash) the client works in.


class Client:
    name = ""
    key = ""  # what --clients calls it

    def Available(self):
        return True

    def Env(self, server):
        env = dict(os.environ)
        env.update({
            "AWS_ACCESS_KEY_ID": ACCESS_KEY, "AWS_SECRET_ACCESS_KEY": SECRET_KEY,
            "AWS_DEFAULT_REGION": REGION, "AWS_REGION": REGION,
            "AWS_EC2_METADATA_DISABLED": "true",
            # Nothing but the server: an endpoint left unset still lands on loopback.
            "AWS_ENDPOINT_URL": server.url,
            "AWS_CONFIG_FILE": os.devnull, "AWS_SHARED_CREDENTIALS_FILE": os.devnull,
        })
        env.pop("AWS_PROFILE", None)
        # The throw-away CA, for the aws command and the plug-ins (whose client configuration
        # takes its CA file from here when the plug-in sets none).
        env.pop("AWS_CA_BUNDLE", None)
        if server.ca:
            env["AWS_CA_BUNDLE"] = server.ca
        return env


class Plughost(Client):
    """plughost with one plug-in. `build` names a baseline build ("plughost Mardel@REV");
    `transfers` adds --transfers N to the tree commands."""

    def __init__(self, plughost, pluginsDir, plugin, build="", transfers=None):
        self.plughost = plughost
        self.pluginsDir = pluginsDir
        self.library = os.path.join(pluginsDir, "lib%s.so" % plugin)
        self.plugin = plugin
        self.build = build
        self.transfers = transfers
        self.key = plugin.lower()
        self.name = "plughost " + plugin + ("@" + build if build else "") + (
            " --transfers %d" % transfers if transfers else "")

    def Available(self):
        return os.access(self.plughost, os.X_OK) and os.path.exists(self.library)

    def WithTransfers(self, count):
        return Plughost(self.plughost, self.pluginsDir, self.plugin, self.build, count)

    def HasTransfers(self):
        """Whether this plughost takes --transfers (one that does not knows no such option and
        refuses the line)."""
        try:
            result = subprocess.run([self.plughost, "--transfers", "1", "--help"],
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    stdin=subprocess.DEVNULL, timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            return False
        return result.returncode == 0 and b"unknown option" not in result.stdout

    def Base(self, server):
        command = [self.plughost, "--plugin", self.library, "--progress", "none"]
        if self.plugin == "Mardel":
            command += ["-p", "ServerName=" + server.url, "-p", "AccessKeyID=" + ACCESS_KEY,
                        "-p", "SecretAccessKey=" + SECRET_KEY, "-p", "Region=" + REGION]
        else:
            command += ["--endpoint", server.url, "-p", "UserName=" + ACCESS_KEY,
                        "-p", "Password=" + SECRET_KEY]
        return command

    def Upload(self, s, local, bucket, where):
        return self.Base(s) + ["put", local, "%s/%s" % (bucket, where)]

    def Download(self, s, bucket, where, local):
        return self.Base(s) + ["get", "%s/%s" % (bucket, where), local]

    def Tree(self, s):
        return self.Base(s) + (["--transfers", str(self.transfers)] if self.transfers else [])

    def UploadTree(self, s, local, bucket, where):
        return self.Tree(s) + ["backup", local, "%s/%s" % (bucket, where)]

    def DownloadTree(self, s, bucket, where, local):
        return self.Tree(s) + ["restore", "%s/%s" % (bucket, where), local]

    def List(self, s, bucket, where):
        return self.Base(s) + ["ls", "%s/%s" % (bucket, where)]

    def DeleteFolder(self, s, bucket, where):
        return self.Tree(s) + ["rmdir", "%s/%s" % (bucket, where)]


class AwsCli(Client):
    name = "aws s3"
    key = "s3"

    def Available(self):
        return shutil.which("aws") is not None

    def Env(self, server):
        env = Client.Env(self, server)
        if server.ca and server.program == "s3rver":
            # Over TLS its uploads put their checksum in an aws-chunked trailer, whose framing
            # s3rver stores as the object's content; without a checksum they send the body as
            # it is (which spares the command its CRC, so the comparison favours it).
            env["AWS_REQUEST_CHECKSUM_CALCULATION"] = "when_required"
        return env

    def Base(self, s):
        return ["aws", "--endpoint-url", s.url, "--no-progress", "--only-show-errors"]

    def Upload(self, s, local, bucket, where):
        return self.Base(s) + ["s3", "cp", local, "s3://%s/%s" % (bucket, where)]

    def Download(self, s, bucket, where, local):
        return self.Base(s) + ["s3", "cp", "s3://%s/%s" % (bucket, where), local]

    def UploadTree(self, s, local, bucket, where):
        return self.Base(s) + ["s3", "cp", "--recursive", local, "s3://%s/%s/" % (bucket, where)]

    def DownloadTree(self, s, bucket, where, local):
        return self.Base(s) + ["s3", "cp", "--recursive", "s3://%s/%s/" % (bucket, where), local]

    def List(self, s, bucket, where):
        return ["aws", "--endpoint-url", s.url, "s3", "ls", "s3://%s/%s/" % (bucket, where)]

    def DeleteFolder(self, s, bucket, where):
        return ["aws", "--endpoint-url", s.url, "--only-show-errors", "s3", "rm", "--recursive",
                "s3://%s/%s/" % (bucket, where)]


class S3cmd(Client):
    name = "s3cmd"
    key = "s3cmd"

    def __init__(self, work):
        self.config = os.path.join(work, "s3cmd.cfg")

    def Available(self):
        return shutil.which("s3cmd") is not None

    def Env(self, server):
        with open(self.config, "w") as f:
            f.write("[default]\naccess_key = %s\nsecret_key = %s\nhost_base = 127.0.0.1:%d\n"
                    "host_bucket = 127.0.0.1:%d\nuse_https = %s\nbucket_location = %s\n"
                    "signature_v2 = False\nprogress_meter = False\n" %
                    (ACCESS_KEY, SECRET_KEY, server.port, server.port,
                     "True" if server.ca else "False", REGION))
            if server.ca:
                f.write("ca_certs_file = %s\ncheck_ssl_certificate = True\n"
                        "check_ssl_hostname = True\n" % server.ca)
        return Client.Env(self, server)

    def Base(self):
        return ["s3cmd", "-c", self.config, "--no-progress"]

    def Upload(self, s, local, bucket, where):
        return self.Base() + ["put", local, "s3://%s/%s" % (bucket, where)]

    def Download(self, s, bucket, where, local):
        return self.Base() + ["get", "--force", "s3://%s/%s" % (bucket, where), local]

    def UploadTree(self, s, local, bucket, where):
        return self.Base() + ["put", "--recursive", local + "/", "s3://%s/%s/" % (bucket, where)]

    def DownloadTree(self, s, bucket, where, local):
        os.makedirs(local, exist_ok=True)
        return self.Base() + ["get", "--recursive", "--force", "s3://%s/%s/" % (bucket, where),
                              local + "/"]

    def List(self, s, bucket, where):
        return self.Base() + ["ls", "s3://%s/%s/" % (bucket, where)]

    def DeleteFolder(self, s, bucket, where):
        return self.Base() + ["del", "--recursive", "--force", "s3://%s/%s/" % (bucket, where)]


class Rclone(Client):
    name = "rclone"
    key = "rclone"

    def Available(self):
        return shutil.which("rclone") is not None

    def Env(self, server):
        env = Client.Env(self, server)
        # rclone takes AWS_CA_BUNDLE to mean TLS and then refuses a plain-HTTP endpoint; it is
        # given the CA as its own option instead.
        env.pop("AWS_CA_BUNDLE", None)
        if server.ca:
            env["RCLONE_CA_CERT"] = server.ca
        env.update({
            "RCLONE_CONFIG": os.devnull,
            "RCLONE_CONFIG_BENCH_TYPE": "s3", "RCLONE_CONFIG_BENCH_PROVIDER": "Other",
            "RCLONE_CONFIG_BENCH_ENDPOINT": server.url,
            "RCLONE_CONFIG_BENCH_ACCESS_KEY_ID": ACCESS_KEY,
            "RCLONE_CONFIG_BENCH_SECRET_ACCESS_KEY": SECRET_KEY,
            "RCLONE_CONFIG_BENCH_REGION": REGION, "RCLONE_CONFIG_BENCH_FORCE_PATH_STYLE": "true",
        })
        return env

    def Upload(self, s, local, bucket, where):
        return ["rclone", "copyto", local, "bench:%s/%s" % (bucket, where)]

    def Download(self, s, bucket, where, local):
        return ["rclone", "copyto", "bench:%s/%s" % (bucket, where), local]

    def UploadTree(self, s, local, bucket, where):
        return ["rclone", "copy", local, "bench:%s/%s" % (bucket, where)]

    def DownloadTree(self, s, bucket, where, local):
        return ["rclone", "copy", "bench:%s/%s" % (bucket, where), local]

    def List(self, s, bucket, where):
        return ["rclone", "lsf", "bench:%s/%s" % (bucket, where)]

    def DeleteFolder(self, s, bucket, where):
        return ["rclone", "purge", "bench:%s/%s" % (bucket, where)]


class Browser(Client):
    """bench_browse: one plug-in instance listing a folder or browsing a tree, as a host does."""

    def __init__(self, program, pluginsDir, plugin):
        self.program = program
        self.library = os.path.join(pluginsDir, "lib%s.so" % plugin)
        self.name = "instance " + plugin

    def Available(self):
        return os.access(self.program, os.X_OK) and os.path.exists(self.library)

    def Command(self, s, mode, path):
        return [self.program, self.library, mode, path, "ServerName=" + s.url,
                "AccessKeyID=" + ACCESS_KEY, "SecretAccessKey=" + SECRET_KEY, "Region=" + REGION]


def ResultFields(path):
    """The key=value pairs of the `result` line a bench program printed."""
    with open(path) as f:
        for line in f:
            if line.startswith("result "):
                return dict(field.split("=", 1) for field in line.split()[1:])
    return {}


# ---------------------------------------------------------------------------------------------


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.out = os.path.abspath(args.out)
        os.makedirs(self.work, exist_ok=True)
        os.makedirs(self.out, exist_ok=True)
        self.rows = []
        self.failed = False
        self.floor = {}
        self.results = {}
        self.noTransfers = set()
        self.csvPath = os.path.join(self.out, "results.csv")
        self.csvFile = open(self.csvPath, "w", newline="")
        self.csv = csv.writer(self.csvFile)
        self.csv.writerow(["server", "case", "client", "repeat", "status", "wall_s", "user_s",
                           "sys_s", "cpu_s", "cpu_s_per_gib", "peak_rss_mib", "requests",
                           "mib_per_s", "bytes", "load1_at_start", "rtt_ms"])
        everyClient = []
        builds = [(args.build, "")]
        if args.baseline_build:
            builds.append((args.baseline_build, args.baseline_name))
        for plugin in ("Mardel", "Ruvast"):
            for build, label in builds:
                everyClient.append(Plughost(os.path.join(build, "tools", "plughost", "plughost"),
                                            os.path.join(build, "profiles"), plugin, label))
        everyClient += [AwsCli(), S3cmd(self.work), Rclone()]
        wanted = set(args.clients.split(",")) if args.clients else None
        self.clients = []
        for client in everyClient:
            if wanted and client.key not in wanted:
                continue
            if client.Available():
                self.clients.append(client)
            else:
                Log("%s is not available (not built or not installed): skipped" % client.name)

    def Record(self, server, case, client, repeat, run, size):
        cpu = run.user + run.sys
        gib = size / GIB if size and case.endswith(" 1 file") else 0
        row = {
            "server": server.name, "case": case, "client": client.name, "repeat": repeat,
            "status": run.status, "wall": run.wall, "user": run.user, "sys": run.sys,
            "cpu": cpu, "cpuPerGib": cpu / gib if gib else None, "rss": run.rssMib,
            "requests": run.requests,
            "rate": size / MIB / run.wall if size and run.wall > 0 else None, "bytes": size,
            "load1": run.load1, "rtt": server.rtt,
        }
        self.rows.append(row)

        def F(value, digits):
            return "" if value is None else "%.*f" % (digits, value)

        self.csv.writerow([server.name, case, client.name, repeat, run.status, F(run.wall, 3),
                           F(run.user, 3), F(run.sys, 3), F(cpu, 3), F(row["cpuPerGib"], 3),
                           F(run.rssMib, 1), run.requests, F(row["rate"], 1), size,
                           F(run.load1, 2), F(server.rtt, 0)])
        self.csvFile.flush()
        Log("%-9s %-22s %-24s wall %7.2f s  cpu %6.2f s  rss %7.1f MiB  %6d requests  %s"
            "  (load %.2f)" % (server.name, case, client.name, run.wall, cpu, run.rssMib,
                               run.requests, run.status, run.load1))

    def OutputPath(self, client, case):
        return os.path.join(self.work, "out-%s-%s.txt" % (
            re.sub(r"\W+", "_", client.name), re.sub(r"\W+", "_", case)))

    def Rounds(self, server, case, size, entries):
        """Runs one case for several clients, `--repeat` rounds of one run each, interleaved
        (A B C, A B C, ...), so that what the machine does meanwhile falls on all of them
        alike. Each entry is (client, command or a function making it, check or None); a check
        is called with "before" ahead of each run and "after" it."""
        for repeat in range(1, self.args.repeat + 1):
            for client, command, check in entries:
                if check:
                    check("before")
                run = Measure(command() if callable(command) else command, client.Env(server),
                              server, self.args.timeout, self.OutputPath(client, case))
                if run.status == "ok" and check:
                    problem = check("after")
                    if problem:
                        run.status = "wrong: " + problem
                        Log("%s %s: %s" % (client.name, case, problem))
                self.Record(server, case, client, repeat, run, size)

    def Once(self, server, client, case, command, size, check=None):
        self.Rounds(server, case, size, [(client, command, check)])

    def Transfers(self, server, admin, bucket, clients, label=""):
        """The big file up and down, and the tree of small files up and down, for each client;
        each case runs for every client before the next case begins. `label` goes before each
        case's name (the round trip)."""
        big = os.path.join(self.work, "big.bin")
        bigSize = self.args.big_mib * MIB
        if bigSize:
            MakeBigFile(big, bigSize)
            bigHash = Sha256File(big)
        tree = os.path.join(self.work, "tree")
        MakeTree(tree, self.args.small_files, self.args.small_per_folder)
        treeFiles, treeBytes = TreeStats(tree)
        down = os.path.join(self.work, "down")
        target = os.path.join(down, "big.bin")
        restored = os.path.join(down, "tree")
        bigCase = "%s 1 file" % SizeText(bigSize)
        treeCase = "%d files" % treeFiles

        def Where(client):
            return "t-" + re.sub(r"\W+", "-", client.name)

        for client in clients:
            DeletePrefix(admin, bucket, Where(client) + "/")
        shutil.rmtree(down, ignore_errors=True)
        os.makedirs(down)

        def CheckBigStored(where):
            def Check(when):
                if when == "before":
                    # Every repeat sends the file: rclone skips one stored with its size and
                    # time already.
                    DeletePrefix(admin, bucket, where + "/big.bin")
                    return None
                if when == "after":
                    keys = Keys(admin, bucket, where + "/big.bin")
                    return None if keys == [where + "/big.bin"] else "not stored"
            return Check

        def CheckTreeStored(where):
            def Check(when):
                if when == "before":
                    # Every repeat sends the whole tree: a client that sends only what changed
                    # (plughost backup) would otherwise find it all stored already.
                    DeletePrefix(admin, bucket, where + "/tree/")
                    return None
                if when == "after":
                    count = len(Keys(admin, bucket, where + "/tree/"))
                    # Some clients store a marker object per folder as well.
                    return None if count >= treeFiles else "%d objects stored" % count
            return Check

        def CheckTreeRead(when):
            if when == "before":
                shutil.rmtree(restored, ignore_errors=True)
                os.makedirs(restored)
                return None
            files, size = TreeStats(restored)
            if (files, size) != (treeFiles, treeBytes):
                return "%d files, %d bytes restored" % (files, size)
            return None

        if bigSize:
            self.Rounds(server, label + "upload " + bigCase, bigSize, [
                (c, c.Upload(server, big, bucket, Where(c) + "/big.bin"),
                 CheckBigStored(Where(c))) for c in clients])
            self.Rounds(server, label + "download " + bigCase, bigSize, [
                (c, lambda c=c: c.Download(server, bucket, Where(c) + "/big.bin", target),
                 DownloadCheck(target, bigSize, bigHash)) for c in clients])
            for client in clients:
                DeletePrefix(admin, bucket, Where(client) + "/big.bin")
            shutil.rmtree(down, ignore_errors=True)
            os.makedirs(down)
        self.Rounds(server, label + "upload " + treeCase, treeBytes, [
            (c, c.UploadTree(server, tree, bucket, Where(c) + "/tree"),
             CheckTreeStored(Where(c))) for c in clients])
        self.Rounds(server, label + "download " + treeCase, treeBytes, [
            (c, lambda c=c: c.DownloadTree(server, bucket, Where(c) + "/tree", restored),
             CheckTreeRead) for c in clients])
        for client in clients:
            DeletePrefix(admin, bucket, Where(client) + "/")
        shutil.rmtree(down, ignore_errors=True)

    def Folders(self, server, admin, bucket):
        listed = "listing"
        count = self.args.list_keys
        Log("seeding %d keys in one folder" % count)
        Seed(admin, bucket, ["%s/key-%05d.dat" % (listed, i) for i in range(count)])

        def CheckListed(client):
            def Check(when):
                if when == "after":
                    with open(self.OutputPath(client, "list"), "rb") as f:
                        lines = sum(1 for line in f if b"key-" in line)
                    return None if lines == count else "%d keys listed" % lines
            return Check

        self.Rounds(server, "list", 0, [(c, c.List(server, bucket, listed), CheckListed(c))
                                        for c in self.clients])
        DeletePrefix(admin, bucket, listed + "/")
        self.DeleteFolder(server, admin, bucket, self.clients)

    def DeleteFolder(self, server, admin, bucket, clients, label=""):
        removed = self.args.delete_keys

        def Where(client):
            return "d-" + re.sub(r"\W+", "-", client.name)

        def Prepare(where):
            def Check(when):
                if when == "before":
                    DeletePrefix(admin, bucket, where + "/")
                    Seed(admin, bucket, ["%s/key-%05d.dat" % (where, i) for i in range(removed)])
                    return None
                left = len(Keys(admin, bucket, where + "/"))
                return None if left == 0 else "%d keys left" % left
            return Check

        self.Rounds(server, label + "delete folder", 0, [
            (c, c.DeleteFolder(server, bucket, Where(c)), Prepare(Where(c))) for c in clients])
        for client in clients:
            DeletePrefix(admin, bucket, Where(client) + "/")

    def RoundTripClients(self):
        """plughost with libMardel at its default --transfers and with --transfers 1 (each
        build), and the peers, as --clients selects them."""
        clients = []
        for client in self.clients:
            if isinstance(client, Plughost):
                if client.plugin != "Mardel":
                    continue
                clients.append(client)
                if client.HasTransfers():
                    clients.append(client.WithTransfers(1))
                else:
                    Log("%s takes no --transfers: its round-trip cases run it as it is "
                        "(one file at a time), without a --transfers 1 variant" % client.name)
                    self.noTransfers.add(client.name)
            else:
                clients.append(client)
        return clients

    def RoundTrips(self, server, admin, bucket):
        """The transfer cases and the deletion of a folder, through the relay at each round
        trip of --rtt-ms (the setup and the checks go to the server directly)."""
        clients = self.RoundTripClients()
        for rtt in [float(text) for text in self.args.rtt_ms.split(",") if text.strip()]:
            relay = RttRelay(server, rtt, self.args.rtt_window_kib, self.args.rtt_rate_mbit,
                             os.path.join(self.work, "rtt-relay.log"))
            via = Via(server, relay, rtt)
            Log("%s through the relay at %g ms: %s" % (server.name, rtt, via.url))
            label = "%g ms " % rtt
            try:
                self.Transfers(via, admin, bucket, clients, label)
                self.DeleteFolder(via, admin, bucket, clients, label)
            finally:
                relay.Stop()

    def ScaleListing(self, server, admin, bucket):
        """Cost as the work grows: a folder of many keys, and a tree browsed file by file."""
        browser = Browser(os.path.join(self.args.build, "bench", "scale", "bench_browse"),
                          os.path.join(self.args.build, "profiles"), "Mardel")
        if not browser.Available():
            Log("bench_browse is not built: the scale cases are skipped")
            return
        listers = [c for c in self.clients if c.name in ("plughost Mardel", "aws s3", "rclone")]

        listed = "scale-list"
        count = self.args.scale_keys
        started = time.monotonic()
        Seed(admin, bucket, ["%s/key-%06d.dat" % (listed, i) for i in range(count)])
        Log("seeded %d keys in one folder in %.0f s" % (count, time.monotonic() - started))
        listCase = "list %d keys" % count
        for client in listers:
            def CheckListed(when, client=client):
                if when == "after":
                    path = os.path.join(self.work, "out-%s-%s.txt" % (
                        re.sub(r"\W+", "_", client.name), re.sub(r"\W+", "_", listCase)))
                    with open(path, "rb") as f:
                        lines = sum(1 for line in f if b"key-" in line)
                    return None if lines == count else "%d keys listed" % lines

            self.Once(server, client, listCase, client.List(server, bucket, listed), 0,
                      CheckListed)
        self.OnceWithResult(server, browser, "cache of " + listCase,
                            browser.Command(server, "list", "%s/%s" % (bucket, listed)),
                            lambda fields: int(fields.get("entries", 0)) == count)
        DeletePrefix(admin, bucket, listed + "/")

        tree = "scale-tree"
        folders, files = self.args.tree_folders, self.args.tree_files
        started = time.monotonic()
        # The tree's own folder object, as a host's backup creates it: s3rver leaves a prefix
        # that holds only deeper keys out of the bucket's top-level listing.
        Seed(admin, bucket, [tree + "/"], body=b"")
        Seed(admin, bucket, ["%s/folder-%02d/file-%05d.dat" % (tree, f, i)
                             for f in range(folders) for i in range(files)])
        Log("seeded %d folders of %d keys in %.0f s" % (folders, files,
                                                         time.monotonic() - started))
        self.OnceWithResult(
            server, browser, "browse %d x %d files" % (folders, files),
            browser.Command(server, "browse", "%s/%s" % (bucket, tree)),
            lambda fields: int(fields.get("files", 0)) == folders * files and
            fields.get("failures") == "0")
        DeletePrefix(admin, bucket, tree + "/")

    def ScaleFile(self, server, admin, bucket):
        """A file ten times the size of the transfer case, and the 1 GiB one, through libMardel."""
        mardel = [c for c in self.clients if c.name == "plughost Mardel"]
        if not mardel:
            return
        client = mardel[0]
        for gib in sorted(set((1, self.args.huge_gib))):
            size = gib * GIB
            local = os.path.join(self.work, "huge.bin")
            MakeBigFile(local, size)
            digest = Sha256File(local)
            target = os.path.join(self.work, "huge-down.bin")
            where = "scale-huge/huge.bin"
            case = "%d GiB 1 file" % gib

            def Stored(when):
                if when == "after":
                    return None if Keys(admin, bucket, where) == [where] else "not stored"

            self.Once(server, client, "scale upload " + case,
                      client.Upload(server, local, bucket, where), size, Stored)
            self.Once(server, client, "scale download " + case,
                      client.Download(server, bucket, where, target), size,
                      DownloadCheck(target, size, digest))
            DeletePrefix(admin, bucket, "scale-huge/")
            for path in (local, target):
                if os.path.exists(path):
                    os.remove(path)

    def OnceWithResult(self, server, client, case, command, good):
        """Once(), keeping the figures the program printed on its `result` line."""
        def Check(when):
            if when != "after":
                return None
            path = os.path.join(self.work, "out-%s-%s.txt" % (
                re.sub(r"\W+", "_", client.name), re.sub(r"\W+", "_", case)))
            fields = ResultFields(path)
            self.results.setdefault("%s|%s" % (server.name, case), []).append(fields)
            with open(os.path.join(self.out, "scale.json"), "w") as f:
                json.dump(self.results, f, indent=1)
            return None if good(fields) else "unexpected result %s" % fields

        self.Once(server, client, case, command, 0, Check)

    def RunServer(self, server):
        admin = Admin(server.url, server.ca)
        bucket = "bench-%s" % re.sub(r"\W+", "", server.name).lower()
        admin.create_bucket(Bucket=bucket)
        try:
            if server.ca:
                version, cipher = NegotiatedCipher(server)
                self.floor.setdefault("ciphers", {})[server.name] = [version, cipher]
                Log("%s: libcurl negotiates %s with %s" % (server.name, version, cipher))
                self.SaveFloor()
            if "transfer" in self.args.parts:
                self.Transfers(server, admin, bucket, self.clients)
            if "folders" in self.args.parts:
                self.Folders(server, admin, bucket)
            if "rtt" in self.args.parts:
                self.RoundTrips(server, admin, bucket)
            if "scale" in self.args.parts and server.name == self.args.scale_list_server:
                self.ScaleListing(server, admin, bucket)
            if "scale" in self.args.parts and server.name == self.args.scale_file_server:
                self.ScaleFile(server, admin, bucket)
        finally:
            server.Stop()

    def MeasureFloor(self):
        """AES-GCM throughput of this CPU through OpenSSL's EVP interface, in the 16 KiB
        blocks a TLS record carries, for both key sizes (the cipher negotiated decides which
        one a transfer pays)."""
        for cipher in ("aes-128-gcm", "aes-256-gcm"):
            result = subprocess.run(["openssl", "speed", "-mr", "-seconds", "2", "-bytes",
                                     "16384", "-evp", cipher], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, timeout=120)
            for line in result.stdout.decode().splitlines():
                if line.startswith("+F:"):
                    self.floor[cipher] = float(line.split(":")[-1])
            if cipher in self.floor:
                Log("openssl speed -evp %s: %.2f GiB/s" % (cipher, self.floor[cipher] / GIB))
        self.SaveFloor()

    def SaveFloor(self):
        with open(os.path.join(self.out, "floor.json"), "w") as f:
            json.dump(self.floor, f, indent=1)

    def Main(self):
        Log("clients: %s" % ", ".join(c.name for c in self.clients))
        self.MeasureFloor()
        tls = Tls(self.work) if "https" in self.args.schemes.split(",") else None
        for name in self.args.servers.split(","):
            for scheme in self.args.schemes.split(","):
                serverTls = tls if scheme == "https" else None
                if name == "moto":
                    server = StartMoto(self.work, serverTls)
                elif name == "s3rver":
                    if not self.args.s3rver or not os.access(self.args.s3rver, os.X_OK):
                        Log("s3rver is not installed: skipped")
                        continue
                    server = StartS3rver(self.work, self.args.s3rver, serverTls)
                else:
                    raise SystemExit("unknown server " + name)
                Log("%s listening at %s (log %s)" % (server.name, server.url, server.logPath))
                try:
                    self.RunServer(server)
                except KeyboardInterrupt:
                    server.Stop()
                    raise
                except Exception as e:
                    # Keep what was measured so far, and the other servers' runs.
                    server.Stop()
                    Log("%s: the run stopped early: %s: %s" % (server.name, type(e).__name__, e))
                    self.failed = True
        if ("scale" in self.args.parts and self.args.scale_list_server == "moto_server" and
                "moto" not in self.args.servers.split(",")):
            # The large folder and tree only: the transfer cases are not repeated on it.
            server = StartMoto(self.work)
            Log("%s listening at %s for the large folder and tree" % (server.name, server.url))
            try:
                admin = Admin(server.url)
                admin.create_bucket(Bucket="bench-scale")
                self.ScaleListing(server, admin, "bench-scale")
            except Exception as e:
                Log("%s: the run stopped early: %s: %s" % (server.name, type(e).__name__, e))
                self.failed = True
            finally:
                server.Stop()
        self.csvFile.close()
        report = Report(self.rows, self.args)
        text = report.Table() + "\n" + report.Targets(self.args.micro)
        with open(os.path.join(self.out, "table.txt"), "w") as f:
            f.write(text)
        print(text)
        report.Charts(self.out)
        if self.failed:
            raise SystemExit(1)


def SizeText(size):
    return "%d GiB" % (size // GIB) if size % GIB == 0 else "%d MiB" % (size // MIB)


# ---------------------------------------------------------------------------------------------


class Report:
    def __init__(self, rows, args):
        self.args = args
        # The median of the repeats of each (server, case, client).
        groups = {}
        for row in rows:
            groups.setdefault((row["server"], row["case"], row["client"]), []).append(row)
        self.rows = []
        caseOrder = {}
        clientOrder = {}
        for row in rows:
            caseOrder.setdefault(row["case"], len(caseOrder))
            clientOrder.setdefault(row["client"], len(clientOrder))
        ordered = sorted(groups.items(), key=lambda item: (
            item[0][0], caseOrder[item[0][1]], clientOrder[item[0][2]]))
        for (serverName, case, client), runs in ordered:
            good = [r for r in runs if r["status"] == "ok"] or runs
            merged = dict(good[0])
            for field in ("wall", "user", "sys", "cpu", "rss", "requests", "load1"):
                merged[field] = statistics.median(r[field] for r in good)
            for field in ("wall", "cpu", "rss"):
                merged[field + "Min"] = min(r[field] for r in good)
                merged[field + "Max"] = max(r[field] for r in good)
            merged["cpuPerGib"] = (merged["cpu"] / (merged["bytes"] / GIB)
                                   if merged["bytes"] and case.endswith(" 1 file") else None)
            merged["rate"] = (merged["bytes"] / MIB / merged["wall"]
                              if merged["bytes"] and merged["wall"] > 0 else None)
            merged["runs"] = len(runs)
            merged["status"] = "ok" if all(r["status"] == "ok" for r in runs) else "; ".join(
                sorted(set(r["status"] for r in runs if r["status"] != "ok")))
            self.rows.append(merged)

    def Find(self, serverName, case, client):
        for row in self.rows:
            if (row["server"], row["client"]) == (serverName, client) and row["case"] == case:
                return row
        return None

    def Table(self):
        lines = []
        servers = []
        for row in self.rows:
            if row["server"] not in servers and row.get("rtt") is None:
                servers.append(row["server"])
        width = max([16] + [len(r["client"]) for r in self.rows if r.get("rtt") is None])
        header = "%-24s %-*s %8s %8s %8s %9s %9s %9s %8s  %s" % (
            "case", width, "client", "wall s", "user s", "sys s", "CPU s/GiB", "RSS MiB", "requests",
            "MiB/s", "status")
        for serverName in servers:
            lines.append("")
            lines.append("Server: %s (loopback; median of %d run(s) each; client process "
                         "only, GNU time)" % (serverName, self.args.repeat))
            lines.append(header)
            lines.append("-" * len(header))
            lastCase = None
            for row in self.rows:
                if row["server"] != serverName or row.get("rtt") is not None:
                    continue
                if lastCase is not None and row["case"] != lastCase:
                    lines.append("")
                lastCase = row["case"]
                lines.append("%-24s %-*s %8.2f %8.2f %8.2f %9s %9.1f %9d %8s  %s%s" % (
                    row["case"], width, row["client"], row["wall"], row["user"], row["sys"],
                    "%.2f" % row["cpuPerGib"] if row["cpuPerGib"] is not None else "-",
                    row["rss"], row["requests"],
                    "%.1f" % row["rate"] if row["rate"] is not None else "-", row["status"],
                    "" if row["load1"] < 0.5 else "  (load %.1f)" % row["load1"]))
        return "\n".join(lines) + "\n" + self.RoundTrips() + self.Baseline()

    def RoundTrips(self):
        """The cases through the relay: per server and round trip, median [min-max] of the
        wall time, with the window limit beside the single-file cases."""
        rows = [r for r in self.rows if r.get("rtt") is not None]
        if not rows:
            return ""
        window = self.args.rtt_window_kib * 1024
        lines = []
        servers = []
        for row in rows:
            if row["server"] not in servers:
                servers.append(row["server"])
        header = "%-7s %-26s %-34s %-22s %7s %8s %8s  %s" % (
            "RTT", "case", "client", "wall s median [min-max]", "CPU s", "requests", "MiB/s",
            "window limit / status")
        for serverName in servers:
            lines.append("")
            lines.append("Round trips: %s through rtt_relay.py (%d KiB in flight per connection, "
                         "%s per direction; median [min-max] of %d interleaved run(s))" % (
                             serverName, self.args.rtt_window_kib,
                             "%g Mbit/s" % self.args.rtt_rate_mbit if self.args.rtt_rate_mbit
                             else "no rate limit", self.args.repeat))
            serverRows = [r for r in rows if r["server"] == serverName]
            for name in sorted(self.NoTransfers(serverRows)):
                lines.append("%s has no --transfers: it ran one file at a time, with no "
                             "--transfers 1 beside it" % name)
            lines.append(header)
            lines.append("-" * len(header))
            lastCase = None
            order = sorted(range(len(serverRows)), key=lambda i: (serverRows[i]["rtt"], i))
            for row in (serverRows[i] for i in order):
                if lastCase is not None and row["case"] != lastCase:
                    lines.append("")
                lastCase = row["case"]
                case = row["case"].split(" ms ", 1)[-1]
                limit = ""
                if case.endswith(" 1 file") and row["rtt"] > 0:
                    perSecond = window / (row["rtt"] / 1000.0)
                    limit = "%.1f MiB/s (%.1f s)  " % (perSecond / MIB, row["bytes"] / perSecond)
                status = row["status"]
                lines.append("%-7s %-26s %-34s %-22s %7.2f %8d %8s  %s%s%s" % (
                    "%g ms" % row["rtt"], case, row["client"], "%.2f [%.2f-%.2f]" % (
                        row["wall"], row["wallMin"], row["wallMax"]), row["cpu"],
                    row["requests"], "%.1f" % row["rate"] if row["rate"] is not None else "-",
                    limit, status,
                    "" if row["load1"] < 0.5 else "  (load %.1f)" % row["load1"]))
            # Small files at each round trip: plughost against the fastest peer.
            for rtt in sorted(set(r["rtt"] for r in serverRows)):
                for direction in ("upload", "download"):
                    cases = [r for r in serverRows if r["rtt"] == rtt and
                             r["case"].split(" ms ", 1)[-1].startswith(direction) and
                             r["case"].endswith(" files")]
                    peers = [r for r in cases if not r["client"].startswith("plughost") and
                             r["status"] == "ok"]
                    ours = [r for r in cases if r["client"].startswith("plughost")]
                    if not peers or not ours:
                        continue
                    fastest = min(peers, key=lambda r: r["wall"])
                    for row in ours:
                        ratio = row["wall"] / fastest["wall"]
                        lines.append("  %g ms %s: %s %.2f s = %.2fx %s's %.2f s%s" % (
                            rtt, cases[0]["case"].split(" ms ", 1)[-1], row["client"],
                            row["wall"], ratio, fastest["client"], fastest["wall"],
                            " (target at 100 ms <= 0.8x) %s" % Verdict(ratio <= 0.8)
                            if rtt == 100 else ""))
        return "\n".join(lines) + "\n"

    def NoTransfers(self, rows):
        """The plughost clients that ran without a --transfers 1 beside them."""
        names = set(r["client"] for r in rows)
        return set(n for n in names if n.startswith("plughost") and "--transfers" not in n and
                   n + " --transfers 1" not in names)

    def Baseline(self):
        """Each plughost client of this build beside the same client of the baseline build:
        median [min-max] of wall and CPU time, and this build / baseline."""
        label = "@" + self.args.baseline_name
        pairs = [r for r in self.rows if label in r["client"]]
        if not pairs:
            return ""
        lines = ["", "This build against the baseline %s (median [min-max] of %d interleaved "
                 "run(s) each; ratio = this build / baseline)" % (self.args.baseline_name,
                                                                 self.args.repeat)]
        header = "%-14s %-28s %-26s %-21s %-21s %6s %-21s %-21s %6s %6s" % (
            "server", "case", "client", "wall s, this", "wall s, baseline", "ratio",
            "CPU s, this", "CPU s, baseline", "ratio", "RSS ratio")
        lines.append(header)
        lines.append("-" * len(header))

        def Figure(row, field):
            return "%.2f [%.2f-%.2f]" % (row[field], row[field + "Min"], row[field + "Max"])

        def Ratio(a, b):
            return "%.2f" % (a / b) if b > 0 else "-"

        for base in pairs:
            this = self.Find(base["server"], base["case"], base["client"].replace(label, ""))
            if not this:
                continue
            lines.append("%-14s %-28s %-26s %-21s %-21s %6s %-21s %-21s %6s %6s%s" % (
                base["server"], base["case"], this["client"].replace("plughost ", ""),
                Figure(this, "wall"), Figure(base, "wall"), Ratio(this["wall"], base["wall"]),
                Figure(this, "cpu"), Figure(base, "cpu"), Ratio(this["cpu"], base["cpu"]),
                Ratio(this["rss"], base["rss"]),
                "" if this["status"] == base["status"] == "ok" else "  (%s / %s)" % (
                    this["status"], base["status"])))
        return "\n".join(lines) + "\n"

    def Targets(self, microJson):
        micro = {}
        if microJson and os.path.exists(microJson):
            with open(microJson) as f:
                for item in json.load(f).get("benchmarks", []):
                    if item.get("run_type", "iteration") == "iteration":
                        micro[item["name"]] = item.get("bytes_per_second")
        floorData = {}
        floorPath = os.path.join(self.args.out, "floor.json")
        if os.path.exists(floorPath):
            with open(floorPath) as f:
                floorData = json.load(f)

        def PerGib(rate):
            return GIB / rate if rate else None

        sha, crc, copy = PerGib(micro.get("Sha256")), PerGib(micro.get("Crc64Nvme")), PerGib(
            micro.get("Memcpy"))
        aes = {"AES-128-GCM": PerGib(floorData.get("aes-128-gcm")),
               "AES-256-GCM": PerGib(floorData.get("aes-256-gcm"))}
        lines = ["Floor (CPU seconds per GiB on this machine, measured in this run)"]
        for label, value, source in (
                ("SHA-256", sha, "bench_micro"), ("CRC64NVME", crc, "bench_micro"),
                ("one memory copy", copy, "bench_micro memcpy"),
                ("AES-128-GCM", aes["AES-128-GCM"], "openssl speed -evp, 16 KiB blocks"),
                ("AES-256-GCM", aes["AES-256-GCM"], "openssl speed -evp, 16 KiB blocks")):
            lines.append("  %-16s %s  (%s)" % (label, "%.3f s" % value if value else "-", source))
        ciphers = floorData.get("ciphers", {})
        for serverName, (version, cipher) in sorted(ciphers.items()):
            lines.append("  %s: libcurl negotiates %s %s" % (serverName, version, cipher))

        def AesFor(serverName):
            cipher = ciphers.get(serverName, ["", ""])[1].upper().replace("-", "_")
            if "AES_128" in cipher or "AES128" in cipher:
                return "AES-128-GCM", aes["AES-128-GCM"]
            if "AES_256" in cipher or "AES256" in cipher:
                return "AES-256-GCM", aes["AES-256-GCM"]
            return None, None

        bigCase = "%s 1 file" % SizeText(self.args.big_mib * MIB)
        treeCases = sorted(set(r["case"] for r in self.rows if r["case"].endswith(" files") and
                               r["case"].split()[0] in ("upload", "download")))
        lines.append("")
        lines.append("Targets (client CPU per GiB, user + sys; medians of %d run(s))" %
                     self.args.repeat)
        header = "  %-46s %-40s %-26s %s" % ("case", "measured", "target", "verdict")
        programs = []
        for row in self.rows:
            program = row["server"].replace(" https", "")
            if program not in programs:
                programs.append(program)
        for program in programs:
            http, https = program, program + " https"
            lines.append("  Server %s" % program)
            lines.append(header)

            def Add(case, measured, target, met):
                lines.append("  %-46s %-40s %-26s %s" % (case, measured, target,
                                                        "-" if met is None else Verdict(met)))

            def AgainstAws(serverName, direction, plugin, limit, floor=None, floorLimit=None,
                           floorText=""):
                ours = self.Find(serverName, "%s %s" % (direction, bigCase), "plughost " + plugin)
                aws = self.Find(serverName, "%s %s" % (direction, bigCase), "aws s3")
                label = "%s %s, lib%s" % ("HTTPS" if serverName == https else "HTTP", direction,
                                          plugin)
                if not ours or ours["cpuPerGib"] is None:
                    return
                if aws and aws["cpuPerGib"]:
                    ratio = ours["cpuPerGib"] / aws["cpuPerGib"]
                    Add(label, "%.2f s vs aws s3 cp %.2f s: %.0f%%" % (
                        ours["cpuPerGib"], aws["cpuPerGib"], 100 * ratio),
                        "<= %.0f%% of aws s3 cp" % (100 * limit), ratio <= limit)
                if floor:
                    ratio = ours["cpuPerGib"] / floor
                    Add(label, "%.2f s vs floor %.2f s: x%.2f" % (ours["cpuPerGib"], floor, ratio),
                        "<= x%.1f the floor (%s)" % (floorLimit, floorText), ratio <= floorLimit)

            aesName, aesCost = AesFor(https)
            if aesCost and crc and copy:
                AgainstAws(https, "upload", "Ruvast", 0.25, aesCost + crc + copy, 1.5,
                           "%s + CRC64NVME + copy" % aesName)
            else:
                AgainstAws(https, "upload", "Ruvast", 0.25)
            for plugin in ("Mardel", "Ruvast"):
                AgainstAws(https, "download", plugin, 0.20,
                           aesCost + copy if aesCost and copy else None, 1.5,
                           "%s + copy" % aesName)
            AgainstAws(http, "upload", "Mardel", 0.35, sha + copy if sha and copy else None, 1.3,
                       "SHA-256 + copy")
            for plugin in ("Mardel", "Ruvast"):
                AgainstAws(http, "download", plugin, 0.20)
            for serverName in (http, https):
                for case in treeCases:
                    peers = [r for r in self.rows if r["server"] == serverName and
                             r["case"] == case and not r["client"].startswith("plughost") and
                             r["status"] == "ok"]
                    if not peers:
                        continue
                    cheapest = min(peers, key=lambda r: r["cpu"])
                    fastest = min(peers, key=lambda r: r["wall"])
                    for plugin in ("Mardel", "Ruvast"):
                        ours = self.Find(serverName, case, "plughost " + plugin)
                        if not ours:
                            continue
                        label = "%s %s, lib%s" % ("HTTPS" if serverName == https else "HTTP",
                                                  case, plugin)
                        Add(label + " CPU", "%.2f s vs %s %.2f s: %.0f%%" % (
                            ours["cpu"], cheapest["client"], cheapest["cpu"],
                            100 * ours["cpu"] / cheapest["cpu"]), "<= 25% of the best peer",
                            ours["cpu"] <= 0.25 * cheapest["cpu"])
                        Add(label + " wall", "%.2f s vs %s %.2f s" % (
                            ours["wall"], fastest["client"], fastest["wall"]),
                            "ahead of every peer", ours["wall"] < fastest["wall"])
            for serverName in (http, https):
                for direction in ("upload", "download"):
                    for plugin in ("Mardel", "Ruvast"):
                        ours = self.Find(serverName, "%s %s" % (direction, bigCase),
                                         "plughost " + plugin)
                        if ours:
                            Add("%s %s peak RSS, lib%s" % (
                                "HTTPS" if serverName == https else "HTTP", direction, plugin),
                                "%.1f MiB" % ours["rss"], "<= 120 MiB", ours["rss"] <= 120)
        return "\n".join(lines) + "\n" + self.Scale()

    def Scale(self):
        resultsPath = os.path.join(self.args.out, "scale.json")
        results = {}
        if os.path.exists(resultsPath):
            with open(resultsPath) as f:
                results = json.load(f)
        lines = []
        for serverName in sorted(set(r["server"] for r in self.rows)):
            listRows = [r for r in self.rows if r["server"] == serverName and
                        re.match(r"list \d+ keys$", r["case"])]
            browseRows = [r for r in self.rows if r["server"] == serverName and
                          r["case"].startswith("browse ")]
            hugeRows = [r for r in self.rows if r["server"] == serverName and
                        r["case"].startswith("scale ")]
            if not (listRows or browseRows or hugeRows):
                continue
            lines.append("")
            lines.append("Cost as the work grows (%s)" % serverName)
            aws = next((r for r in listRows if r["client"] == "aws s3"), None)
            for row in listRows:
                lines.append("  %-22s %-16s wall %7.2f s  CPU %6.2f s  %6d requests  peak RSS "
                             "%6.1f MiB" % (row["case"], row["client"], row["wall"], row["cpu"],
                                            row["requests"], row["rss"]))
                if row["client"].startswith("plughost") and aws:
                    ratio = row["cpu"] / aws["cpu"]
                    lines.append("    CPU %.0f%% of aws s3 ls (target <= 10%%) %s" % (
                        100 * ratio, Verdict(ratio <= 0.10)))
            for key, runs in sorted(results.items()):
                name, case = key.split("|", 1)
                if name != serverName or not runs:
                    continue
                fields = runs[-1]
                if case.startswith("cache of "):
                    beyond = statistics.median(float(r.get("beyondNameBytes", 0)) for r in runs)
                    kept = statistics.median(float(r.get("keptBytesPerEntry", 0)) for r in runs)
                    lines.append("  %s: %s entries, %.0f bytes per entry kept by the instance, "
                                 "%.0f beyond the name (target <= 200) %s" % (
                                     case, fields.get("entries"), kept, beyond,
                                     Verdict(beyond <= 200)))
                elif case.startswith("browse "):
                    row = next((r for r in browseRows if r["case"] == case), None)
                    perLookup = statistics.median(float(r.get("usPerLookup", 0)) for r in runs)
                    lines.append("  %s: %s folders, %s files, %s requests (the root and each "
                                 "folder listed once would be %s pages of 1,000 keys), %.2f us per "
                                 "attribute lookup, listings %.2f s, CPU %.2f s" % (
                                     case, fields.get("folders"), fields.get("files"),
                                     row["requests"] if row else "?",
                                     1 + int(fields.get("folders", 0)) *
                                     -(-self.args.tree_files // 1000),
                                     perLookup, float(fields.get("listSeconds", 0)),
                                     row["cpu"] if row else 0))
            for row in hugeRows:
                gib = row["bytes"] / GIB
                lines.append("  %-30s %-16s wall %.2f s/GiB  CPU %.2f s/GiB  peak RSS %.1f MiB  "
                             "%d requests  %s" % (row["case"].replace("scale ", ""),
                                                  row["client"], row["wall"] / gib,
                                                  row["cpu"] / gib, row["rss"], row["requests"],
                                                  row["status"]))
        return "\n".join(lines) + ("\n" if lines else "")

    def Charts(self, out):
        if not shutil.which("gnuplot"):
            Log("gnuplot is not installed: no charts")
            return
        for serverName in sorted(set(r["server"] for r in self.rows)):
            rows = [r for r in self.rows if r["server"] == serverName and r.get("rtt") is None]
            if not rows:
                continue
            cases = []
            clients = []
            for row in rows:
                if row["case"] not in cases:
                    cases.append(row["case"])
                if row["client"] not in clients:
                    clients.append(row["client"])
            base = os.path.join(out, "chart-%s" % serverName.replace("_", "-"))
            for metric, field in (("wall", "wall"), ("cpu", "cpu"), ("rss", "rss"),
                                  ("requests", "requests")):
                with open("%s-%s.dat" % (base, metric), "w") as f:
                    f.write("case " + " ".join('"%s"' % c for c in clients) + "\n")
                    for case in cases:
                        values = []
                        for client in clients:
                            row = self.Find(serverName, case, client)
                            values.append("%.3f" % row[field] if row else "NaN")
                        f.write('"%s" %s\n' % (case, " ".join(values)))
            subprocess.run(["gnuplot", "-e", "base='%s'; server='%s'; columns=%d" % (
                base, serverName, len(clients) + 1), os.path.join(HERE, "chart.gp")],
                check=False)
            Log("chart: %s.png" % base)


def Verdict(met):
    return "MET" if met else "MISSED"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True, help="the build folder (plughost, plug-ins)")
    parser.add_argument("--work", required=True, help="scratch folder for data and logs")
    parser.add_argument("--out", required=True, help="results folder")
    parser.add_argument("--s3rver", default="", help="the s3rver program")
    parser.add_argument("--servers", default="s3rver")
    parser.add_argument("--clients", default="",
                        help="comma-separated subset of mardel,ruvast,s3,s3cmd,rclone")
    parser.add_argument("--parts", default="transfer,folders,scale",
                        help="of transfer,folders,scale,rtt (rtt: the round-trip cases; "
                             "--rtt-ms adds it)")
    parser.add_argument("--schemes", default="http,https",
                        help="http, https (a TLS server with a throw-away CA) or both")
    # s3rver stores every key as files of its own: seeding 10,000 keys took minutes on this
    # machine, 200,000 would take hours. moto_server holds them in memory (as it would a 10 GiB
    # file, which is why that one goes to s3rver).
    parser.add_argument("--scale-list-server", default="moto_server",
                        help="the server (as named in the tables) of the large folder and tree")
    parser.add_argument("--scale-file-server", default="s3rver",
                        help="the server (as named in the tables) of the 10 GiB file")
    parser.add_argument("--scale-keys", type=int, default=100000)
    parser.add_argument("--tree-folders", type=int, default=20)
    parser.add_argument("--tree-files", type=int, default=5000)
    parser.add_argument("--huge-gib", type=int, default=10)
    parser.add_argument("--big-mib", type=int, default=1024, help="0: no big-file cases")
    parser.add_argument("--small-files", type=int, default=2000)
    parser.add_argument("--small-per-folder", type=int, default=100,
                        help="small files per folder of the tree")
    parser.add_argument("--list-keys", type=int, default=10000)
    parser.add_argument("--delete-keys", type=int, default=2000)
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--baseline-build", default="",
                        help="a second build folder whose plughost and plug-ins run beside")
    parser.add_argument("--baseline-name", default="baseline",
                        help="what the tables call that build (plughost Mardel@NAME)")
    parser.add_argument("--rtt-ms", default="",
                        help="round trips of the relay for the rtt part, e.g. 0,40,100")
    parser.add_argument("--rtt-window-kib", type=int, default=4096,
                        help="the relay's bytes in flight per connection and direction")
    parser.add_argument("--rtt-rate-mbit", type=float, default=1000,
                        help="the relay's rate per direction, shared by all connections")
    parser.add_argument("--timeout", type=float, default=900, help="seconds per client run")
    parser.add_argument("--micro", default="", help="bench_micro JSON output, for the floor")
    parser.add_argument("--report-only", action="store_true",
                        help="print the table and charts again from OUT/results.csv")
    args = parser.parse_args()
    if args.rtt_ms and "rtt" not in args.parts.split(","):
        args.parts += ",rtt"
    if "rtt" in args.parts.split(",") and not args.rtt_ms:
        args.rtt_ms = "0,40,100"
    if args.report_only:
        rows = []
        with open(os.path.join(args.out, "results.csv")) as f:
            for r in csv.DictReader(f):
                rows.append({
                    "server": r["server"], "case": r["case"], "client": r["client"],
                    "status": r["status"], "wall": float(r["wall_s"]),
                    "user": float(r["user_s"]), "sys": float(r["sys_s"]),
                    "cpu": float(r["cpu_s"]), "rss": float(r["peak_rss_mib"]),
                    "requests": int(r["requests"]), "bytes": int(r["bytes"]),
                    "load1": float(r["load1_at_start"]),
                    "rtt": float(r["rtt_ms"]) if r.get("rtt_ms") else None})
        report = Report(rows, args)
        print(report.Table() + "\n" + report.Targets(args.micro))
        report.Charts(args.out)
        return
    Bench(args).Main()


if __name__ == "__main__":
    main()
