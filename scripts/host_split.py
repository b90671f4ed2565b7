#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Instructions per shader call of `kvx-host shade`, the library's and the
host's, for every example network.

Each network is shaded under callgrind twice, over 64x64 points and over one
point, on one thread, counting only inside the grid's shading (not start-up,
reading the network, or writing the image); the difference between the two is
the cost of the points alone. "library" is libkvx_base.so's own code, "math" the C
math library the shaders call, "textures" the host's answers to texture
lookups (its procedural textures), "host" everything else (kvx-host, the C
library). Beside them, shader calls per second on one and two threads over
512x512 points, from kvx-host's own report.

usage: scripts/host_split.py [BUILD_DIR]
"""
import glob
import importlib.util
import os
import re
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location('instructions', os.path.join(here, 'instructions.py'))
instructions = importlib.util.module_from_spec(spec)
spec.loader.exec_module(instructions)


def shade(host, network, size, threads, out=None):
    command = [host, 'shade', network, '-g', str(size), str(size), '--threads', str(threads)]
    run = subprocess.run(command, check=True, capture_output=True, text=True)
    return run.stdout


def costs(host, network, size):
    with tempfile.TemporaryDirectory() as out:
        path = os.path.join(out, 'cg')
        subprocess.run(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + path,
                        '--toggle-collect=*shade_grid*', host, 'shade', network,
                        '-g', str(size), str(size), '--threads', '1'],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return instructions.self_cost_by_object(path, owner_of_cost)[1]


TEXTURES = re.compile(r'(kvx::host::Reference_host::texture|kvx::host::State_object::lookup_tex|kvx::(host|network)::\(anonymous namespace\)::(ramp|checker)\(|std::_Function_handler<ZR::SHADER::Color)')


def owner_of_cost(obj, function):
    if obj == 'libkvx_base.so':
        return 'library'
    if obj and obj.startswith('libm.'):
        return 'math'
    return 'textures' if TEXTURES.match(function) else 'host'


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else 'build/default'
    host = os.path.join(build, 'kvx-host')
    examples = sorted(glob.glob(os.path.join(here, '..', 'examples', '*.kvx')))
    print(f'{"network":12} {"library":>8} {"math":>6} {"textures":>8} {"host":>6} {"1 thread":>12} {"2 threads":>12}')
    for network in examples:
        calls = {}
        for size in (64, 1):
            m = re.search(r'(\d+) shader calls', shade(host, network, size, 1))
            calls[size] = int(m.group(1))
        big, small = costs(host, network, 64), costs(host, network, 1)
        n = calls[64] - calls[1]
        split = {owner: big.get(owner, 0) - small.get(owner, 0) for owner in ('library', 'math', 'textures', 'host')}
        rates = []
        for threads in (1, 2):
            m = re.search(r'([0-9.e+]+) calls/s', shade(host, network, 512, threads))
            rates.append(float(m.group(1)) / 1e6)
        name = os.path.splitext(os.path.basename(network))[0]
        print(f'{name:12} {split["library"] / n:8.1f} {split["math"] / n:6.1f} {split["textures"] / n:8.1f} '
              f'{split["host"] / n:6.1f} '
              f'{rates[0]:10.1f} M {rates[1]:10.1f} M')


if __name__ == '__main__':
    main()
