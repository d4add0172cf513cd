#!/usr/bin/env python3
"""The program from outside: its exit statuses, and what it prints headless when the network
sends it probes and junk alike: tests/isolated-net test_program.py <program>"""

import datetime
import errno
import os
import pathlib
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.request

import harness
from harness import probe

PROGRAM = None
GROUP = "234.5.6.9"


class ProgramTest(unittest.TestCase):
    def test_exit_statuses(self):
        holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)  # no address reuse
        holder.bind(("0.0.0.0", 9501))
        self.addCleanup(holder.close)
        server = socket.create_server(("0.0.0.0", 9501))  # and its metrics
        self.addCleanup(server.close)
        # What each option accepts is the parsers' unit test; here, what main() makes of it,
        # headless and in the window, where a test ends with the same verdict.
        for arguments, status, named in (
                ("--help", 0, None), ("", 1, "--headless"), ("--ttl 0", 2, "--ttl"),
                (f"--headless --receive {GROUP}:9501", 1, "9501"),
                (f"--headless --receive {GROUP}:9502 --metrics 9501", 1, "metrics on"),
                (f"--headless --receive {GROUP}:9503 --duration 1", 3, "heard no sender"),
                ("--headless --transmit 10.1.2.3:9 --period 1 --duration 2", 3, "sent nothing"),
                (f"--headless --transmit {GROUP}:9504 --period 1 --duration 2", 0, None),
                (f"window --receive {GROUP}:9505 --duration 1", 3, "heard no sender"),
                (f"window --transmit {GROUP}:9506 --receive {GROUP}:9506 --period 1 --duration 3 "
                 "--expect-sources 1", 0, None)):
            with self.subTest(arguments=arguments):
                environment = {name: value for name, value in os.environ.items()
                               if name not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
                if arguments.startswith("window "):
                    arguments = arguments.removeprefix("window ")
                    environment.update(QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=self.runtime_dir())
                result = subprocess.run([PROGRAM, *arguments.split()], capture_output=True,
                                        text=True, timeout=60, env=environment)
                self.assertEqual(result.returncode, status, result.stderr)
                said = [line for line in result.stderr.splitlines()
                        if "propagateSizeHints" not in line]  # the offscreen platform's
                self.assertEqual([named in line for line in said],
                                 [] if named is None else [True], result.stderr)

    def test_manual_lists_the_options_help_lists(self):
        manual = pathlib.Path(__file__).parents[2] / "packaging" / "lumivox-tool.1"
        lines = manual.read_text().splitlines()
        documented = {name for heading in (lines[i + 1] for i, line in enumerate(lines) if line == ".TP")
                      for name in re.findall(r"(?<![\w-])(-\w|--[\w-]+)",
                                          re.sub(r"\\f.", "", heading).replace("\\-", "-"))}
        helped = subprocess.run([PROGRAM, "--help"], capture_output=True, text=True).stdout
        listed = {name for line in helped.splitlines() if line.startswith("  -")
                  for name in re.findall(r"(?<![\w-])(-\w|--[\w-]+)", line.split("  ")[1])}
        self.assertEqual(documented, listed)

    def test_dissector_reads_the_header_and_the_block(self):
        if not shutil.which("tshark"):
            self.skipTest("tshark is not installed")
        corpus = pathlib.Path(__file__).parents[1] / "fuzz" / "corpus"  # a sender byte and a length first
        datagrams = [probe(1)] + [(corpus / name).read_bytes()[3:] for name in ("block-trusted", "block-refused")]
        capture = pathlib.Path(self.runtime_dir()) / "probes.pcap"
        subprocess.run(["text2pcap", "-q", "-4", f"127.0.0.1,{GROUP}", "-u", "5000,8910", "-", capture],
                       input="".join(f"0000 {data.hex(' ')}\n" for data in datagrams), text=True, check=True)
        dissector = pathlib.Path(__file__).parents[2] / "packaging" / "lumivox-probe.lua"
        fields = subprocess.run(["tshark", "-X", f"lua_script:{dissector}", "-r", capture, "-T", "fields",
                                 *(arg for name in ("seq", "period", "block.entry", "block.send_time",
                                                    "block.crc_ok") for arg in ("-e", f"lumivox.{name}"))],
                                capture_output=True, text=True, check=True)
        self.assertEqual(fields.stdout.splitlines(),
                         ["1\t5\t\t\t", "1\t5\t3,200\t1765000000000000000\t1", "2\t5\t1\t\t0"])

    def runtime_dir(self):
        path = tempfile.mkdtemp()
        os.chmod(path, 0o700)
        self.addCleanup(shutil.rmtree, path)
        return path

    def headless(self, *arguments, send=lambda: None, until):
        """The program run headless, sent to once it has joined, until the condition holds of
        it, then stopped cleanly."""
        program = harness.Headless(PROGRAM, *arguments)
        self.addCleanup(lambda: program.process.poll() is None and program.stop())
        if "--receive" in arguments:
            self.assertTrue(harness.wait_until(lambda: harness.joined(GROUP)), "joined at start")
        send()
        self.assertTrue(harness.wait_until(lambda: until(program)), program.lines)
        self.assertEqual(program.stop(), 0)
        self.assertEqual(program.errors, "")
        return program

    def senders(self, count):
        udps = [harness.sender() for _ in range(count)]
        for udp in udps:
            self.addCleanup(udp.close)
        return udps

    def test_rows_count_each_sender_and_nothing_else(self):
        junk, burst, marker = self.senders(3)

        def send():
            for datagram in (b"foreign", b"", probe(1)[:42], probe(1, version=2), probe(1, kind=4)):
                junk.sendto(datagram, ("127.0.0.1", 9511))
            for sequence in range(1, 101):
                burst.sendto(probe(sequence), ("127.0.0.1", 9511))
            marker.sendto(probe(1), ("127.0.0.1", 9511))
        program = self.headless("--receive", f"{GROUP}:9511", send=send,
                                until=lambda program: program.row(marker.getsockname()[1]))
        rows = program.rows()
        for row in rows:
            self.assertEqual(set(row), {"receiver", "source", "port", "last_rx", "seq", "freq", "cons_rx",
                                        "cons_miss", "total_rx", "total_miss", "loss_percent", "dups",
                                        "late", "jitter_ms", "rate", "longest_gap_ms", "rx_ttl", "state",
                                        "host_drops", "sources_refused"})
            self.assertIsNotNone(datetime.datetime.fromisoformat(row["last_rx"]).tzinfo)
        self.assertEqual([(row["port"], row["seq"], row["total_rx"], row["rx_ttl"]) for row in rows],
                         [(burst.getsockname()[1], 100, 100, 64), (marker.getsockname()[1], 1, 1, 64)])

    def test_a_path_change_is_told(self):
        crafted, = self.senders(1)

        def send():
            for ttl in (1, 5):
                crafted.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, ttl)
                crafted.sendto(probe(3000000000, period=86400), (GROUP, 9512))
        program = self.headless("--receive", f"{GROUP}:9512", send=send, until=lambda program: (
            program.events("ttl_changed") and program.rows()))
        self.assertEqual([(line["port"], line["ttl_from"], line["ttl_to"]) for line in
                          program.events("ttl_changed")], [(crafted.getsockname()[1], 1, 5)])
        self.assertEqual([(row["seq"], row["freq"], row["dups"], row["rx_ttl"]) for row in program.rows()],
                         [(3000000000, 86400, 1, 5)])

    def test_probe_lines_and_the_row_they_make(self):
        program = self.headless("--receive", f"{GROUP}:9513", "--transmit", f"{GROUP}:9513",
                                "--period", "1", "--size", "random", until=lambda program: (
                                    len(program.probes()) >= 2 and program.rows()))
        probes = program.probes()
        for line in probes:
            self.assertEqual(set(line), {"transmitter", "source_port", "seq", "size", "ttl"})
            self.assertTrue(100 <= line["size"] <= 1499 and line["ttl"] == 16, line)
        self.assertEqual([line["seq"] for line in probes], list(range(1, len(probes) + 1)))
        self.assertEqual([(row["port"], row["seq"], row["total_rx"], row["rx_ttl"]) for row in program.rows()],
                         [(probes[0]["source_port"], len(probes), len(probes), 16)])

    def test_failed_sends_use_their_numbers(self):
        program = self.headless("--transmit", "10.1.2.3:9", "--period", "1",
                                until=lambda program: len(program.probes()) >= 2)
        self.assertEqual([(line["seq"], line["error"]) for line in program.probes()],
                         [(seq, os.strerror(errno.ENETUNREACH)) for seq in range(1, len(program.probes()) + 1)])

    def test_a_stream_counted_on_the_wire(self):
        """A thousand a second, every number once, none sent before its time, the stopping
        message last; the program says so a line a second, not a line a probe."""
        wire = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(wire.close)
        wire.settimeout(20)  # the stopping message ends the listening
        wire.bind((GROUP, 9560))
        wire.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                        socket.inet_aton(GROUP) + socket.inet_aton("127.0.0.1"))
        heard = []  # (type, number, header period, send time, block's period and burst)

        def listen():
            while not heard or heard[-1][0] != 2:
                datagram = wire.recv(2048)
                kind, number, period = struct.unpack(">bII", datagram[34:43])
                entries, at = {}, 43 + 8
                while at < 43 + struct.unpack(">H", datagram[49:51])[0] - 4:
                    entry, length = struct.unpack(">BH", datagram[at:at + 3])
                    entries[entry] = datagram[at + 3:at + 3 + length]
                    at += 3 + length
                heard.append((kind, number, period, struct.unpack(">Q", entries[3])[0],
                              struct.unpack(">QI", entries[4])))
        listener = threading.Thread(target=listen)
        listener.start()
        program = self.headless("--transmit", f"{GROUP}:9560", "--rate", "1000", "--size", "200",
                                until=lambda program: len(program.probes()) >= 2)
        listener.join()
        streams = program.probes()
        self.assertFalse([line for line in streams if "size" in line], "a line a probe")
        self.assertEqual(set(streams[-1]), {"transmitter", "source_port", "seq", "sent", "rate",
                                            "late", "behind_ms", "send_failures"})
        [summary] = program.summary()
        self.assertEqual([number for _, number, *_ in heard], list(range(1, summary["sent"] + 1)))
        self.assertEqual({(kind, period, timing) for kind, _, period, _, timing in heard[:-1]},
                         {(1, 1, (1_000_000, 1))})
        self.assertEqual(heard[-1][0], 2)
        first = heard[0][3]
        early = [number for kind, number, _, sent, _ in heard[:-1]
                 if sent - first < (number - 2) * 1_000_000]
        self.assertEqual(early, [])

    def test_a_stream_counts_what_the_queue_drops(self):
        """A queue too small for the stream drops sends, which the kernel keeps quiet of unless
        asked: each is counted failed, its number used up, and told once."""
        harness.run("ip", "link", "add", "lvxq", "type", "veth", "peer", "name", "lvxr")
        self.addCleanup(harness.run, "ip", "link", "del", "lvxq")
        for command in (("ip", "link", "set", "lvxr", "up"), ("ip", "link", "set", "lvxq", "up"),
                        ("ip", "addr", "add", "10.9.0.1/24", "dev", "lvxq"),
                        ("tc", "qdisc", "add", "dev", "lvxq", "root", "tbf", "rate", "1mbit",
                         "burst", "10kb", "limit", "10kb")):
            harness.run(*command)
        program = self.headless("--transmit", f"{GROUP}:9561", "--interface", "lvxq", "--rate",
                                "2000", until=lambda program: program.probes()[1:])
        [summary] = program.summary()
        dropped = int(re.search(r"dropped (\d+)", harness.run("tc", "-s", "qdisc", "show", "dev",
                                                               "lvxq").stdout)[1])
        self.assertTrue(0 < summary["send_failures"] <= dropped, (summary, dropped))
        self.assertGreater(program.probes()[-1]["send_failures"], 0)
        self.assertEqual(len(program.events("send_failed")), 1)

    def test_a_stream_timed_on_arrival(self):
        """A known pattern at 1,000 a second: a 50 ms gap of 49 numbers, a burst of ten, two
        numbers swapped; the row tells each, and the clock set between two probes."""
        program = harness.Headless(PROGRAM, "--receive", f"{GROUP}:9562")
        self.addCleanup(lambda: program.process.poll() is None and program.stop())
        self.assertTrue(harness.wait_until(lambda: harness.joined(GROUP)))
        udp = harness.sender()
        self.addCleanup(udp.close)
        timing = (4, (1_000_000).to_bytes(8, "big") + (1).to_bytes(4, "big"))

        def send(numbers, pause=0.001, clock=0):
            for number in numbers:
                sent = (time.time_ns() + clock).to_bytes(8, "big")
                udp.sendto(harness.with_block(probe(number, 1, 100), [(3, sent), timing]),
                           (GROUP, 9562))
                time.sleep(pause)
        send(range(1, 101))
        time.sleep(0.05)
        send(range(150, 160), pause=0)
        send([161, 160, *range(162, 200)])
        send([200], clock=5_000_000_000)
        self.assertTrue(harness.wait_until(lambda: (program.row(udp.getsockname()[1]) or {})
                                           .get("seq") == 200), program.lines)
        self.assertEqual(program.stop(), 0)
        row = program.rows()[-1]
        self.assertEqual((row["total_rx"], row["total_miss"], row["late"]), (151, 49, 1))
        self.assertGreaterEqual(row["longest_gap_ms"], 49)
        self.assertIsNotNone(row["jitter_ms"])
        [line] = [line for line in program.summary() if line.get("port") == udp.getsockname()[1]]
        self.assertEqual(sum(line["outages_by_ms"][1:]), 1)
        self.assertEqual(len(program.events("clock_stepped")), 1)

    def test_loss_exact_at_rate(self):
        """nftables drops a tenth of the probes of a stream of 2,000 a second, at random (not
        the first, before which a receiver knows of no number, nor the stopping message): the
        receiver counts every one it dropped missing, and every other received; the sender
        counts each as a failed send."""
        rule = "udp dport 9563 @th,336,8 1 @th,344,32 != 1 numgen random mod 10 0 counter drop"
        harness.run("nft", "add table inet lvx")
        self.addCleanup(harness.run, "nft", "delete table inet lvx")
        harness.run("nft", "add chain inet lvx out { type filter hook output priority 0; }")
        harness.run("nft", f"add rule inet lvx out {rule}")
        receiver = harness.Headless(PROGRAM, "--receive", f"{GROUP}:9563")
        self.assertTrue(harness.wait_until(lambda: harness.joined(GROUP)))
        sender = harness.Headless(PROGRAM, "--transmit", f"{GROUP}:9563", "--rate", "2000",
                                  "--duration", "3")
        self.assertEqual(sender.stop(None), 0)
        self.assertTrue(harness.wait_until(lambda: receiver.events("stopped")), receiver.lines)
        self.assertEqual(receiver.stop(), 0)
        dropped = int(re.search(r"packets (\d+)", harness.run("nft", "list table inet lvx").stdout)[1])
        [sent] = [line for line in sender.summary() if "sent" in line]
        [row] = receiver.rows()
        self.assertGreater(dropped, sent["sent"] // 20)
        self.assertEqual((row["total_rx"], row["total_miss"], row["host_drops"], sent["send_failures"]),
                         (sent["sent"], dropped, 0, dropped))

    def test_planned_stop_and_verdict(self):
        """A transmitter stopped by SIGTERM says so and is no loss; one killed is lost, and a
        receiver that tests fails for it alone."""
        receiver = harness.Headless(PROGRAM, "--receive", f"{GROUP}:9530", "--max-latency", "1",
                                    "--loss-threshold", "2", "--expect-sources", "2")
        planned, killed = (harness.Headless(PROGRAM, "--transmit", f"{GROUP}:9530", "--period",
                                            "1") for _ in range(2))
        self.assertTrue(harness.wait_until(lambda: len(receiver.events("new")) == 2), receiver.lines)
        port = lambda transmitter: transmitter.probes()[0]["source_port"]
        self.assertEqual(planned.stop(), 0, planned.errors)
        killed.process.kill()
        killed.stop()
        [stopped] = harness.wait_until(lambda: receiver.events("stopped"))
        [lost] = harness.wait_until(lambda: receiver.events("lost"))
        self.assertEqual((stopped["port"], lost["port"]), (port(planned), port(killed)))
        self.assertEqual(receiver.stop(), 3)
        self.assertEqual(receiver.errors, f"lumivox-tool: test failed: {GROUP}:9530 lost "
                                          f"127.0.0.1:{port(killed)}\n")
        states = {line["port"]: line["state"] for line in receiver.summary() if "state" in line}
        self.assertEqual(states, {port(planned): "stopped", port(killed): "lost"})
        self.assertEqual(planned.summary()[-1]["sent"], planned.probes()[-1]["seq"])

    def test_rejoins_an_interface_made_anew(self):
        """A receiver waits for an interface deleted, and joins again, by itself, once it is made
        again; no refusal is told, and the run passes as a test."""
        def make():  # both ends on this host: lvxr takes probes from one of its own addresses
            harness.run("ip", "link", "add", "lvxr", "type", "veth", "peer", "name", "lvxs")
            for link, address in (("lvxs", "10.98.0.1/24"), ("lvxr", "10.98.0.2/24")):
                harness.run("ip", "addr", "add", address, "dev", link)
                harness.run("ip", "link", "set", link, "up")
            harness.run("sh", "-c", "echo 1 > /proc/sys/net/ipv4/conf/lvxr/accept_local")
        make()
        self.addCleanup(harness.run, "ip", "link", "del", "lvxr", check=False)
        program = harness.Headless(PROGRAM, "--receive", f"{GROUP}:9560", "--interface", "lvxr",
                                   "--expect-sources", "1")
        self.addCleanup(program.process.kill)
        sender = harness.sender()
        self.addCleanup(sender.close)
        send = lambda number: (  # by the interface, which has a new index once made again
            sender.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("10.98.0.1")),
            sender.sendto(probe(number), (GROUP, 9560)))
        self.assertTrue(harness.wait_until(lambda: send(1) and program.rows()), program.lines)
        harness.run("ip", "link", "del", "lvxr")
        [waiting] = harness.wait_until(lambda: program.events("waiting"))
        self.assertIn(f"lvxr to come back, to join {GROUP}", waiting["detail"])
        make()
        self.assertTrue(harness.wait_until(lambda: program.events("rejoined")), program.lines)
        self.assertTrue(harness.wait_until(lambda: send(2) and program.rows()[0]["seq"] == 2))
        self.assertEqual(program.stop(), 0, program.errors)
        [receiver] = [line for line in program.summary() if "joins_refused" in line]
        self.assertEqual((receiver["joins_refused"], program.events("join_refused")), (0, []))

    def test_without_raw_sockets(self):
        """Without CAP_NET_RAW queriers cannot be seen: said once, and receiving works."""
        program = harness.Headless(PROGRAM, "--receive", f"{GROUP}:9570", "--receive",
                                   f"{GROUP}:9571", prefix=("setpriv", "--bounding-set", "-net_raw"),
                                   env={"container": "podman"})
        sender = harness.sender()
        self.addCleanup(sender.close)
        self.assertTrue(harness.wait_until(lambda: sender.sendto(probe(1), ("127.0.0.1", 9571))
                                           and program.rows()), program.lines)
        self.assertEqual(program.stop(), 0, program.errors)
        for once in ("cannot be seen", "runs in a container"):  # the host's, said once a run
            said = [line for line in program.events("warning") if once in line["detail"]]
            self.assertEqual(len(said), 1, program.lines)

    def test_metrics_exposition(self):
        program = harness.Headless(PROGRAM, "--receive", f"{GROUP}:9550", "--transmit",
                                   f"{GROUP}:9550", "--period", "1", "--metrics", "127.0.0.1:9551",
                                   "--metrics-max-sources", "2")
        self.assertTrue(harness.wait_until(lambda: harness.joined(GROUP)))
        senders = [harness.sender() for _ in range(3)]
        for number, udp in enumerate(senders, start=7):
            self.addCleanup(udp.close)
            udp.sendto(probe(number), (GROUP, 9550))
        self.assertTrue(harness.wait_until(lambda: len(program.rows()) == 4))
        with urllib.request.urlopen("http://127.0.0.1:9551/metrics", timeout=5) as reply:
            text = reply.read().decode()
        self.assertEqual(program.stop(), 0)
        samples = dict(line.rsplit(" ", 1) for line in text.splitlines() if line[0] != "#")
        # The first two sources in full, the others only counted.
        self.assertEqual({key: value for key, value in samples.items() if "rx_probes" in key}, {
            f'lumivox_rx_probes_total{{receiver="{GROUP}:9550",source="127.0.0.1",'
            f'source_port="{udp.getsockname()[1]}"}}': "1" for udp in senders[:2]})
        self.assertEqual(samples[f'lumivox_rx_sources_not_exported{{receiver="{GROUP}:9550"}}'], "2")
        sent = int(samples[f'lumivox_tx_probes_total{{transmitter="{GROUP}:9550"}}'])
        self.assertTrue(1 <= sent <= len(program.probes()), sent)
        if not shutil.which("promtool"):
            self.skipTest("promtool (Debian's prometheus) is not installed")
        check = subprocess.run(["promtool", "check", "metrics"], input=text, capture_output=True,
                               text=True)
        self.assertEqual((check.returncode, check.stdout + check.stderr), (0, ""))

    def test_host_checks(self):
        harness.run("ip", "link", "add", "lvxd", "type", "veth", "peer", "name", "lvxe")  # down
        harness.run("sh", "-c", "echo 1 > /proc/sys/net/ipv4/conf/lo/rp_filter")
        self.addCleanup(harness.run, "sh", "-c", "echo 0 > /proc/sys/net/ipv4/conf/lo/rp_filter")
        for arguments, event, said in (
                (["--receive", f"{GROUP}:9540", "--interface", "lvxd"], "warning", "lvxd is down"),
                (["--receive", f"{GROUP}:9541", "--interface", "lo"], "warning", "rp_filter = 1"),
                (["--transmit", "[ff15::9]:9542", "--period", "1"], "send_failed", "no route"),
                (["--receive", "[ff15::9]:9543"], "join_refused", "ip -6 route add"),
                (["--receive", "127.0.0.5:9544"], "join_refused", "--no-join"),
                (["--receive", f"10.0.0.1@{GROUP}:9545"], "warning", "Source-specific")):
            with self.subTest(said=said):
                program = harness.Headless(PROGRAM, *arguments)
                self.assertTrue(harness.wait_until(lambda: any(
                    said in line["detail"] for line in program.events(event))), program.lines)
                self.assertEqual(program.stop(), 0)

    def test_text_columns(self):
        program = harness.Headless(PROGRAM, "--receive", f"{GROUP}:9520", "--transmit",
                                   f"{GROUP}:9520", "--period", "1", "--receive",
                                   "10.0.0.1@232.1.1.1:9521", text=True)  # a wider RECEIVER
        self.assertTrue(harness.wait_until(lambda: len(program.lines) >= 3))
        self.assertEqual(program.stop(signal.SIGINT), 0)
        at = max(i for i, line in enumerate(program.lines) if line.startswith("RECEIVER"))
        heading, row = program.lines[at:at + 2]
        self.assertTrue(heading.startswith("RECEIVER") and row.startswith(f"{GROUP}:9520 "))
        # Addresses start under their headings; numbers and times end under theirs.
        for name in re.finditer(r"\S+", heading):
            edge = name.start() if name.group() in ("RECEIVER", "SOURCE", "STATE") else name.end() - 1
            beside = edge - 1 if edge == name.start() else edge + 1
            self.assertNotEqual(row[edge], " ", name.group())
            self.assertTrue(beside in (-1, len(row)) or row[beside] == " ", name.group())


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    sys.exit(harness.main())
