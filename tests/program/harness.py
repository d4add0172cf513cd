"""What the tests of the real program share: running it headless, crafting probes, waiting."""

import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import threading
import time
import unittest

SIGNATURE = b"Lumivox multicast probe packets\0"


def probe(sequence, period=5, size=100, version=1, kind=1):
    header = SIGNATURE + struct.pack(">HbII", version, kind, sequence, period)
    return header + (SIGNATURE * (size // 32 + 1))[:max(0, size - len(header))]


def crc32c(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0x82F63B78 & -(crc & 1))
    return crc ^ 0xFFFFFFFF


def with_block(plain, entries):
    """The probe with a block of these (type, value) entries over its filler."""
    body = b"".join(bytes([kind]) + len(value).to_bytes(2, "big") + value for kind, value in entries)
    block = b"\xb5LVX\x01\x00" + (12 + len(body)).to_bytes(2, "big") + body
    block += crc32c(block).to_bytes(4, "big")
    return plain[:43] + block + plain[43 + len(block):]


def run(*args, check=True):
    return subprocess.run(args, check=check, capture_output=True, text=True)


def assert_isolated(prefix=()):
    for name in re.findall(r"^\d+: ([^:@]+)", run(*prefix, "ip", "-o", "link").stdout, re.M):
        assert name == "lo" or name.startswith("lvx"), f"NOT ISOLATED: interface {name}"
    for family in ("-4", "-6"):
        assert not run(*prefix, "ip", family, "route", "show", "default").stdout, "NOT ISOLATED"


def sender():
    """A UDP socket to send from, with a source port of its own."""
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("0.0.0.0", 0))
    return udp


def joined(group, prefix=()):
    """Whether the host lists a membership of the group, as /proc/net/igmp writes it."""
    listed = "".join(f"{int(part):02X}" for part in reversed(group.split(".")))
    return listed in run(*prefix, "cat", "/proc/net/igmp").stdout


def wait_until(condition, seconds=10.0):
    deadline = time.monotonic() + seconds
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(0.05)
    return result


class Headless:
    """The real program run headless on a host (a command prefix), with its output lines
    gathered as they come: parsed JSON unless text is asked for."""

    def __init__(self, program, *arguments, prefix=(), env=None, text=False):
        environment = {name: value for name, value in os.environ.items()
                       if name not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        self.process = subprocess.Popen(
            [*prefix, program, "--headless", *([] if text else ["--json"]), *arguments],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
            env={**environment, **(env or {})})
        self.lines = []
        self.reader = threading.Thread(target=lambda: self.lines.extend(
            line.rstrip("\n") if text else json.loads(line) for line in self.process.stdout))
        self.reader.start()

    def probes(self):
        return [line for line in list(self.lines)
                if "transmitter" in line and "event" not in line and "summary" not in line]

    def summary(self):
        return [line for line in list(self.lines) if "summary" in line]

    def events(self, name):
        return [line for line in list(self.lines) if line.get("event") == name]

    def rows(self):
        """The latest row of every sender, in the order they first appeared."""
        latest = {}
        for line in list(self.lines):
            if "source" in line and "event" not in line and "summary" not in line:
                latest[(line["receiver"], line["source"], line["port"])] = line
        return list(latest.values())

    def row(self, port):
        return next((row for row in self.rows() if row["port"] == port), None)

    def stop(self, signal_number=signal.SIGTERM):
        """Stops it as a user would (or lets it end by itself: None), or kills it after 20 s;
        returns its exit status."""
        if signal_number:
            self.process.send_signal(signal_number)
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self.reader.join()
        self.errors = self.process.stderr.read()
        return self.process.wait()


def main(needs=()):
    """Runs the calling script's tests where isolated; 77 (skipped) naming a missing tool."""
    for tool in needs:
        if not shutil.which(tool):
            print(f"SKIPPED: {tool} is not installed")
            return 77
    assert_isolated()
    result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    return 1 if failed else 0
