#!/usr/bin/env python3
"""Floods a receiver panel of the real program (through tests/tools/panel-host) for a
bounded time with valid probes from thousands of source ports, foreign, empty and
65507-byte datagrams, and repeated sequence numbers; then checks what it shows.

    tests/isolated-net tests/multihost/test_flood.py <panel-host> <flood>"""

import os
import subprocess
import sys
import threading
import time
import unittest

import lan

PANEL_HOST = FLOOD = None
GROUP = "234.5.6.7"
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
        # Every box stays "open" for 300 ms, with the event loop running, as a modal box would.
        env = {"PANEL_HOST_BOX_MS": "300"}
        if self.SANITIZED:
            env["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"] + ":quarantine_size_mb=0"
        program = lan.PanelHost(lan.ThisHost(), PANEL_HOST, env=env)
        self.assertIn("state 3", program.ask(f"rx {GROUP} {port} 1"))
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

    def test_flood_leaves_exact_rows_and_a_live_window(self):
        port = 9900
        program = self.start(port)
        memory_before = rss_kib(program.process.pid)

        # Ask the window something every 100 ms while the flood runs: it must answer.
        answers, stop = [], threading.Event()

        def keep_asking():
            while not stop.is_set():
                asked = time.monotonic()
                program.ask("stats")
                answers.append(time.monotonic() - asked)
                time.sleep(0.1)

        asker = threading.Thread(target=keep_asking)
        asker.start()
        try:
            senders = self.flood(port)
            time.sleep(1.0)
        finally:
            stop.set()
            asker.join()

        self.assertEqual(udp_drops(port), 0, "the flood must fit the receive buffer to be exact")
        rows = program.rows()
        shown = {row[1]: (row[3], row[9]) for row in rows}
        self.assertEqual(len(rows), len(senders), "one row per valid sender")
        self.assertEqual(shown, senders, "last sequence and duplicates exactly as sent")
        stats = program.ask("stats").split()
        boxes, deepest, stall = int(stats[3]), int(stats[5]), int(stats[7])
        memory_after = rss_kib(program.process.pid)
        print(f"flood: boxes {boxes}, deepest {deepest}, longest stall {stall} ms, "
              f"slowest answer {max(answers) * 1000:.0f} ms over {len(answers)} questions, "
              f"memory {memory_before} -> {memory_after} KiB for {len(senders)} sources")
        self.assertGreater(boxes, 0, "empty datagrams were sent")
        self.assertEqual(deepest, 1, "at most one box open at a time")
        self.assertLess(max(answers), 2.0, "the window answered throughout")
        self.assertLess((memory_after - memory_before) * 1024, len(senders) * self.BYTES_PER_SOURCE,
                        "memory bounded by the number of sources")
        self.assertEqual(program.close(), 0)

    def test_closing_in_the_middle_of_a_flood(self):
        for action in ("close 0", "quit"):
            with self.subTest(action=action):
                port = 9910 if action == "quit" else 9911
                program = self.start(port)
                flood = subprocess.Popen([FLOOD, GROUP, str(port), str(SENDERS), "3"],
                                         stdout=subprocess.DEVNULL)
                time.sleep(1.2)
                program.ask(action)
                if action != "quit":
                    # The panel is gone; the program goes on answering.
                    time.sleep(0.5)
                    self.assertTrue(program.ask("stats").startswith("ok stats"))
                flood.wait()
                self.assertEqual(program.close(), 0, "no crash, a clean exit")


def main():
    global PANEL_HOST, FLOOD
    PANEL_HOST, FLOOD = sys.argv.pop(1), sys.argv.pop(1)
    lan.assert_isolated()
    return lan.run_tests()


if __name__ == "__main__":
    sys.exit(main())
