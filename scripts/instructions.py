#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Instructions per call of the library's C entries and of their floors.

Runs build/default/bench/kvx_count under callgrind, which dumps its counters
once per case (every shader, each mode), and prints for ten quoted shaders the
instructions per call in all (the host's included), in the library's own code
(libkvx_base.so), and in the floor's own code (the floor is linked into
kvx_count with the reference host, whose functions are told apart by name);
then the distribution of every shader's ratio to its floor, and each case
above 1.10. Instruction counts do not depend on what else the machine is
doing: these are the figures to quote.

usage: scripts/instructions.py [BUILD_DIR] [CALLS] [--table FILE]
  --table FILE  also writes every shader's ratios, highest first, as a
                Markdown table (docs/instruction-counts.md)
"""
import glob
import os
import re
import subprocess
import sys
import tempfile


HOST_FUNCTIONS = re.compile(r'(kvx::host::|zr_)')


def floor_or_host(obj, function):
    """The reference host is linked into kvx_count with the floors: its
    functions count apart, as 'host'."""
    return 'host' if obj == 'kvx_count' and HOST_FUNCTIONS.match(function) else obj


def self_cost_by_object(path, owner_of=floor_or_host):
    """Total Ir, and Ir spent in each owner's own code, from one dump; the
    owner of an instruction is owner_of(object, function)."""
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
                fields = line.split()
                if len(fields) >= 2 and not skip_next:
                    owner = owner_of(current, function)
                    objects[owner] = objects.get(owner, 0) + int(fields[1])
                skip_next = False
    return total, objects


QUOTED = ['Math_float_add', 'Math_float3_normalize', 'Math_color_smoothstep', 'Math_float4_exp2', 'Math_int_pow',
          'Math_refract', 'Math_color_conditional', 'Math_color_tex2d', 'State_normal', 'State_focal_length']
MODES = ['plain', 'gather', 'gather+list']
LIMIT = 1.10


def measure(build, calls):
    """{(shader, mode): (entry all, library, floor all, floor own)} per call."""
    program = os.path.join(build, 'bench', 'kvx_count')
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + os.path.join(out, 'cg.%p'),
                        program, str(calls)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        dumps = {}
        for path in glob.glob(os.path.join(out, 'cg.*')):
            with open(path) as f:
                trigger = next((l for l in f if l.startswith('desc: Trigger:')), '')
            m = re.search(r"Client Request: (\S+)", trigger)
            if m:
                total, objects = self_cost_by_object(path)
                dumps[m.group(1)] = (total / calls, objects.get('libkvx_base.so', 0) / calls,
                                     objects.get('kvx_count', 0) / calls)
    rows = {}
    for name, entry in dumps.items():
        if not name.startswith('entry/'):
            continue
        floor = dumps.get('floor/' + name[len('entry/'):])
        if floor:
            shader, mode = name[len('entry/'):].split('/')
            rows[(shader, mode)] = (entry[0], entry[1], floor[0], floor[2])
    return rows


def write_table(path, rows, calls):
    shaders = sorted({shader for shader, _ in rows},
                     key=lambda s: (-max(rows[(s, m)][0] / rows[(s, m)][2] for m in MODES), s))
    with open(path, 'w') as out:
        out.write('# Instructions per call, every shader\n\n'
                  'Written by `scripts/instructions.py --table` (callgrind, %d calls a case); '
                  'see `docs/performance.md` for the method. Each cell: the C entry\'s instructions in all '
                  'against its generic floor\'s, and in brackets how many more the library\'s own code runs '
                  'than the floor\'s. Highest ratio first.\n\n' % calls)
        out.write('| shader | ' + ' | '.join(MODES) + ' |\n|---|' + '---:|' * len(MODES) + '\n')
        for shader in shaders:
            cells = []
            for mode in MODES:
                r = rows[(shader, mode)]
                cells.append(f'{r[0] / r[2]:.3f} ({r[1] - r[3]:+.0f})')
            out.write(f'| {shader} | ' + ' | '.join(cells) + ' |\n')


def main():
    args = sys.argv[1:]
    table = None
    if '--table' in args:
        at = args.index('--table')
        table = args[at + 1]
        del args[at:at + 2]
    build = args[0] if len(args) > 0 else 'build/default'
    calls = int(args[1]) if len(args) > 1 else 1000
    rows = measure(build, calls)
    if table:
        write_table(table, rows, calls)

    print(f'{"case":36} {"entry all":>10} {"library":>8} {"floor all":>10} {"floor own":>9} {"ratio":>6}')
    for shader in QUOTED:
        for mode in MODES:
            r = rows[(shader, mode)]
            print(f'{shader + "/" + mode:36} {r[0]:10.1f} {r[1]:8.1f} {r[2]:10.1f} {r[3]:9.1f} {r[0] / r[2]:6.3f}')

    ratios = {key: r[0] / r[2] for key, r in rows.items()}
    shaders = len({shader for shader, _ in rows})
    print(f'\nAll {shaders} shaders, each mode, entry against its generic floor (instructions in all):')
    edges = [0.95, 1.00, 1.02, 1.04, 1.06, 1.08, 1.10]
    print(f'{"ratio":>13} ' + ' '.join(f'{m:>12}' for m in MODES))
    for low, high in zip([0.0] + edges, edges + [float('inf')]):
        counts = [sum(1 for (s, m), v in ratios.items() if m == mode and low <= v < high) for mode in MODES]
        label = f'< {high:.2f}' if low == 0.0 else f'>= {low:.2f}' if high == float('inf') else f'{low:.2f}-{high:.2f}'
        print(f'{label:>13} ' + ' '.join(f'{c:12d}' for c in counts))
    worst = sorted(((v, key) for key, v in ratios.items()), reverse=True)
    print(f'highest: {worst[0][1][0]}/{worst[0][1][1]} {worst[0][0]:.3f}; '
          f'median {sorted(ratios.values())[len(ratios) // 2]:.3f}')
    above = [(v, key) for v, key in worst if v > LIMIT]
    print(f'above {LIMIT:.2f}: {len(above)}')
    for v, (shader, mode) in above:
        r = rows[(shader, mode)]
        print(f'  {shader + "/" + mode:40} {v:6.3f}  library {r[1]:.0f}, floor own {r[3]:.0f}')


if __name__ == '__main__':
    main()
