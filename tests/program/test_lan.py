#!/usr/bin/env python3
"""The program headless on a LAN of three hosts (namespaces on a bridge in this test's own,
links named lvx*), with evidence from the wire: tests/isolated-net test_lan.py <program>"""

import os
import re
import socket
import subprocess
import sys
import tempfile
import unittest
import urllib.request

import harness

PROGRAM = None


class Host:
    """A host with a link lvxN on each bridge lvxbrN it is given, 10.(99-N).0.index on it, and
    multicast routed by its first."""

    def __init__(self, index, bridges=(0,)):
        self.address = f"10.99.0.{index}"
        self.keeper = subprocess.Popen(["unshare", "--net", "sleep", "infinity"])
        self.prefix = ("nsenter", "-t", str(self.keeper.pid), "-n")
        harness.wait_until(lambda: os.readlink(f"/proc/{self.keeper.pid}/ns/net")
                           != os.readlink("/proc/self/ns/net"))
        harness.run(*self.prefix, "ip", "link", "set", "lo", "up")
        for n in bridges:
            harness.run("ip", "link", "add", f"lvxp{index}{n}", "master", f"lvxbr{n}", "up", "type",
                        "veth", "peer", "name", f"lvx{n}", "netns", str(self.keeper.pid))
            for command in (f"link set lvx{n} multicast on up",
                            f"addr add 10.{99 - n}.0.{index}/24 dev lvx{n}"):
                harness.run(*self.prefix, "ip", *command.split())
        harness.run(*self.prefix, "ip", "route", "add", "224.0.0.0/4", "dev", f"lvx{bridges[0]}")
        harness.assert_isolated(self.prefix)

    def start(self, *arguments):
        return harness.Headless(PROGRAM, *arguments, prefix=self.prefix)


class Capture:
    """dumpcap (Debian's tshark) on a host's link, read back with tshark."""

    def __init__(self, host, expression, link="lvx0"):
        self.path = tempfile.mktemp(suffix=".pcap")
        self.process = subprocess.Popen([*host.prefix, "dumpcap", "-i", link, "-q", "-w",
                                         self.path, "-f", expression], stderr=subprocess.PIPE)
        assert b"Capturing on" in self.process.stderr.readline()

    def fields(self, display_filter, *names):
        result = harness.run("tshark", "-r", self.path, "-Y", display_filter, "-T", "fields",
                             *[arg for name in names for arg in ("-e", name)], check=False)
        return [line.split("\t") for line in result.stdout.splitlines()]


class LanTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for bridge in ("lvxbr0", "lvxbr1"):
            harness.run("ip", "link", "add", bridge, "up", "type", "bridge", "mcast_snooping", "0")
        harness.run("ip", "addr", "add", "10.99.0.254/24", "dev", "lvxbr0")  # for unicast probes
        # Host 1 has a second link, on its own segment with host 4.
        cls.hosts = [Host(1, (0, 1)), Host(2), Host(3), Host(4, (1,))]

    @classmethod
    def tearDownClass(cls):
        for host in cls.hosts:
            host.keeper.kill(), host.keeper.wait()

    def stopped(self, program):
        self.assertEqual(program.stop(), 0, program.errors)
        return program

    def test_probes_cross_the_lan_as_sent(self):
        sender, *receivers = self.hosts[:3]
        for ttl, size, group in ((1, 43, "234.5.7.1"), (16, 1000, "234.5.7.2"),
                                 (255, 1500, "234.5.7.3")):
            with self.subTest(ttl=ttl, size=size):
                listening = [host.start("--receive", f"{group}:8910") for host in receivers]
                for host in receivers:
                    self.assertTrue(harness.wait_until(lambda: harness.joined(group, host.prefix)))
                capture = Capture(sender, f"dst host {group}")
                tx = sender.start("--transmit", f"{group}:8910", "--period", "1", "--ttl", str(ttl),
                                  "--size", str(size))
                for rx in listening:
                    self.assertTrue(harness.wait_until(lambda: rx.rows() and rx.rows()[0]["seq"] > 1))
                probes = self.stopped(tx).probes()
                for rx in listening:
                    [row] = self.stopped(rx).rows()
                    self.assertEqual((row["source"], row["port"], row["freq"], row["dups"]),
                                     (sender.address, probes[0]["source_port"], 1, 0))
                # Fragments are put back together; a datagram's fields stand on its last one.
                wire = lambda: capture.fields("udp", "ip.ttl", "ip.src", "udp.payload")
                self.assertTrue(harness.wait_until(lambda: len(wire()) == len(probes)))
                capture.process.terminate()
                for sequence, (seen_ttl, source, payload) in enumerate(wire(), start=1):
                    self.assertEqual((int(seen_ttl.split(",")[0]), source.split(",")[0]),
                                     (ttl, sender.address))
                    # The last is the stopping message of a transmitter stopped on purpose.
                    self.assertEqual(bytes.fromhex(payload.replace(":", "")), harness.probe(
                        sequence, 1, size, kind=2 if sequence == len(probes) else 1))

    def test_igmp_join_at_start_and_leave_at_stop(self):
        host = self.hosts[1]
        capture = Capture(host, "igmp")
        member = host.start("--receive", "234.5.7.10:8920")
        listener = host.start("--receive", "234.5.7.11:8921", "--no-join")
        # A first row says the program is up, its signal handlers with it.
        udp = harness.sender()
        for program, port in ((member, 8920), (listener, 8921)):
            self.assertTrue(harness.wait_until(lambda: udp.sendto(harness.probe(1), (
                host.address, port)) and program.rows()))
        self.stopped(member), self.stopped(listener)

        def changes():
            seen = []
            for kind, record_types, groups in capture.fields("igmp", "igmp.type",
                                                             "igmp.record_type", "igmp.maddr"):
                for record_type, group in zip(record_types.split(","), groups.split(",")):
                    change = ("join" if kind == "0x16" or record_type in ("2", "4") else "leave", group)
                    seen += [change] if group == "234.5.7.10" and (not seen or seen[-1] != change) else []
            return seen

        expected = [("join", "234.5.7.10"), ("leave", "234.5.7.10")]
        self.assertTrue(harness.wait_until(lambda: changes() == expected), changes())
        capture.process.terminate()

    def test_chosen_interfaces_sources_and_ipv6(self):
        two_links, near, _, far = self.hosts
        group = "234.5.7.30"
        rows = [host.start("--receive", f"{group}:8930") for host in (near, far)]
        sent = []
        for link, hears in (("lvx0", 0), ("lvx1", 1), ("lvx0", 0)):  # each receiver a marker
            tx = two_links.start("--transmit", f"{group}:8930", "--period", "1", "--interface", link)
            self.assertTrue(harness.wait_until(lambda: tx.probes() and any(
                row["port"] == tx.probes()[0]["source_port"] for row in rows[hears].rows())))
            sent.append(self.stopped(tx).probes()[0]["source_port"])
        for rx, ports in zip(rows, ([sent[0], sent[2]], [sent[1]])):
            self.assertEqual([row["port"] for row in self.stopped(rx).rows()], ports)

        # Joins go by the chosen interface only, and a source-specific one names its source.
        captures = [Capture(two_links, "igmp", link) for link in ("lvx0", "lvx1")]
        ssm = two_links.start("--receive", "10.98.0.4@232.1.2.3:8931", "--interface", "lvx1")
        reports = lambda link: captures[link].fields("igmp", "igmp.maddr", "igmp.saddr")
        self.assertTrue(harness.wait_until(lambda: ["232.1.2.3", "10.98.0.4"] in reports(1)), reports(1))
        self.stopped(ssm)
        self.assertFalse([line for line in reports(0) if "232.1.2.3" in line[0]])
        for capture in captures:
            capture.process.terminate()

        # IPv6: MLD reports the join, and probes arrive by the link's own addresses.
        capture = Capture(near, "ip6 multicast")  # MLD hides behind a hop-by-hop header
        rx = near.start("--receive", "[ff15::1:30]:8932", "--interface", "lvx0")
        tx = two_links.start("--transmit", "[ff15::1:30]:8932", "--period", "1", "--interface", "lvx0")
        self.assertTrue(harness.wait_until(lambda: rx.rows()), self.stopped(rx).errors)
        self.stopped(tx)
        self.assertTrue(self.stopped(rx).rows()[0]["source"].startswith("fe80::"))
        self.assertIn(["ff15::1:30"], capture.fields("icmpv6.type == 143", "icmpv6.mldr.mar.multicast_address"))
        capture.process.terminate()

    def snooping_switch(self, n, indexes):
        """Bridge lvxbrN that snoops, its own querier querying every second, and a host on it
        for each index, its port forwarding only the groups snooping allows."""
        harness.run("ip", "link", "add", f"lvxbr{n}", "type", "bridge", "mcast_snooping", "1",
                    "mcast_igmp_version", "3", "mcast_query_use_ifaddr", "1",
                    "mcast_query_interval", "100", "mcast_query_response_interval", "50",
                    "mcast_startup_query_interval", "100", "mcast_membership_interval", "300")
        harness.run("ip", "addr", "add", f"10.{99 - n}.0.254/24", "dev", f"lvxbr{n}")
        harness.run("ip", "link", "set", f"lvxbr{n}", "up", "type", "bridge", "mcast_querier", "1")
        hosts = [Host(index, (n,)) for index in indexes]
        self.hosts += hosts
        for index in indexes:
            harness.run("ip", "link", "set", f"lvxp{index}{n}", "type", "bridge_slave", "mcast_flood", "off")
        return hosts

    def test_querier_of_a_snooping_switch(self):
        """A bridge that snoops, with its own querier: the receiver names it; switched off, the
        sender is lost, saying when the last query came and that a missing querier is the likely cause,
        and querier_gone follows; switched on
        again, the querier is named again and the sender recovers."""
        querier = lambda on: harness.run("ip", "link", "set", "lvxbr2", "type", "bridge",
                                         "mcast_querier", str(on))
        sender, receiver = self.snooping_switch(2, (5, 6))
        rx = receiver.start("--receive", "234.5.7.40:8940", "--max-latency", "1",
                            "--loss-threshold", "2")
        tx = sender.start("--transmit", "234.5.7.40:8940", "--period", "1")
        events = lambda name: harness.wait_until(lambda: rx.events(name), 40)
        self.assertEqual(events("querier")[0]["source"], "10.97.0.254", rx.lines)
        self.assertTrue(harness.wait_until(lambda: rx.rows() and rx.rows()[0]["state"] == "ok", 40))
        querier(0)
        [lost] = events("lost")
        self.assertIn("the last query on lvx2 came", lost["detail"])
        self.assertIn("a missing querier is the likely cause", lost["detail"])
        self.assertTrue(events("querier_gone"))
        querier(1)
        self.assertTrue(harness.wait_until(lambda: len(rx.events("querier")) == 2, 40))
        self.assertTrue(events("recovered"), rx.lines)
        self.stopped(tx), self.stopped(rx)

    def test_mesh_of_four_on_a_snooping_switch(self):
        """Four members with a key: all hear all, and a forged unsigned block changes nothing;
        one member deaf to the group: its row goes lost, its column stays OK, every verdict
        fails; one ordered pair broken: exactly that cell goes lost."""
        hosts = self.snooping_switch(3, (7, 8, 9, 10))
        names = "abcd"
        key = tempfile.NamedTemporaryFile()  # readable by its owner only
        key.write(os.urandom(32)), key.flush()

        def mesh(*first):
            members = [host.start("--mesh", "234.5.7.50:8950", "--name", name, "--mesh-key", key.name,
                                  "--expect-members", "4", "--loss-threshold", "2", "--max-latency", "1",
                                  *(first if name == "a" else ())) for host, name in zip(hosts, names)]
            self.addCleanup(lambda: [member.process.kill() for member in members])
            return members

        def warm(members):
            """Each member has heard from each other one that it hears all three."""
            for member, name in zip(members, names):
                self.assertTrue(harness.wait_until(lambda: {event["member"] for event in member.events(
                    "member_changed") if "3 OK" in event["detail"]} == set(names) - {name}, 40))

        def grid(member):
            """The final matrix at a member, a line a member in the order a b c d."""
            rows = {line["member"]: line["hears"] for line in member.summary() if "hears" in line}
            order = [line["member"] for line in member.summary() if "hears" in line]
            return ["".join(rows[row][order.index(column)] for column in names) for row in names]

        def changed(member, name, sums):
            return harness.wait_until(lambda: any(event["member"] == name and sums in event["detail"]
                                                  for event in member.events("member_changed")), 20)

        all_ok = ["-ooo", "o-oo", "oo-o", "ooo-"]
        members = mesh("--metrics", "10.96.0.7:9781")
        warm(members)
        metrics = lambda: urllib.request.urlopen("http://10.96.0.7:9781/metrics").read().decode()
        ids = dict(re.findall(r'member_info\{.*?member="(\w+)",name="(\w)"', metrics()))
        ids = {name: bytes.fromhex(member) for member, name in ids.items()}
        forger = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        forger.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("10.96.0.254"))
        forger.sendto(forged_probe(ids["b"], b"b", [ids["c"]]), ("234.5.7.50", 8950))
        self.assertTrue(harness.wait_until(
            lambda: 'unverified_members{mesh="234.5.7.50:8950"} 1' in metrics()))
        self.assertEqual([member.stop() for member in members], [0] * 4, members[0].errors)
        self.assertEqual(grid(members[0]), all_ok)
        self.assertEqual({hops for line in members[0].summary() for hops in line.get("hops", [])},
                         {0, None})  # one switch, and none to itself
        [verdict] = [line for line in members[0].summary() if "failing_pairs" in line]
        self.assertEqual((verdict["failing_pairs"], verdict["unverified"]),
                         ([], [f"10.96.0.254:{forger.getsockname()[1]} b"]))

        for deaf, broken in ((True, False), (False, True)):
            members = mesh()
            warm(members)
            rule = "ip daddr 234.5.7.50 drop" if deaf else "ip saddr 10.96.0.7 ip daddr 234.5.7.50 drop"
            target = hosts[3 if deaf else 2]
            for command in ("add table ip lvx", "add chain ip lvx input { type filter hook input priority 0 ; }",
                            f"add rule ip lvx input {rule}"):
                harness.run(*target.prefix, "nft", *command.split())
            if deaf:  # the deaf member stops last, so that the others hear its last report
                self.assertTrue(changed(members[0], "d", "0 OK, 3 lost"))
                statuses = [member.stop() for member in members]
                self.assertEqual(statuses, [3] * 4)
                self.assertEqual(grid(members[0]), ["-ooo", "o-oo", "oo-o", "XXX-"])
            else:
                self.assertTrue(changed(members[1], "c", "2 OK, 1 lost"))
                statuses = [member.stop() for member in members]
                self.assertEqual(statuses, [3, 0, 3, 0], [member.errors for member in members])
                [verdict] = [line for line in members[1].summary() if "failing_pairs" in line]
                self.assertEqual(verdict["failing_pairs"], [{"member": "c", "hears": "a", "state": "lost"}])
                # a stopped first: a report that came after says so, as a stop, not a loss
                self.assertEqual([row.replace("s", "o") for row in grid(members[1])],
                                 ["-ooo", "o-oo", "Xo-o", "ooo-"])
            harness.run(*target.prefix, "nft", "delete", "table", "ip", "lvx")


def forged_probe(member, name, lost, sequence=1):
    """A member's probe without a signature: it says it is member and hears those lost."""
    entries = [(1, member + name), (5, bytes([16, 0, 0, 0, 0, len(lost), 0, 0]) + bytes(16)),
               (2, b"".join(id + bytes([1, 0, 60, 0, 0, 0, 0, 0, 0, 0, 60, 0]) for id in lost))]
    return harness.with_block(harness.probe(sequence, 1, 300), entries)


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    sys.exit(harness.main(needs=("unshare", "nsenter", "dumpcap", "tshark")))
