# SPDX-License-Identifier: Apache-2.0
"""The Python module against kvx-host: the same catalogue, the same bits, the
same checks."""

import json
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys

import numpy as np
import pytest

import kvx

HOST = os.environ["KVX_HOST"]
EXAMPLES = pathlib.Path(os.environ["KVX_EXAMPLES"])


@pytest.fixture(scope="module")
def lib():
    return kvx.Library()


def kvx_host(*arguments):
    return subprocess.run([HOST, *arguments], capture_output=True, text=True, check=False)


def bits(kind, value):
    """A result's bits as `kvx-host eval` prints them."""
    components = value if isinstance(value, tuple) else (value,)
    if kind.startswith("bool"):
        return " ".join("0x%02x" % int(c) for c in components)
    if kind.startswith("int"):
        return " ".join("0x%08x" % (c & 0xFFFFFFFF) for c in components)
    return " ".join("0x%08x" % struct.unpack("<I", struct.pack("<f", c))[0] for c in components)


def test_the_catalogue_is_what_list_json_gives(lib):
    listed = json.loads(kvx_host("list", "--json").stdout)
    assert listed["schema"] == "kvx-host/list/2"
    assert [s["index"] for s in listed["shaders"]] == list(range(402))
    assert listed["shaders"][0] == {
        "index": 0, "name": "Math_float_add", "operation": "add", "type": "float", "result": "float",
        "parameters": [{"name": "left", "type": "float", "offset": 0, "slot_size": 4, "default": [0]},
                       {"name": "right", "type": "float", "offset": 4, "slot_size": 4, "default": [0]}],
        "description": "left + right", "also": ["plus", "sum", "+"]}
    assert lib.shaders == listed["shaders"]
    assert lib.path == listed["library"]
    assert lib.shader("Math_float2_lerp")["parameters"][2]["offset"] == 24
    assert lib.shader("Math_color_smoothstep")["description"].startswith("per component, alpha included: a Hermite")
    assert "mix" in lib.shader("Math_float3_lerp")["also"]


EVALUATIONS = [
    ("Math_float_add", {"left": 2.5, "right": 4}, ["left=2.5", "right=4"]),
    ("Math_float_degrees", {"input": 1}, ["input=1"]),
    ("Math_int_divide", {"left": -2147483648, "right": -1}, ["left=-2147483648", "right=-1"]),
    ("Math_float3_less_than", {"left": (1, 5, float("nan")), "right": "2,5,0"}, ["left=1,5,nan", "right=2,5,0"]),
    ("Math_color_smoothstep", {"start": (0, 0, 0, 0), "end": (1, 2, 3, 4), "location": [0.5] * 4},
     ["start=0,0,0,0", "end=1,2,3,4", "location=0.5,0.5,0.5,0.5"]),
    ("Math_refract", {"i": (0.6, -0.8, 0), "n": (0, 1, 0), "eta": 0.7}, ["i=0.6,-0.8,0", "n=0,1,0", "eta=0.7"]),
    ("Math_float_exp2", {"input": -3.25}, ["input=-3.25"]),
    ("Math_bool2_and", {"left": (True, 1), "right": "true,false"}, ["left=1,1", "right=1,0"]),
    ("State_backside", {"state": {32: 7}}, ["--state", "32=7"]),
    ("State_camera_offset", {"camera": {4: (0.5, 0.25)}}, ["--camera", "4=0.5,0.25"]),
    ("Math_color_tex2d", {"texture": 3, "coordinate": (0.25, 0.75)}, ["texture=3", "coordinate=0.25,0.75"]),
]


@pytest.mark.parametrize("name, parameters, arguments", EVALUATIONS, ids=[e[0] for e in EVALUATIONS])
def test_eval_gives_the_bits_kvx_host_gives(lib, name, parameters, arguments):
    kind = lib.shader(name)["result"]
    for path in ("c", "cpp"):
        printed = kvx_host("eval", name, *arguments, "--path", path).stdout
        assert "[%s]" % bits(kind, lib.eval(name, path=path, **parameters)) in printed
    lib.eval(name, path="both", **parameters)  # the paths agree


def grid_point(width, height, x, y):
    """The grid's (u, v) at pixel (x, y), in single precision as documented."""
    u = (np.float32(x) + np.float32(0.5)) / np.float32(width)
    v = (np.float32(height - y) - np.float32(0.5)) / np.float32(height)
    return float(u), float(v)


def test_the_sphere_shades_as_kvx_host_does(lib):
    net = kvx.Network(lib, "shader State_normal n\noutput n\n")
    normals = net.shade(24, 20, path="both", geometry="sphere")
    lengths = np.linalg.norm(normals, axis=2)
    covered = lengths > 0
    assert not covered[0, 0] and covered[10, 12]  # nothing off the sphere, as large as the shorter side
    assert np.allclose(lengths[covered], 1, atol=1e-6) and (normals[covered][:, 2] >= 0).all()
    assert covered.sum() == 316  # the points of the 20-pixel disc, as kvx-host shade covers them
    with pytest.raises(ValueError, match="geometry takes plane or sphere"):
        net.shade(4, 4, geometry="cube")


def test_shade_holds_the_floats_eval_gives(lib):
    net = kvx.Network(lib)
    net.add("State_parametric_uv", "uv")
    net.add("Math_float2_atan2", "angle")
    net.connect("uv.result", "angle.y")
    net.param("angle.x", (-0.5, 0.25))
    net.output("angle")
    shaded = net.shade(23, 17, path="both")
    assert shaded.shape == (17, 23, 2) and shaded.dtype == np.float32
    for x, y in [(0, 0), (22, 16), (7, 11)]:
        expected = lib.eval("Math_float2_atan2", y=grid_point(23, 17, x, y), x=(-0.5, 0.25))
        assert bits("float2", tuple(float(c) for c in shaded[y, x])) == bits("float2", expected)


def test_text_file_and_calls_build_the_same_network(lib):
    text = (EXAMPLES / "checker.kvx").read_text()
    from_text = kvx.Network(lib, text).shade(32, 24)
    from_file = kvx.Network(lib, file=EXAMPLES / "checker.kvx").shade(32, 24)
    by_calls = kvx.Network(lib)
    for line in text.splitlines():
        words = line.split("#")[0].split()
        if words:
            keyword, rest = words[0], words[1:]
            {"shader": by_calls.add, "param": lambda t, *v: by_calls.param(t, "".join(v)),
             "connect": by_calls.connect, "output": by_calls.output}[keyword](*rest)
    for other in (from_file, by_calls.shade(32, 24)):
        assert np.array_equal(from_text.view(np.uint32), other.view(np.uint32))


def test_two_threads_give_the_same_floats_as_one(lib):
    net = kvx.Network(lib, file=str(EXAMPLES / "rings.kvx"))
    one = net.shade(64, 48, path="both", threads=1)
    assert np.array_equal(one.view(np.uint32), net.shade(64, 48, path="both", threads=2).view(np.uint32))


def refused(call, exception, message):
    with pytest.raises(exception) as raised:
        call()
    assert message in str(raised.value)


def test_bad_input_raises_what_kvx_host_says(lib):
    refused(lambda: kvx.Library("/nonexistent/libkvx_base.so"), RuntimeError, "cannot load the plug-in library")
    refused(lambda: lib.eval("Math_float_nope"), KeyError, "unknown shader 'Math_float_nope'")
    refused(lambda: lib.shader("Math_float_nope"), KeyError, "unknown shader 'Math_float_nope'")
    refused(lambda: lib.eval("Math_float_add", lefty=1), KeyError,
            "Math_float_add has no parameter 'lefty'; did you mean 'left'?")
    refused(lambda: lib.shader("math_float_sine"), KeyError, "did you mean 'Math_float_sin'?")
    refused(lambda: kvx.Network(lib, "shader Math_float_add m\nconnect s.result m.left\nshader Math_float_sin s\n"),
            kvx.NetworkError, "<text>:2: instance 's' is made below, on line 3")
    refused(lambda: lib.eval("Math_float_add", left="one"), ValueError, "left: 'one' is not a float")
    refused(lambda: lib.eval("Math_float3_add", left=(1, 2)), ValueError, "left: float3 takes 3 components, not 2")
    refused(lambda: lib.eval("Math_int_add", left=2**32), ValueError, "left: '4294967296' is not a 32-bit int")
    refused(lambda: lib.eval("Math_float_add", left=object()), ValueError, "cannot use a value of type 'object'")
    refused(lambda: lib.eval("Math_float_add", path="java"), ValueError, "path takes c, cpp, both, batch or all")
    refused(lambda: lib.eval("State_normal", state={"x": 1}), ValueError, "'x=1' is not id=value")
    refused(lambda: lib.eval("State_normal", state=[1]), ValueError, "state takes {id: value}")
    refused(lambda: lib.eval("Math_float_add", ray_type=2**40), ValueError, "ray_type takes a 32-bit int")
    refused(lambda: lib.eval("Math_color_add"), kvx.PathMismatch, "C entry (0, 0, 0, 2)")

    refused(lambda: kvx.Network(lib, "shader Math_float_add a\nparam a.left 1,2\n"), kvx.NetworkError,
            "<text>:2: a.left: float takes 1 component, not 2")
    refused(lambda: kvx.Network(lib, file="/nonexistent.kvx"), ValueError, "/nonexistent.kvx: cannot read")
    net = kvx.Network(lib)
    net.add("Math_float_add", "a")
    refused(lambda: net.connect("a.result", "a.left"), kvx.NetworkError, "<python>:2: connecting a.result to a.left")
    refused(lambda: net.shade(4, 4), kvx.NetworkError, "no output")
    net.param("a.left", 1)  # the refused connection left the parameter free
    net.output("a")
    refused(lambda: net.shade(0, 4), ValueError, "width and height are 1 to 8192")
    refused(lambda: net.shade(4, 4, path="gpu"), ValueError, "path takes c, cpp, both, batch or all")
    assert net.shade(2, 2)[0, 0, 0] == 1.0


def sample(kind, shape, rng):
    """Values of a catalogue type for points of a shape, components last: ordinary and edge values alike."""
    components = 1 if kind in ("float", "int", "bool", "texture") else (4 if kind == "color" else int(kind[-1]))
    full = shape if components == 1 else shape + (components,)
    if kind.startswith("bool"):
        return rng.integers(0, 2, full).astype(np.bool_)
    if kind.startswith("int"):
        return rng.choice(np.array([0, 1, -1, 7, -2**31, 2**31 - 1, 65536, -46341], np.int32), full)
    if kind == "texture":
        return rng.integers(0, 4, full).astype(np.uint32)
    edges = np.array([0.0, -0.0, 1.0, -1.0, np.inf, -np.inf, 1e-45, 3.4e38, 0.3, -2.5], np.float32)
    values = rng.uniform(-4, 4, full).astype(np.float32)
    return np.where(rng.random(full) < 0.3, rng.choice(edges, full), values)


def python_value(value):
    return tuple(v.item() for v in value) if np.ndim(value) else value.item()


def test_map_gives_what_eval_gives_for_every_shader(lib):
    """Every shader over arrays, point by point what eval gives through every interface."""
    rng = np.random.default_rng(402)
    for shader in lib.shaders:
        name, state = shader["name"], shader["name"].startswith("State_")
        if state:
            field = "uv" if shader["operation"] == "parametric_uv" else shader["operation"]
            kind = "int" if shader["result"] == "bool" else shader["result"]
            arrays = {field: sample(kind, (5,), rng)}
        else:
            arrays = {p["name"]: sample(p["type"], (5,), rng) for p in shader["parameters"]}
        mapped = lib.map(name, **arrays)
        assert mapped.shape[0] == 5, name
        for i in range(5):
            if state:
                value = python_value(arrays[field][i])
                expected = lib.eval(name, **{shader["source"]: {shader["id"]: value}})
            else:
                expected = lib.eval(name, **{k: python_value(v[i]) for k, v in arrays.items()})
            got = python_value(mapped[i])
            assert bits(shader["result"], got) == bits(shader["result"], expected), (name, i, arrays)


def test_map_broadcasts_as_numpy_does_and_refuses_what_it_cannot_take(lib):
    x = np.linspace(-1, 1, 12, dtype=np.float32).reshape(3, 4)
    assert np.array_equal(lib.map("Math_float_add", left=x, right=np.float32(0.5)), x + np.float32(0.5))
    colors = lib.map("Math_color_multiply", left=np.ones((2, 1, 4), np.float32),
                     right=np.arange(12, dtype=np.float32).reshape(3, 4))
    assert colors.shape == (2, 3, 4) and colors[1, 2, 3] == 11
    assert lib.map("Math_float3_length", input=np.array([[3, 4, 0], [0, 0, 0]], np.float32)).tolist() == [5, 0]
    assert lib.map("Math_int_add", left=np.int32(2**31 - 1), right=1) == -2**31
    assert lib.map("Math_float_add", left=np.float32(1)).item() == 1  # right takes its declared default
    refused(lambda: lib.map("Math_float_add", left=np.zeros(3)), TypeError, "left: a float takes float32 values, not float64")
    refused(lambda: lib.map("Math_int_add", left=np.zeros(3, np.int64)), TypeError, "takes int32 values, not int64")
    refused(lambda: lib.map("Math_float3_add", left=np.zeros((3, 2), np.float32)), ValueError,
            "left: a float3 takes 3 components on the last axis, not an array of shape (3, 2)")
    refused(lambda: lib.map("Math_float_add", left=np.zeros(3, np.float32), right=np.zeros(4, np.float32)),
            ValueError, "shape mismatch")
    refused(lambda: lib.map("Math_float_add", lefty=1), KeyError, "did you mean 'left'?")
    refused(lambda: lib.map("State_normal"), ValueError, "State_normal reads the host's normal")


def test_shade_at_gives_the_grid_where_the_grid_has_its_points(lib):
    net = kvx.Network(lib, file=str(EXAMPLES / "rings.kvx"))
    grid = net.shade(16, 12, path="all")
    u = (np.arange(16, dtype=np.float32) + np.float32(0.5)) / np.float32(16)
    v = (np.float32(12) - np.arange(12, dtype=np.float32) - np.float32(0.5)) / np.float32(12)
    uv = np.stack(np.broadcast_arrays(u[np.newaxis, :], v[:, np.newaxis]), axis=-1)
    assert np.array_equal(net.shade_at(uv=uv).view(np.uint32), grid.view(np.uint32))
    refused(lambda: net.shade_at(uvw=uv), KeyError, "no state field 'uvw'")


def test_the_type_stubs_match_the_module():
    """mypy's stubtest reads kvx.pyi against the module it describes."""
    allowlist = pathlib.Path(__file__).parent.parent / "stubtest-allowlist.txt"
    run = subprocess.run([sys.executable, "-m", "mypy.stubtest", "kvx", "--allowlist", str(allowlist)],
                         capture_output=True, text=True, check=False)
    assert run.returncode == 0, run.stdout + run.stderr


def test_the_module_loads_its_own_plug_in_before_one_beside_the_interpreter(tmp_path):
    """An installed plug-in where the interpreter's prefix would hold it (/usr/lib/kvx_base, say) does not
    take the place of the one the module was built or installed with."""
    (tmp_path / "bin").mkdir()
    shutil.copy(sys.executable, tmp_path / "bin" / "python3")
    decoy = tmp_path / "lib" / "kvx_base" / "libkvx_base.so"
    decoy.parent.mkdir(parents=True)
    decoy.write_bytes(b"not a plug-in")
    environment = {k: v for k, v in os.environ.items() if k != "KVX_LIBRARY"}
    run = subprocess.run([str(tmp_path / "bin" / "python3"), "-c", "import kvx; print(kvx.Library().path)"],
                         capture_output=True, text=True, env=environment, check=False)
    assert run.returncode == 0, run.stderr
    own = pathlib.Path(kvx.__file__).resolve().parent.parent / "libkvx_base.so"
    assert run.stdout.strip() == str(own)
