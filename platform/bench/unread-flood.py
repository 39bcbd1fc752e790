#!/usr/bin/env python3
"""Measures what answers that are never read cost the platform: it starts
freymo-platform on a temporary database whose demo station has a board of
several megabytes, opens connections from one address group that ask for
the board and never read, and prints the server's resident memory before
and after.

    platform/bench/unread-flood.py build/bin/freymo-platform [--connections 128] [--trucks 2800]

The trucks are written straight into the SQLite file (past the platform's
own cap of trucks per station), each with long texts, about 2 KiB on the
board. The connections come from 127.0.1.A (A = 1..4), one address group,
and their kernel buffers are small, as a client that reads nothing would
keep them. Each asks once; the server is measured after a pause.
"""

import argparse
import json
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request


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


def start(platform, port, data):
    server = subprocess.Popen(
        [platform, "--port", str(port), "--voice-port", "0", "--data-dir", data, "--seed-demo",
         "--idle-timeout", "600", "--request-timeout", "600"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return server
        except OSError:
            time.sleep(0.1)
    return server


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("platform")
    parser.add_argument("--connections", type=int, default=128)
    parser.add_argument("--trucks", type=int, default=2800)
    args = parser.parse_args()

    port = free_port()
    with tempfile.TemporaryDirectory() as data:
        # Seeded once, then stopped, so that the trucks go into a file nobody writes.
        server = start(args.platform, port, data)
        server.terminate()
        server.wait()
        db = sqlite3.connect(f"{data}/platform.db")
        organ = db.execute("SELECT organ FROM users WHERE username = 'demo'").fetchone()[0]
        db.executemany(
            "INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage, packingcase_mode, photo1,"
            " photo2, driver1_name, driver1_mobile, company_name, notes, create_time)"
            " VALUES (?, ?, 1, 0, 20, 1, ?, ?, '司机', '13800001111', ?, ?, '2026-01-05 08:00:00')",
            [(organ, f"鲁Z{i:05d}", "p" * 500, "q" * 500, "c" * 100, "n" * 500) for i in range(args.trucks)])
        db.commit()
        db.close()

        server = start(args.platform, port, data)
        try:
            form = urllib.parse.urlencode({"username": "demo", "password": "load"}).encode()
            login = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/api/auth/", form))
            query = f"?token={login['token']}&user={login['user']}"
            board = urllib.request.urlopen(f"http://127.0.0.1:{port}/api/truck/{query}").read()
            time.sleep(0.5)
            before = resident_kib(server.pid)

            request = f"GET /api/truck/{query} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode()
            held = []
            for n in range(args.connections):
                connection = socket.socket()
                connection.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                connection.bind((f"127.0.1.{1 + n % 4}", 0))
                connection.connect(("127.0.0.1", port))
                connection.sendall(request)
                held.append(connection)
            time.sleep(10)
            after = resident_kib(server.pid)
            print(f"{args.connections} connections of one address group ask for a board of "
                  f"{len(board) / 1024 / 1024:.1f} MiB and read nothing")
            print(f"resident: {before} KiB before, {after} KiB after, grown by {(after - before) / 1024:.1f} MiB")
            for c in held:
                c.close()
        finally:
            server.terminate()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
