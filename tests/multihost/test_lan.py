#!/usr/bin/env python3
"""The program on a LAN of three hosts: a transmitter host and two receiver hosts, each
running the real program headless, with evidence taken from the wire.

    tests/isolated-net tests/multihost/test_lan.py <lumivox-tool>

Exits 77 (skipped, with the reason) where the machine refuses the namespaces."""

import shutil
import signal
import sys
import time
import unittest

import lan

PROGRAM = None
GROUP = "234.5.6.7"


class LanTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lan = lan.Lan(3)
        cls.tx_host, cls.rx1_host, cls.rx2_host = cls.lan.hosts

    @classmethod
    def tearDownClass(cls):
        cls.lan.close()

    def setUp(self):
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            self.assertEqual(program.stop(), 0, "the program must end cleanly")

    def start(self, host, *arguments):
        program = lan.Headless(host, PROGRAM, *arguments)
        self.programs.append(program)
        return program

    def transmit(self, host, destination, ttl=16, size=1000):
        return self.start(host, "--transmit", destination, "--period", "1", "--ttl", str(ttl),
                          "--size", str(size))

    def test_probes_reach_both_receiver_hosts(self):
        rx1 = self.start(self.rx1_host, "--receive", f"{GROUP}:8910")
        rx2 = self.start(self.rx2_host, "--receive", f"{GROUP}:8910")
        port = self.transmit(self.tx_host, f"{GROUP}:8910").source_port()
        for receiver in (rx1, rx2):
            rows = lan.wait_until(receiver.rows)
            self.assertEqual(len(rows), 1, rows)
            self.assertEqual(rows[0]["source"], self.tx_host.address)
            self.assertEqual(rows[0]["port"], port)
            self.assertEqual(rows[0]["freq"], 1)
            self.assertEqual(rows[0]["dups"], 0)

    def test_ttl_and_payload_on_the_wire(self):
        for ttl, size in ((1, 43), (16, 1000), (255, 1500)):
            with self.subTest(ttl=ttl):
                port = 8920 + ttl % 50
                # Fragments of the large probes carry no UDP header: filter by group here
                # and by port below.
                capture = lan.Capture(self.tx_host, f"dst host {GROUP}")
                tx = self.transmit(self.tx_host, f"{GROUP}:{port}", ttl, size)
                time.sleep(2.3)
                self.programs.remove(tx)
                self.assertEqual(tx.stop(), 0)
                packets = [packet for packet in capture.stop()
                           if int.from_bytes(packet[4][2:4], "big") == port]
                self.assertGreaterEqual(len(packets), 2)
                self.assertEqual(len(packets), len(tx.probes()))
                for sequence, (seen_ttl, protocol, source, destination, ip_payload) in enumerate(
                        packets, start=1):
                    self.assertEqual(seen_ttl, ttl)
                    self.assertEqual(protocol, 17)
                    self.assertEqual(source, self.tx_host.address)
                    self.assertEqual(destination, GROUP)
                    self.assertEqual(ip_payload[8:], lan.expected_probe(sequence, 1, size))

    def igmp_records(self, packets):
        """(report kind, group) for every IGMP membership message, in order."""
        records = []
        for _, protocol, _, _, igmp in packets:
            if protocol != 2 or not igmp:
                continue
            kind = igmp[0]
            if kind == 0x22:  # version 3 report: records of type, length, sources, group
                count = int.from_bytes(igmp[6:8], "big")
                at = 8
                for _ in range(count):
                    record_type, aux, sources = igmp[at], igmp[at + 1], int.from_bytes(
                        igmp[at + 2:at + 4], "big")
                    group = ".".join(str(b) for b in igmp[at + 4:at + 8])
                    joins = record_type in (2, 4)  # exclude mode: a member
                    records.append(("join" if joins else "leave", group))
                    at += 8 + 4 * sources + 4 * aux
            elif kind in (0x12, 0x16):
                records.append(("join", ".".join(str(b) for b in igmp[4:8])))
            elif kind == 0x17:
                records.append(("leave", ".".join(str(b) for b in igmp[4:8])))
        return [record for record in records if record[1] == GROUP]

    def test_igmp_join_at_start_and_leave_at_stop(self):
        capture = lan.Capture(self.rx1_host, "igmp")
        rx = self.start(self.rx1_host, "--receive", f"{GROUP}:8930")
        listener = self.start(self.rx1_host, "--receive", f"{GROUP}:8931", "--no-join")
        time.sleep(0.8)
        self.programs.remove(listener)
        self.assertEqual(listener.stop(signal.SIGINT), 0)
        self.programs.remove(rx)
        self.assertEqual(rx.stop(), 0)
        time.sleep(0.5)
        records = self.igmp_records(capture.stop())
        # Each change is reported more than once (robustness); keep the changes. The
        # receiver that does not join says nothing.
        changes = [kind for i, (kind, _) in enumerate(records)
                   if i == 0 or records[i - 1][0] != kind]
        self.assertEqual(changes, ["join", "leave"], records)

    def test_non_member_gets_no_multicast_but_unicast(self):
        rx = self.start(self.rx2_host, "--receive", f"{GROUP}:8940", "--no-join")
        self.transmit(self.tx_host, f"{GROUP}:8940").source_port()
        time.sleep(2.5)
        self.assertEqual(rx.rows(), [])
        unicast_port = self.transmit(self.tx_host, f"{self.rx2_host.address}:8940",
                                     size=200).source_port()
        rows = lan.wait_until(rx.rows)
        self.assertEqual([row["port"] for row in rows], [unicast_port])

    def test_receiver_survives_its_link_going_down_and_up(self):
        rx = self.start(self.rx1_host, "--receive", f"{GROUP}:8950")
        self.transmit(self.tx_host, f"{GROUP}:8950")
        self.assertTrue(lan.wait_until(rx.rows))
        self.rx1_host.sh("ip", "link", "set", "lvx0", "down")
        time.sleep(1.5)
        self.rx1_host.sh("ip", "link", "set", "lvx0", "up")
        self.rx1_host.sh("ip", "route", "replace", "224.0.0.0/4", "dev", "lvx0")
        before = rx.rows()[0]["seq"]
        self.assertTrue(lan.wait_until(lambda: rx.rows()[0]["seq"] > before + 1),
                        "probes must arrive again once the link is back")
        self.assertEqual(len(rx.rows()), 1)


def main():
    global PROGRAM
    PROGRAM = sys.argv.pop(1)
    try:
        if not shutil.which("dumpcap"):
            raise lan.SkipLan("dumpcap (package tshark) is not installed")
        lan.assert_isolated()
        probe = lan.Lan(1)
        probe.close()
    except lan.SkipLan as reason:
        print(f"SKIPPED: {reason}")
        return 77
    return lan.run_tests()


if __name__ == "__main__":
    sys.exit(main())
