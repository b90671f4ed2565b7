# SPDX-License-Identifier: Apache-2.0
"""Shader calls per second of kvx.Network.shade for a network file over a
512x512 grid, on one and two threads, the best of five runs each, beside what
`kvx-host shade` reports for the same work.

    PYTHONPATH=build/default/python python3 scripts/python_throughput.py examples/rings.kvx build/default/kvx-host
"""

import re
import subprocess
import sys
import time

import kvx


def main(network_file, host):
    lib = kvx.Library()
    net = kvx.Network(lib, file=network_file)
    for threads in (1, 2):
        printed = subprocess.run([host, "shade", network_file, "-g", "512", "512", "--threads", str(threads)],
                                 capture_output=True, text=True, check=True).stdout
        calls = int(re.search(r"(\d+) shader calls", printed).group(1))
        host_rate = float(re.search(r"([\d.e+]+) calls/s", printed).group(1))
        best = min(timed(net, threads) for _ in range(5))
        print("%d thread%s: kvx-host %.3g calls/s, Python %.3g calls/s (%.0f%%)"
              % (threads, "" if threads == 1 else "s", host_rate, calls / best, 100 * calls / best / host_rate))


def timed(net, threads):
    start = time.perf_counter()
    net.shade(512, 512, threads=threads)
    return time.perf_counter() - start


if __name__ == "__main__":
    main(*sys.argv[1:3])
