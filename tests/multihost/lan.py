"""A LAN of test hosts inside the current (already private) network namespace.

Each host is a network namespace of its own, held open by a sleeping process, joined by a
veth pair to a bridge in this namespace, which acts as the switch. Nothing here is routed
anywhere: the hosts have their LAN address, loopback and a route for multicast, and no
default route. Interface names start with "lvx" so that isolation checks recognise them.
"""

import json
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import threading
import time
import unittest

SUBNET = "10.99.0."
BRIDGE = "lvxbr0"


class SkipLan(Exception):
    """The machine refuses what a LAN of namespaces needs."""


def run(*args, check=True):
    return subprocess.run(args, check=check, capture_output=True, text=True)


def assert_isolated(prefix=()):
    links = run(*prefix, "ip", "-o", "link", "show").stdout
    for name in re.findall(r"^\d+: ([^:@]+)", links, re.M):
        if name != "lo" and not name.startswith("lvx"):
            raise AssertionError(f"NOT ISOLATED: interface {name} is present")
    for family in ("-4", "-6"):
        if run(*prefix, "ip", family, "route", "show", "default").stdout.strip():
            raise AssertionError("NOT ISOLATED: a default route is present")


class Host:
    def __init__(self, lan, index):
        self.name = f"h{index}"
        self.address = SUBNET + str(index)
        self.keeper = subprocess.Popen(["unshare", "--net", "sleep", "infinity"])
        self.pid = self.keeper.pid
        for _ in range(100):
            if os.readlink(f"/proc/{self.pid}/ns/net") != os.readlink("/proc/self/ns/net"):
                break
            time.sleep(0.02)
        else:
            raise SkipLan("unshare --net made no namespace")
        outer, inner = f"lvxp{index}", f"lvxq{index}"
        run("ip", "link", "add", outer, "type", "veth", "peer", "name", inner)
        run("ip", "link", "set", outer, "master", BRIDGE, "up")
        run("ip", "link", "set", inner, "netns", str(self.pid))
        self.sh("ip", "link", "set", "lo", "up")
        self.sh("ip", "link", "set", inner, "name", "lvx0")
        self.sh("ip", "link", "set", "lvx0", "multicast", "on", "up")
        self.sh("ip", "addr", "add", self.address + "/24", "dev", "lvx0")
        self.sh("ip", "route", "add", "224.0.0.0/4", "dev", "lvx0")
        assert_isolated(self.prefix())

    def prefix(self):
        return ("nsenter", "-t", str(self.pid), "-n")

    def sh(self, *args, check=True):
        return run(*self.prefix(), *args, check=check)

    def popen(self, args, **kwargs):
        return subprocess.Popen([*self.prefix(), *args], **kwargs)

    def close(self):
        self.keeper.kill()
        self.keeper.wait()


class ThisHost:
    """The namespace the tests run in, as a host."""

    address = "127.0.0.1"

    def prefix(self):
        return ()

    def sh(self, *args, check=True):
        return run(*args, check=check)

    def popen(self, args, **kwargs):
        return subprocess.Popen(args, **kwargs)


class Lan:
    def __init__(self, hosts):
        for tool in ("unshare", "nsenter", "ip"):
            if not shutil.which(tool):
                raise SkipLan(f"{tool} is not installed")
        assert_isolated()
        try:
            run("ip", "link", "add", BRIDGE, "type", "bridge")
        except subprocess.CalledProcessError as error:
            raise SkipLan(f"no bridge can be made here: {error.stderr.strip()}")
        # A plain switch: no IGMP snooping, every frame reaches every port.
        run("ip", "link", "set", BRIDGE, "type", "bridge", "mcast_snooping", "0")
        run("ip", "link", "set", BRIDGE, "up")
        self.hosts = []
        try:
            for index in range(1, hosts + 1):
                self.hosts.append(Host(self, index))
        except subprocess.CalledProcessError as error:
            self.close()
            raise SkipLan(f"{' '.join(error.cmd)}: {error.stderr.strip()}")

    def close(self):
        for host in self.hosts:
            host.close()
        run("ip", "link", "del", BRIDGE, check=False)


class Capture:
    """dumpcap (Debian's tshark) on a host's LAN link, written to a pcap file until stopped.
    tcpdump would do as well, but it insists on changing its user, which a user namespace
    refuses."""

    def __init__(self, host, expression):
        if not shutil.which("dumpcap"):
            raise SkipLan("dumpcap (package tshark) is not installed")
        self.path = tempfile.mktemp(suffix=".pcap")
        self.process = host.popen(
            ["dumpcap", "-i", "lvx0", "-P", "-q", "-s", "65535", "-w", self.path, "-f",
             expression],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        # dumpcap says "Capturing on" once it captures.
        line = self.process.stderr.readline()
        if "Capturing on" not in line:
            raise SkipLan(f"dumpcap cannot capture here: {line.strip()}")

    def stop(self):
        time.sleep(0.5)
        self.process.terminate()
        self.process.wait()
        self.process.stderr.close()
        with open(self.path, "rb") as file:
            data = file.read()
        os.unlink(self.path)
        return list(ipv4_packets(data))


def ipv4_packets(pcap):
    """(ttl, protocol, source, destination, payload) of every IPv4 packet in an Ethernet
    pcap, fragments put back together."""
    magic = struct.unpack("<I", pcap[:4])[0]
    endian = "<" if magic in (0xA1B2C3D4, 0xA1B23C4D) else ">"
    pending = {}
    at = 24
    while at + 16 <= len(pcap):
        _, _, captured, _ = struct.unpack(endian + "IIII", pcap[at:at + 16])
        frame = pcap[at + 16:at + 16 + captured]
        at += 16 + captured
        if len(frame) < 34 or frame[12:14] != b"\x08\x00":
            continue
        ip = frame[14:]
        header = (ip[0] & 0x0F) * 4
        total, ident, flags_offset = struct.unpack(">HHH", ip[2:8])
        source = ".".join(str(b) for b in ip[12:16])
        destination = ".".join(str(b) for b in ip[16:20])
        more, offset = flags_offset & 0x2000, (flags_offset & 0x1FFF) * 8
        data = ip[header:total]
        if not more and offset == 0:
            yield ip[8], ip[9], source, destination, data
            continue
        key = (source, destination, ident, ip[9])
        parts = pending.setdefault(key, {"ttl": ip[8], "parts": {}, "length": None})
        parts["parts"][offset] = data
        if offset == 0:
            parts["ttl"] = ip[8]
        if not more:
            parts["length"] = offset + len(data)
        if parts["length"] is not None:
            whole, position = b"", 0
            while position in parts["parts"]:
                whole += parts["parts"][position]
                position = len(whole)
            if len(whole) == parts["length"]:
                del pending[key]
                yield parts["ttl"], key[3], source, destination, whole


class Headless:
    """The real program on a host, run with --headless --json; its output is gathered as
    it comes."""

    def __init__(self, host, program, *arguments, env=None):
        environment = dict(os.environ, **(env or {}))
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            environment.pop(name, None)
        self.process = host.popen([program, "--headless", "--json", *arguments],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                  env=environment)
        self.lines = []
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(json.loads(line))

    def probes(self):
        with self.lock:
            return [line for line in self.lines if "transmitter" in line]

    def rows(self):
        """The latest row of every sender, in the order they first appeared."""
        latest = {}
        with self.lock:
            for line in self.lines:
                if "receiver" in line:
                    latest[(line["receiver"], line["source"], line["port"])] = line
        return list(latest.values())

    def source_port(self):
        probes = wait_until(self.probes)
        if not probes:
            raise AssertionError("the transmitter sent nothing: " + self.stop_and_read_errors())
        return probes[0]["source_port"]

    def stop_and_read_errors(self):
        self.stop()
        return self.errors

    def stop(self, signal_number=signal.SIGTERM):
        """Stops it as a user would; returns its exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal_number)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.reader.join()
        self.errors = self.process.stderr.read()
        self.process.stdout.close()
        self.process.stderr.close()
        return self.process.returncode


def wait_until(condition, seconds=6.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.2)
    return condition()


def expected_probe(sequence, frequency, size):
    signature = b"Lumivox multicast probe packets\0"
    header = signature + struct.pack(">HbII", 1, 1, sequence, frequency)
    filler = (signature * (size // 32 + 1))[:size - len(header)]
    return header + filler


def run_tests():
    """Runs the calling script's test cases; returns the exit status, after the plain
    "N passed, N failed" line."""
    result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    return 1 if failed else 0
