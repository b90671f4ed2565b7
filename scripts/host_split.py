#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Instructions per shader call of `kvx-host shade`, the library's and the
host's, for every example network, through the C entries and through the
shader objects.

Each network is shaded under callgrind twice, over 64x64 points and over one
point, on one thread, counting only inside the grid's shading (not start-up,
reading the network, or writing the image); the difference between the two is
the cost of the points alone. "library" is libkvx_base.so's own code, "math" the C
math library the shaders call, "textures" the host's answers to texture
lookups (its procedural textures), "host" everything else (kvx-host, the C
library). On the shader-object path the memory allocator's instructions are
the library's ("alloc"): an object is made and released at every point, as
the interface asks, and the host allocates nothing there. Beside them, shader
calls per second on one and two threads over 512x512 points, from kvx-host's
own report, and the shader objects' rate as a share of the C entries'.

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


def shade(host, network, size, threads, path='c'):
    command = [host, 'shade', network, '-g', str(size), str(size), '--threads', str(threads), '--path', path]
    run = subprocess.run(command, check=True, capture_output=True, text=True)
    return run.stdout


def costs(host, network, size, path):
    with tempfile.TemporaryDirectory() as out:
        dump = os.path.join(out, 'cg')
        subprocess.run(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + dump,
                        '--toggle-collect=*shade_grid*', host, 'shade', network,
                        '-g', str(size), str(size), '--threads', '1', '--path', path],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return instructions.self_cost_by_object(dump, owner_of_cost)[1]


TEXTURES = re.compile(r'(kvx::host::Reference_host::texture|kvx::host::State_object::lookup_tex|kvx::(host|network)::\(anonymous namespace\)::(ramp|checker)\(|std::_Function_handler<ZR::SHADER::Color)')


ALLOCATOR = re.compile(r'(malloc|_int_malloc|free|_int_free|cfree|tcache_\w+|operator new|operator delete'
                       r'|__libc_malloc|__libc_free|malloc_consolidate|unlink_chunk)\b')


def owner_of_cost(obj, function):
    if obj == 'libkvx_base.so':
        return 'library'
    if obj and obj.startswith('libm.'):
        return 'math'
    if ALLOCATOR.match(function):
        return 'alloc'
    return 'textures' if TEXTURES.match(function) else 'host'


OWNERS = ('library', 'alloc', 'math', 'textures', 'host')


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else 'build/default'
    host = os.path.join(build, 'kvx-host')
    examples = sorted(glob.glob(os.path.join(here, '..', 'examples', '*.kvx')))
    print(f'{"network":12} {"path":4} {"library":>8} {"alloc":>6} {"math":>6} {"textures":>8} {"host":>6} '
          f'{"host/lib":>8} {"1 thread":>10} {"2 threads":>10} {"of C":>6}')
    for network in examples:
        name = os.path.splitext(os.path.basename(network))[0]
        c_rate = None
        for path in ('c', 'cpp'):
            calls = {}
            for size in (64, 1):
                m = re.search(r'(\d+) shader calls', shade(host, network, size, 1, path))
                calls[size] = int(m.group(1))
            big, small = costs(host, network, 64, path), costs(host, network, 1, path)
            n = calls[64] - calls[1]
            split = {owner: (big.get(owner, 0) - small.get(owner, 0)) / n for owner in OWNERS}
            if path == 'c':  # the C entries allocate nothing: the host's, if anything
                split['host'] += split['alloc']
                split['alloc'] = 0
            rates = []
            for threads in (1, 2):
                m = re.search(r'([0-9.e+]+) calls/s', shade(host, network, 512, threads, path))
                rates.append(float(m.group(1)) / 1e6)
            c_rate = c_rate or rates[0]
            library = split['library'] + split['alloc']
            print(f'{name:12} {path:4} {split["library"]:8.1f} {split["alloc"]:6.1f} {split["math"]:6.1f} '
                  f'{split["textures"]:8.1f} {split["host"]:6.1f} {split["host"] / library:8.2f} '
                  f'{rates[0]:8.1f} M {rates[1]:8.1f} M {100 * rates[0] / c_rate:5.0f}%')


if __name__ == '__main__':
    main()
