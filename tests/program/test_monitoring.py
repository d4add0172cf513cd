#!/usr/bin/env python3
"""Many hosts in one view, with the real parts: a transmitter host and two receiver hosts on a
LAN, each receiver with a second link to a Prometheus server and an snmptrapd in this test's
own namespace: tests/isolated-net test_monitoring.py <program>"""

import json
import os
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
import urllib.request

import harness
import test_lan

HERE = os.path.dirname(os.path.abspath(__file__))
RULES = os.path.join(HERE, "..", "..", "packaging", "prometheus", "lumivox-rules.yml")
MONITOR = "10.98.0.254"  # this namespace, on the receivers' second segment
LOST, RECOVERED = ".1.3.6.1.3.7381.0.1", ".1.3.6.1.3.7381.0.2"


def get(url):
    with urllib.request.urlopen(url, timeout=5) as reply:
        return reply.read().decode()


def ready(url):
    try:
        return get(url)
    except OSError:
        return None


class MonitoringTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for bridge in ("lvxbr0", "lvxbr1"):
            harness.run("ip", "link", "add", bridge, "up", "type", "bridge", "mcast_snooping", "0")
        harness.run("ip", "addr", "add", f"{MONITOR}/24", "dev", "lvxbr1")
        cls.sender, *cls.receivers = test_lan.Host(5), test_lan.Host(6, (0, 1)), test_lan.Host(7, (0, 1))
        cls.work = tempfile.mkdtemp()
        cls.trap_log = os.path.join(cls.work, "traps.log")
        cls.servers = [subprocess.Popen(
            ["snmptrapd", "-f", "-C", "-c", "/dev/null", "--disableAuthorization=yes", "-m", "",
             "-On", "-Lf", cls.trap_log, f"udp:{MONITOR}:16200"],
            env={**os.environ, "SNMP_PERSISTENT_DIR": cls.work}, stderr=subprocess.DEVNULL)]
        config = os.path.join(cls.work, "prometheus.yml")
        with open(config, "w") as file:
            targets = ", ".join(f'"10.98.0.{n}:9781"' for n in (6, 7))
            file.write(f"global: {{scrape_interval: 1s, evaluation_interval: 1s}}\n"
                       f"rule_files: [{RULES}]\nscrape_configs:\n"
                       f"  - job_name: lumivox\n    static_configs: [{{targets: [{targets}]}}]\n")
        cls.servers.append(subprocess.Popen(
            ["prometheus", f"--config.file={config}", f"--storage.tsdb.path={cls.work}/data",
             "--web.listen-address=127.0.0.1:9090"], stderr=subprocess.DEVNULL))

    @classmethod
    def tearDownClass(cls):
        for process in cls.servers + [host.keeper for host in (cls.sender, *cls.receivers)]:
            process.kill(), process.wait()

    def query(self, expression):
        answer = json.loads(get("http://127.0.0.1:9090/api/v1/query?"
                                + urllib.parse.urlencode({"query": expression})))
        return {(series["metric"].get("instance"), series["metric"].get("source")):
                float(series["value"][1]) for series in answer["data"]["result"]}

    def alerts(self, name):
        answer = json.loads(get("http://127.0.0.1:9090/api/v1/alerts"))["data"]["alerts"]
        return {alert["labels"]["instance"] for alert in answer
                if alert["labels"]["alertname"] == name and alert["state"] in ("pending", "firing")}

    def traps(self, notification):
        with open(self.trap_log) as file:
            return [line for line in file if notification in line]

    def test_matrix_alert_and_traps(self):
        agents = [host.start("--receive", "234.5.8.1:8910", "--metrics", "9781", "--snmp-trap",
                             f"{MONITOR}:16200", "--loss-threshold", "2", "--max-latency", "1")
                  for host in self.receivers]
        tx = self.sender.start("--transmit", "234.5.8.1:8910", "--period", "1")
        for program in agents + [tx]:
            self.addCleanup(program.stop)
        self.assertTrue(harness.wait_until(lambda: ready("http://127.0.0.1:9090/-/ready"), 30))
        instances = [f"10.98.0.{n}:9781" for n in (6, 7)]
        source = self.sender.address

        # The matrix: the transmitter at both receivers, nothing lost.
        matrix = lambda: self.query("lumivox:rx_loss:ratio5m")
        self.assertTrue(harness.wait_until(lambda: set(matrix()) == {
            (instance, source) for instance in instances}, 30), matrix())
        self.assertEqual(set(matrix().values()), {0.0})
        counted = self.query("lumivox_rx_probes_total > 0")
        self.assertEqual(set(counted), {(instance, source) for instance in instances})

        # One receiver host's link goes down: the lost alert is for that receiver only, and
        # its agent sends the lost trap.
        harness.run("ip", "link", "set", "lvxp70", "down")
        lost = lambda: self.alerts("LumivoxSourceLost")
        self.assertTrue(harness.wait_until(lambda: lost() == {instances[1]}, 30), lost())
        self.assertTrue(harness.wait_until(lambda: self.traps(LOST), 10))
        [trap] = self.traps(LOST)
        for value in ('STRING: "234.5.8.1"', f'STRING: "{source}"', "Gauge32: 8910"):
            self.assertIn(value, trap)

        # Back up: the same source recovers, and the recovered trap follows.
        harness.run("ip", "link", "set", "lvxp70", "up")
        self.assertTrue(harness.wait_until(lambda: self.traps(RECOVERED), 30))
        self.assertEqual(len(self.traps(LOST)), 1)
        for program in agents + [tx]:
            self.assertEqual(program.stop(), 0, program.errors)


if __name__ == "__main__":
    PROGRAM = test_lan.PROGRAM = sys.argv.pop(1)
    sys.exit(harness.main(needs=("unshare", "nsenter", "prometheus", "snmptrapd")))
