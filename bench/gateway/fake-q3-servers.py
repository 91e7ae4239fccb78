#!/usr/bin/env python3
"""Quake III-style status servers on COUNT consecutive UDP ports of 127.0.0.1 from FIRST, all in one
process, so the gateway can be made to cache a thousand distinct servers. Each answers with its
port in its name. With LOG, each query is written there as "PORT SECONDS" (a monotonic clock), for
checks that count the queries each server gets. With BIG=1 in the environment, each reply is as
large as a datagram may be (a 63 KB name, map and player list), for the gateway's memory bound.
Usage: fake-q3-servers.py FIRST COUNT [LOG]"""
import os
import selectors
import socket
import sys
import time

first, count = int(sys.argv[1]), int(sys.argv[2])
log = open(sys.argv[3], "a", buffering=1) if len(sys.argv) > 3 else None
big = os.environ.get("BIG") == "1"
if big:
    players = b"".join(f'{i} {i} "{"P" * 200}{i}"\n'.encode() for i in range(200))
else:
    players = b"".join(f'{20 - i} {30 + i} "Player{i}"\n'.encode() for i in range(8))
selector = selectors.DefaultSelector()
for port in range(first, first + count):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", port))
    sock.setblocking(False)
    name = b"Bench server " + str(port).encode() + (b" " + b"N" * 12000 if big else b"")
    reply = (b"\xff\xff\xff\xffstatusResponse\n\\sv_hostname\\" + name + b"\\mapname\\q3dm17" +
             (b"M" * 8000 if big else b"") + b"\\sv_maxclients\\16\n" + players)
    selector.register(sock, selectors.EVENT_READ, reply)
print("ready", flush=True)
while True:
    for key, _ in selector.select():
        try:
            data, peer = key.fileobj.recvfrom(2048)
        except BlockingIOError:
            continue
        if data.startswith(b"\xff\xff\xff\xffgetstatus"):
            key.fileobj.sendto(key.data, peer)
            if log:
                log.write(f"{key.fileobj.getsockname()[1]} {time.monotonic():.3f}\n")
