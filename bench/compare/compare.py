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
    def __init__(self, name, command, port, logPath, requestLine, env=None):
        self.name = name
        self.port = port
        self.url = "http://127.0.0.1:%d" % port
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
                urllib.request.urlopen(self.url + "/", timeout=1).read()
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


def StartMoto(work):
    port = FreePort()
    server = Server("moto_server", ["moto_server", "-H", "127.0.0.1", "-p", str(port)], port,
                    os.path.join(work, "moto.log"),
                    r'"(GET|PUT|POST|HEAD|DELETE) \S+ HTTP/1\.[01]" \d{3}')
    server.WaitReady()
    return server


def StartS3rver(work, program):
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
    server = Server("s3rver", [program, "-d", data, "-a", "127.0.0.1", "-p", str(port),
                               "--no-vhost-buckets"], port,
                    os.path.join(work, "s3rver.log"), r"^info: .*\b\d+m?s( -| [\d.]+[kmg]?b)?$",
                    env)
    server.WaitReady()
    return server


# ---------------------------------------------------------------------------------------------
# Set-up and clean-up through botocore, outside any measured run.


def Admin(url):
    import botocore.config
    import botocore.session
    session = botocore.session.get_session()
    return session.create_client(
        "s3", endpoint_url=url, region_name=REGION, aws_access_key_id=ACCESS_KEY,
        aws_secret_access_key=SECRET_KEY,
        config=botocore.config.Config(max_pool_connections=16, s3={"addressing_style": "path"},
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
    Log("writing a %d MiB file of random bytes" % (size // MIB))
    with open(path + ".part", "wb") as f:
        left = size
        while left:
            step = min(left, 16 * MIB)
            f.write(os.urandom(step))
            left -= step
    os.replace(path + ".part", path)


def MakeTree(root, count):
    """count small files (1 to 32 KiB) in folders of 100, always the same names and sizes."""
    shutil.rmtree(root, ignore_errors=True)
    chooser = random.Random(count)
    for i in range(count):
        folder = os.path.join(root, "folder-%02d" % (i // 100))
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
        return env


class Plughost(Client):
    def __init__(self, plughost, pluginsDir, plugin):
        self.plughost = plughost
        self.library = os.path.join(pluginsDir, "lib%s.so" % plugin)
        self.plugin = plugin
        self.name = "plughost " + plugin

    def Available(self):
        return os.access(self.plughost, os.X_OK) and os.path.exists(self.library)

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

    def UploadTree(self, s, local, bucket, where):
        return self.Base(s) + ["backup", local, "%s/%s" % (bucket, where)]

    def DownloadTree(self, s, bucket, where, local):
        return self.Base(s) + ["restore", "%s/%s" % (bucket, where), local]

    def List(self, s, bucket, where):
        return self.Base(s) + ["ls", "%s/%s" % (bucket, where)]

    def DeleteFolder(self, s, bucket, where):
        return self.Base(s) + ["rmdir", "%s/%s" % (bucket, where)]


class AwsCli(Client):
    name = "aws s3"

    def Available(self):
        return shutil.which("aws") is not None

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

    def __init__(self, work):
        self.config = os.path.join(work, "s3cmd.cfg")

    def Available(self):
        return shutil.which("s3cmd") is not None

    def Env(self, server):
        with open(self.config, "w") as f:
            f.write("[default]\naccess_key = %s\nsecret_key = %s\nhost_base = 127.0.0.1:%d\n"
                    "host_bucket = 127.0.0.1:%d\nuse_https = False\nbucket_location = %s\n"
                    "signature_v2 = False\nprogress_meter = False\n" %
                    (ACCESS_KEY, SECRET_KEY, server.port, server.port, REGION))
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

    def Available(self):
        return shutil.which("rclone") is not None

    def Env(self, server):
        env = Client.Env(self, server)
        # rclone takes AWS_CA_BUNDLE to mean TLS and then refuses a plain-HTTP endpoint.
        env.pop("AWS_CA_BUNDLE", None)
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
        self.csvPath = os.path.join(self.out, "results.csv")
        self.csvFile = open(self.csvPath, "w", newline="")
        self.csv = csv.writer(self.csvFile)
        self.csv.writerow(["server", "case", "client", "repeat", "status", "wall_s", "user_s",
                           "sys_s", "cpu_s", "cpu_s_per_gib", "peak_rss_mib", "requests",
                           "mib_per_s", "bytes", "load1_at_start"])
        plughost = os.path.join(args.build, "tools", "plughost", "plughost")
        plugins = os.path.join(args.build, "profiles")
        everyClient = [Plughost(plughost, plugins, "Mardel"), Plughost(plughost, plugins, "Ruvast"),
                       AwsCli(), S3cmd(self.work), Rclone()]
        wanted = set(args.clients.split(",")) if args.clients else None
        self.clients = []
        for client in everyClient:
            key = client.name.split()[-1].lower()
            if wanted and key not in wanted:
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
            "load1": run.load1,
        }
        self.rows.append(row)

        def F(value, digits):
            return "" if value is None else "%.*f" % (digits, value)

        self.csv.writerow([server.name, case, client.name, repeat, run.status, F(run.wall, 3),
                           F(run.user, 3), F(run.sys, 3), F(cpu, 3), F(row["cpuPerGib"], 3),
                           F(run.rssMib, 1), run.requests, F(row["rate"], 1), size,
                           F(run.load1, 2)])
        self.csvFile.flush()
        Log("%-9s %-22s %-16s wall %7.2f s  cpu %6.2f s  rss %7.1f MiB  %6d requests  %s"
            "  (load %.2f)" % (server.name, case, client.name, run.wall, cpu, run.rssMib,
                               run.requests, run.status, run.load1))

    def Once(self, server, client, case, command, size, check=None):
        env = client.Env(server)
        for repeat in range(1, self.args.repeat + 1):
            if check:
                check("before")
            stdoutPath = os.path.join(self.work, "out-%s-%s.txt" % (
                re.sub(r"\W+", "_", client.name), re.sub(r"\W+", "_", case)))
            run = Measure(command() if callable(command) else command, env, server,
                          self.args.timeout, stdoutPath)
            if run.status == "ok" and check:
                problem = check("after")
                if problem:
                    run.status = "wrong: " + problem
                    Log("%s %s: %s" % (client.name, case, problem))
            self.Record(server, case, client, repeat, run, size)

    def Transfers(self, server, admin, bucket):
        big = os.path.join(self.work, "big.bin")
        bigSize = self.args.big_mib * MIB
        MakeBigFile(big, bigSize)
        bigHash = Sha256File(big)
        tree = os.path.join(self.work, "tree")
        MakeTree(tree, self.args.small_files)
        treeFiles, treeBytes = TreeStats(tree)
        down = os.path.join(self.work, "down")
        bigCase = "%s 1 file" % SizeText(bigSize)
        treeCase = "%d files" % treeFiles

        for client in self.clients:
            where = "t-" + re.sub(r"\W+", "-", client.name)
            DeletePrefix(admin, bucket, where + "/")
            shutil.rmtree(down, ignore_errors=True)
            os.makedirs(down)
            target = os.path.join(down, "big.bin")

            def CheckBigStored(when):
                if when == "after":
                    keys = Keys(admin, bucket, where + "/big.bin")
                    return None if keys == [where + "/big.bin"] else "not stored"

            def CheckBigRead(when):
                if when == "before":
                    if os.path.exists(target):
                        os.remove(target)
                    return None
                if not os.path.exists(target) or os.path.getsize(target) != bigSize:
                    return "size differs"
                return None if Sha256File(target) == bigHash else "content differs"

            self.Once(server, client, "upload " + bigCase,
                      client.Upload(server, big, bucket, where + "/big.bin"), bigSize,
                      CheckBigStored)
            self.Once(server, client, "download " + bigCase,
                      lambda: client.Download(server, bucket, where + "/big.bin", target),
                      bigSize, CheckBigRead)
            DeletePrefix(admin, bucket, where + "/big.bin")
            shutil.rmtree(down, ignore_errors=True)

            restored = os.path.join(down, "tree")

            def CheckTreeStored(when):
                if when == "after":
                    count = len(Keys(admin, bucket, where + "/tree/"))
                    # Some clients store a marker object per folder as well.
                    return None if count >= treeFiles else "%d objects stored" % count

            def CheckTreeRead(when):
                if when == "before":
                    shutil.rmtree(restored, ignore_errors=True)
                    os.makedirs(restored)
                    return None
                files, size = TreeStats(restored)
                if (files, size) != (treeFiles, treeBytes):
                    return "%d files, %d bytes restored" % (files, size)
                return None

            self.Once(server, client, "upload " + treeCase,
                      client.UploadTree(server, tree, bucket, where + "/tree"), treeBytes,
                      CheckTreeStored)
            self.Once(server, client, "download " + treeCase,
                      lambda: client.DownloadTree(server, bucket, where + "/tree", restored),
                      treeBytes, CheckTreeRead)
            DeletePrefix(admin, bucket, where + "/")
            shutil.rmtree(down, ignore_errors=True)

    def Folders(self, server, admin, bucket):
        listed = "listing"
        count = self.args.list_keys
        Log("seeding %d keys in one folder" % count)
        Seed(admin, bucket, ["%s/key-%05d.dat" % (listed, i) for i in range(count)])
        for client in self.clients:
            def CheckListed(when, client=client):
                if when == "after":
                    path = os.path.join(self.work, "out-%s-%s.txt" % (
                        re.sub(r"\W+", "_", client.name), "list"))
                    with open(path, "rb") as f:
                        lines = sum(1 for line in f if b"key-" in line)
                    return None if lines == count else "%d keys listed" % lines

            self.Once(server, client, "list",
                      client.List(server, bucket, listed), 0, CheckListed)
        DeletePrefix(admin, bucket, listed + "/")

        removed = self.args.delete_keys
        for client in self.clients:
            where = "d-" + re.sub(r"\W+", "-", client.name)

            def Prepare(when, where=where):
                if when == "before":
                    DeletePrefix(admin, bucket, where + "/")
                    Seed(admin, bucket, ["%s/key-%05d.dat" % (where, i) for i in range(removed)])
                    return None
                left = len(Keys(admin, bucket, where + "/"))
                return None if left == 0 else "%d keys left" % left

            self.Once(server, client, "delete folder",
                      client.DeleteFolder(server, bucket, where), 0, Prepare)
            DeletePrefix(admin, bucket, where + "/")

    def RunServer(self, server):
        admin = Admin(server.url)
        bucket = "bench-%s" % re.sub(r"\W+", "", server.name).lower()
        admin.create_bucket(Bucket=bucket)
        try:
            if "transfer" in self.args.parts:
                self.Transfers(server, admin, bucket)
            if "folders" in self.args.parts:
                self.Folders(server, admin, bucket)
        finally:
            server.Stop()

    def Main(self):
        Log("clients: %s" % ", ".join(c.name for c in self.clients))
        for name in self.args.servers.split(","):
            if name == "moto":
                server = StartMoto(self.work)
            elif name == "s3rver":
                if not self.args.s3rver or not os.access(self.args.s3rver, os.X_OK):
                    Log("s3rver is not installed: skipped")
                    continue
                server = StartS3rver(self.work, self.args.s3rver)
            else:
                raise SystemExit("unknown server " + name)
            Log("%s listening at %s (log %s)" % (server.name, server.url, server.logPath))
            try:
                self.RunServer(server)
            except KeyboardInterrupt:
                server.Stop()
                raise
            except Exception as e:
                # Keep what was measured so far, and the other server's runs.
                server.Stop()
                Log("%s: the run stopped early: %s: %s" % (server.name, type(e).__name__, e))
                self.failed = True
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
            if row["server"] not in servers:
                servers.append(row["server"])
        header = "%-24s %-16s %8s %8s %8s %9s %9s %9s %8s  %s" % (
            "case", "client", "wall s", "user s", "sys s", "CPU s/GiB", "RSS MiB", "requests",
            "MiB/s", "status")
        for serverName in servers:
            lines.append("")
            lines.append("Server: %s (loopback; median of %d run(s) each; client process "
                         "only, GNU time)" % (serverName, self.args.repeat))
            lines.append(header)
            lines.append("-" * len(header))
            lastCase = None
            for row in self.rows:
                if row["server"] != serverName:
                    continue
                if lastCase is not None and row["case"] != lastCase:
                    lines.append("")
                lastCase = row["case"]
                lines.append("%-24s %-16s %8.2f %8.2f %8.2f %9s %9.1f %9d %8s  %s%s" % (
                    row["case"], row["client"], row["wall"], row["user"], row["sys"],
                    "%.2f" % row["cpuPerGib"] if row["cpuPerGib"] is not None else "-",
                    row["rss"], row["requests"],
                    "%.1f" % row["rate"] if row["rate"] is not None else "-", row["status"],
                    "" if row["load1"] < 0.5 else "  (load %.1f)" % row["load1"]))
        return "\n".join(lines) + "\n"

    def Targets(self, microJson):
        lines = ["Targets"]
        floor = None
        micro = {}
        if microJson and os.path.exists(microJson):
            with open(microJson) as f:
                for item in json.load(f).get("benchmarks", []):
                    if item.get("run_type", "iteration") == "iteration":
                        micro[item["name"]] = item.get("bytes_per_second")
        if micro.get("Sha256") and micro.get("Memcpy"):
            # Seconds per GiB: the payload hash of the body plus one copy of every byte.
            floor = GIB / micro["Sha256"] + GIB / micro["Memcpy"]
            lines.append("  upload floor (SHA-256 of the body %.2f s + one copy %.2f s, "
                         "bench_micro): %.2f s CPU per GiB" % (
                             GIB / micro["Sha256"], GIB / micro["Memcpy"], floor))
            if micro.get("UploadAppend"):
                lines.append("  part buffer append (fresh chunks, page faults included): "
                             "%.2f s per GiB" % (GIB / micro["UploadAppend"]))
            if micro.get("UploadAppendRecycled"):
                lines.append("  part buffer append (chunks kept across parts, as uploads do): "
                             "%.2f s per GiB" % (GIB / micro["UploadAppendRecycled"]))
            if micro.get("Crc64Nvme"):
                lines.append("  CRC64NVME %.2f GiB/s beside SHA-256 %.2f GiB/s: +%.1f%% of the "
                             "hashing time" % (micro["Crc64Nvme"] / GIB, micro["Sha256"] / GIB,
                                               100.0 * micro["Sha256"] / micro["Crc64Nvme"]))
        bigCase = "%s 1 file" % SizeText(self.args.big_mib * MIB)
        for serverName in sorted(set(r["server"] for r in self.rows)):
            mardelUp = self.Find(serverName, "upload " + bigCase, "plughost Mardel")
            mardelDown = self.Find(serverName, "download " + bigCase, "plughost Mardel")
            awsUp = self.Find(serverName, "upload " + bigCase, "aws s3")
            awsDown = self.Find(serverName, "download " + bigCase, "aws s3")
            lines.append("  %s:" % serverName)
            if mardelDown and awsDown:
                ratio = mardelDown["cpu"] / awsDown["cpu"]
                lines.append("    download CPU/GiB libMardel %.2f s vs aws s3 cp %.2f s: %.0f%% "
                             "(target <= 25%%) %s" % (mardelDown["cpuPerGib"],
                                                      awsDown["cpuPerGib"], 100 * ratio,
                                                      Verdict(ratio <= 0.25)))
            if mardelUp and awsUp:
                ratio = mardelUp["cpu"] / awsUp["cpu"]
                lines.append("    upload CPU/GiB libMardel %.2f s vs aws s3 cp %.2f s: %.0f%% "
                             "(target <= 40%%) %s" % (mardelUp["cpuPerGib"], awsUp["cpuPerGib"],
                                                      100 * ratio, Verdict(ratio <= 0.40)))
                if floor:
                    lines.append("    upload CPU/GiB libMardel %.2f s vs floor %.2f s: x%.2f "
                                 "(target <= x1.5) %s" % (
                                     mardelUp["cpuPerGib"], floor, mardelUp["cpuPerGib"] / floor,
                                     Verdict(mardelUp["cpuPerGib"] <= 1.5 * floor)))
            for direction in ("upload", "download"):
                ours = [r for r in (self.Find(serverName, direction + " " + bigCase,
                                              "plughost " + p) for p in ("Mardel", "Ruvast")) if r]
                peers = [r for r in self.rows if r["server"] == serverName and
                         r["case"] == direction + " " + bigCase and
                         not r["client"].startswith("plughost") and r["status"] == "ok"]
                if ours and peers:
                    fastest = min(peers, key=lambda r: r["wall"])
                    best = min(ours, key=lambda r: r["wall"])
                    limit = 1.0 if direction == "download" else 1.2
                    lines.append("    %s wall %s %.2f s vs fastest peer %s %.2f s: x%.2f "
                                 "(target %s) %s" % (
                                     direction, best["client"], best["wall"], fastest["client"],
                                     fastest["wall"], best["wall"] / fastest["wall"],
                                     "ahead" if direction == "download" else "<= x1.2",
                                     Verdict(best["wall"] < fastest["wall"] * limit)))
                for row in ours:
                    lines.append("    %s peak RSS %s %.1f MiB (target <= 130 MiB) %s" % (
                        direction, row["client"], row["rss"], Verdict(row["rss"] <= 130)))
        return "\n".join(lines) + "\n"

    def Charts(self, out):
        if not shutil.which("gnuplot"):
            Log("gnuplot is not installed: no charts")
            return
        for serverName in sorted(set(r["server"] for r in self.rows)):
            rows = [r for r in self.rows if r["server"] == serverName]
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
    parser.add_argument("--servers", default="moto,s3rver")
    parser.add_argument("--clients", default="",
                        help="comma-separated subset of mardel,ruvast,s3,s3cmd,rclone")
    parser.add_argument("--parts", default="transfer,folders")
    parser.add_argument("--big-mib", type=int, default=1024)
    parser.add_argument("--small-files", type=int, default=2000)
    parser.add_argument("--list-keys", type=int, default=10000)
    parser.add_argument("--delete-keys", type=int, default=2000)
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--timeout", type=float, default=900, help="seconds per client run")
    parser.add_argument("--micro", default="", help="bench_micro JSON output, for the floor")
    parser.add_argument("--report-only", action="store_true",
                        help="print the table and charts again from OUT/results.csv")
    args = parser.parse_args()
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
                    "load1": float(r["load1_at_start"])})
        report = Report(rows, args)
        print(report.Table() + "\n" + report.Targets(args.micro))
        report.Charts(args.out)
        return
    Bench(args).Main()


if __name__ == "__main__":
    main()
