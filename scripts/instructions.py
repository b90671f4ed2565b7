#!/usr/bin/env python3
"""Instructions per call of the library's C entries and of their floors.

Runs build/default/bench/kvx_count under callgrind, which dumps its counters
once per case, and prints for each case the instructions per call in all (the
host's included), in the library's own code (libkvx_base.so), and in the
floor's own code (the floor is compiled into kvx_count with the reference
host, whose functions are told apart by name). Instruction counts do
not depend on what else the machine is doing: these are the figures to quote.

usage: scripts/instructions.py [BUILD_DIR] [CALLS]
"""
import glob
import os
import re
import subprocess
import sys
import tempfile


HOST_FUNCTIONS = re.compile(r'(kvx::host::|zr_)')


def self_cost_by_object(path):
    """Total Ir, and Ir spent in each object's own code, from one dump. The
    reference host is linked into kvx_count with the floors: its functions
    count apart, as 'host'."""
    objects, names, current, skip_next, total = {}, {}, None, False, 0
    functions, function = {}, ''
    with open(path) as f:
        for line in f:
            if line.startswith('cfn='):
                m = re.match(r'cfn=\((\d+)\) (.*)', line.strip())
                if m:
                    functions[m.group(1)] = m.group(2)
                continue
            if line.startswith('fn='):
                m = re.match(r'fn=\((\d+)\)(?: (.*))?', line.strip())
                if m:
                    if m.group(2):
                        functions[m.group(1)] = m.group(2)
                    function = functions.get(m.group(1), '')
                else:
                    function = line[3:].strip()
                continue
            if line.startswith('cob='):
                m = re.match(r'cob=\((\d+)\) (.*)', line.strip())
                if m:
                    names[m.group(1)] = os.path.basename(m.group(2))
                continue
            if line.startswith('ob='):
                m = re.match(r'ob=\((\d+)\)(?: (.*))?', line.strip())
                if m:
                    if m.group(2):
                        names[m.group(1)] = os.path.basename(m.group(2))
                    current = names.get(m.group(1))
                else:
                    current = os.path.basename(line[3:].strip())
                continue
            if line.startswith('calls='):
                skip_next = True  # the next cost line is the callee's, inclusive
                continue
            if line.startswith('summary:') or line.startswith('totals:'):
                total = int(line.split()[1])
                continue
            if line[:1].isdigit() or line[:1] in '+-*':
                parts = line.split()
                if len(parts) >= 2 and not skip_next:
                    owner = 'host' if current == 'kvx_count' and HOST_FUNCTIONS.match(function) else current
                    objects[owner] = objects.get(owner, 0) + int(parts[1])
                skip_next = False
    return total, objects


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else 'build/default'
    calls = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    program = os.path.join(build, 'bench', 'kvx_count')
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + os.path.join(out, 'cg.%p'),
                        program, str(calls)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rows = {}
        for path in glob.glob(os.path.join(out, 'cg.*')):
            with open(path) as f:
                trigger = next((l for l in f if l.startswith('desc: Trigger:')), '')
            m = re.search(r"Client Request: (\S+)", trigger)
            if not m:
                continue
            total, objects = self_cost_by_object(path)
            rows[m.group(1)] = (total / calls, objects.get('libkvx_base.so', 0) / calls,
                                objects.get('kvx_count', 0) / calls)
    print(f'{"case":36} {"entry all":>10} {"library":>8} {"floor all":>10} {"floor own":>9} {"ratio":>6}')
    for name in sorted(k for k in rows if k.startswith('entry/')):
        case = name[len('entry/'):]
        entry = rows[name]
        floor = rows.get('floor/' + case)
        if not floor:
            continue
        print(f'{case:36} {entry[0]:10.1f} {entry[1]:8.1f} {floor[0]:10.1f} {floor[2]:9.1f} {entry[0] / floor[0]:6.3f}')


if __name__ == '__main__':
    main()
