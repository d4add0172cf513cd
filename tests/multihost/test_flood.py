#!/usr/bin/env python3
"""Floods a receiver of the real program, run headless, for a bounded time with valid
probes from thousands of source ports, foreign, empty and 65507-byte datagrams, and
repeated sequence numbers; then checks what it printed.

    tests/isolated-net tests/multihost/test_flood.py <lumivox-tool> <flood>"""

import os
import signal
import subprocess
import sys
import time
import unittest

import lan

PROGRAM = FLOOD = None
GROUP = "234.5.6.7"
GROUP_HEX = "0706 05EA".replace(" ", "")  # as /proc/net/igmp lists it
SENDERS = 3000


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def udp_drops(port):
    """Datagrams the kernel dropped for lack of room at sockets bound to the port."""
    drops = 0
    with open("/proc/net/udp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            if int(fields[1].split(":")[1], 16) == port:
                drops += int(fields[-1])
    return drops


class FloodTest(unittest.TestCase):
    # Under AddressSanitizer freed memory is held back and every block padded: keep none
    # held back and allow for the padding.
    SANITIZED = "ASAN_OPTIONS" in os.environ
    BYTES_PER_SOURCE = 60000 if SANITIZED else 20000

    def start(self, port):
        env = {}
        if self.SANITIZED:
            env["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"] + ":quarantine_size_mb=0"
        program = lan.Headless(lan.ThisHost(), PROGRAM, "--receive", f"{GROUP}:{port}", env=env)
        # Joined once the kernel lists the membership.
        self.assertTrue(lan.wait_until(lambda: GROUP_HEX in open("/proc/net/igmp").read()))
        return program

    def flood(self, port, seconds=4):
        result = subprocess.run([FLOOD, GROUP, str(port), str(SENDERS), str(seconds)],
                                check=True, capture_output=True, text=True)
        senders = {}
        for line in result.stdout.splitlines():
            words = line.split()
            if words[0] == "sender":
                senders[words[1]] = (words[2], words[3])
        print(result.stdout.splitlines()[-1])
        return senders

    def test_flood_leaves_exact_rows(self):
        port = 9900
        program = self.start(port)
        memory_before = rss_kib(program.process.pid)
        senders = self.flood(port)
        time.sleep(1.5)
        memory_after = rss_kib(program.process.pid)
        self.assertEqual(udp_drops(port), 0, "the flood must fit the receive buffer to be exact")
        asked = time.monotonic()
        self.assertEqual(program.stop(), 0)
        stopped_in = time.monotonic() - asked
        rows = program.rows()
        shown = {str(row["port"]): (str(row["seq"]), str(row["dups"])) for row in rows}
        print(f"flood: stopped in {stopped_in * 1000:.0f} ms, "
              f"memory {memory_before} -> {memory_after} KiB for {len(senders)} sources")
        self.assertEqual(len(rows), len(senders), "one row per valid sender")
        self.assertEqual(shown, senders, "last sequence and duplicates exactly as sent")
        self.assertLess(stopped_in, 2.0, "it stops at once, final rows and all")
        self.assertLess((memory_after - memory_before) * 1024, len(senders) * self.BYTES_PER_SOURCE,
                        "memory bounded by the number of sources")

    def test_stopping_in_the_middle_of_a_flood(self):
        for stop in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=stop.name):
                port = 9910 if stop == signal.SIGINT else 9911
                program = self.start(port)
                flood = subprocess.Popen([FLOOD, GROUP, str(port), str(SENDERS), "3"],
                                         stdout=subprocess.DEVNULL)
                time.sleep(1.2)
                asked = time.monotonic()
                self.assertEqual(program.stop(stop), 0, "no crash, a clean exit")
                self.assertLess(time.monotonic() - asked, 2.0, "network input never blocks it")
                self.assertTrue(program.rows(), "the final rows are printed")
                flood.wait()


def main():
    global PROGRAM, FLOOD
    PROGRAM, FLOOD = sys.argv.pop(1), sys.argv.pop(1)
    lan.assert_isolated()
    return lan.run_tests()


if __name__ == "__main__":
    sys.exit(main())
