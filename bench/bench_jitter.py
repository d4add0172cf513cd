#!/usr/bin/env python3
"""The jitter a receiver gives a stream against RFC 3550's, computed here from a capture of
the same datagrams on the receiver's interface and the send times they carry, in one run:
  bench_jitter.py <lumivox-tool> [rate] [seconds]   (bench/run runs it inside a namespace)"""

import json
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time

GROUP, PORT = "239.7.7.7", 9720


def captured(path):
    """(arrival ns, number, send time ns) of each probe in a pcap file (its stamps in µs, or
    in ns where the file says so)."""
    with open(path, "rb") as pcap:
        data = pcap.read()
    scale = {0xA1B2C3D4: 1000, 0xA1B23C4D: 1}[struct.unpack("<I", data[:4])[0]]
    probes, at = {}, 24
    while at + 16 <= len(data):
        seconds, fraction, length, _ = struct.unpack("<IIII", data[at:at + 16])
        frame = data[at + 16:at + 16 + length]
        at += 16 + length
        payload = frame[14 + 20 + 8:]  # Ethernet, IPv4, UDP
        number = struct.unpack(">I", payload[35:39])[0]
        probes.setdefault(number, (seconds * 1_000_000_000 + fraction * scale, number,
                                   struct.unpack(">Q", payload[54:62])[0]))
    return sorted(probes.values())


def rfc3550(arrivals):
    jitter, last = 0.0, None
    for arrival, _, sent in arrivals:
        transit = arrival - sent
        if last is not None:
            jitter += (abs(transit - last) - jitter) / 16
        last = transit
    return jitter


def main(program, rate="1000", seconds="5"):
    work = tempfile.mkdtemp()
    capture = subprocess.Popen(["dumpcap", "-q", "-i", "lo", "-P", "-f", f"udp port {PORT}",
                                "-w", f"{work}/stream.pcap"], stderr=subprocess.DEVNULL)
    receiver = subprocess.Popen([program, "--headless", "--json", "--receive", f"{GROUP}:{PORT}"],
                                stdout=subprocess.PIPE, text=True)
    time.sleep(1)
    subprocess.run([program, "--headless", "--transmit", f"{GROUP}:{PORT}", "--rate", rate,
                    "--size", "100", "--duration", seconds], stdout=subprocess.DEVNULL, check=True)
    time.sleep(0.5)
    receiver.send_signal(signal.SIGTERM)
    rows = [json.loads(line) for line in receiver.stdout if '"jitter_ms"' in line]
    capture.send_signal(signal.SIGTERM)
    capture.wait()
    ours = rows[-1]["jitter_ms"] * 1e6
    theirs = rfc3550(captured(f"{work}/stream.pcap"))
    print(f"jitter at {rate}/s for {seconds} s: the receiver {ours / 1000:.3f} µs, RFC 3550 from "
          f"the capture {theirs / 1000:.3f} µs: {abs(ours - theirs) / 1000:.3f} µs apart "
          f"({100 * abs(ours - theirs) / theirs:.1f} %)")


if __name__ == "__main__":
    main(*sys.argv[1:])
