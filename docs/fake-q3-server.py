#!/usr/bin/env python3
"""A tiny Quake III-style status server on 127.0.0.1, for screenshots of the live preview."""
import socket
import sys

port = int(sys.argv[1]) if len(sys.argv) > 1 else 27960
players = [(31, 48, "^1Red^7Baron"), (27, 62, "Kestrel"), (22, 35, "^4Blue^7Jay"),
           (18, 71, "Nightjar"), (15, 40, "Wren"), (9, 88, "^3Gold^7finch"), (4, 55, "Tanager")]
info = {"sv_hostname": "^2Vireo ^7Test Arena", "mapname": "q3dm17", "sv_maxclients": "16",
        "g_gametype": "0"}
reply = b"\xff\xff\xff\xffstatusResponse\n" + "".join(
    f"\\{k}\\{v}" for k, v in info.items()).encode() + b"\n" + b"".join(
    f'{s} {p} "{n}"\n'.encode() for s, p, n in players)

sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", port))
while True:
    data, peer = sock.recvfrom(2048)
    if data.startswith(b"\xff\xff\xff\xffgetstatus"):
        sock.sendto(reply, peer)
