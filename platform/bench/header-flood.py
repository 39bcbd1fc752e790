#!/usr/bin/env python3
"""Measures what a header flood costs the platform: it starts freymo-platform
on a temporary database, fills every connection slot with a request whose
headers never end, and prints the server's resident memory before and after.

    platform/bench/header-flood.py build/bin/freymo-platform [--connections 512] [--head-kib 31]

The connections come from 127.0.G.A (A = 1..4, G = 1..), so that no address
or address group reaches its own limit, and the slots kept for clients
answered before are turned off: the flood takes every slot there is.
"""

import argparse
import os
import socket
import subprocess
import sys
import tempfile
import time


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("platform")
    parser.add_argument("--connections", type=int, default=512)
    parser.add_argument("--head-kib", type=int, default=31)
    args = parser.parse_args()

    port = free_port()
    with tempfile.TemporaryDirectory() as data:
        server = subprocess.Popen(
            [args.platform, "--port", str(port), "--voice-port", "0", "--data-dir", data, "--seed-demo",
             "--max-connections", str(args.connections), "--reserved-connections-percent", "0",
             "--idle-timeout", "600", "--request-timeout", "600"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for _ in range(100):
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    break
                except OSError:
                    time.sleep(0.1)
            time.sleep(0.5)
            before = resident_kib(server.pid)

            filler = b"".join(b"X-Filler-%05d: %s\r\n" % (i, b"a" * 100) for i in range(10000))
            head = b"GET /api/truck/ HTTP/1.1\r\nHost: 127.0.0.1\r\n" + filler[: args.head_kib * 1024 - 44]
            held = []
            for n in range(args.connections):
                connection = socket.socket()
                connection.bind((f"127.0.{1 + n // 128}.{1 + n % 4}", 0))
                connection.connect(("127.0.0.1", port))
                connection.sendall(head)
                held.append(connection)
            time.sleep(2)
            after = resident_kib(server.pid)
            alive = sum(1 for c in held if not _closed(c))
            print(f"{args.connections} connections x {args.head_kib} KiB of unfinished headers, {alive} still open")
            print(f"resident: {before} KiB before, {after} KiB after, "
                  f"grown by {(after - before) / 1024:.1f} MiB ({(after - before) / max(1, alive):.1f} KiB a connection)")
            for c in held:
                c.close()
        finally:
            server.terminate()
            server.wait()


def _closed(connection):
    connection.setblocking(False)
    try:
        return connection.recv(1) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True


if __name__ == "__main__":
    sys.exit(main())
