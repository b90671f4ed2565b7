# SPDX-License-Identifier: Apache-2.0
"""The kvx base shaders through the reference host and the batch library: the
catalogue, one shader evaluated through any interface or mapped over NumPy
arrays, and networks shaded into NumPy arrays, over a grid or at given points."""

from os import PathLike
from typing import Any, Mapping, Sequence, Union

import numpy
import numpy.typing

# Names for the stubs' own use: the module has no such objects.
_Number = Union[bool, int, float]
#: A value as `kvx-host eval` takes it: a number, a sequence of components,
#: or the text form ("1,2,3", "nan", "true").
_Value = Union[_Number, Sequence[_Number], str]
_Result = Union[bool, int, float, tuple[bool, ...], tuple[int, ...], tuple[float, ...]]

class PathMismatch(Exception):
    """Two interfaces gave different bits; the message names both (and, for a
    network, the point and the instance)."""

class NetworkError(ValueError):
    """A statement of a network was refused: "source:line: message"."""

class Library:
    """The plug-in, loaded as kvx-host loads it: `path`, else KVX_LIBRARY, else
    the one beside the build or the installation."""

    def __init__(self, path: str | PathLike[str] | None = None) -> None: ...
    @property
    def path(self) -> str: ...
    @property
    def shaders(self) -> list[dict[str, Any]]:
        """Every shader in factory order, as `kvx-host list --json` gives it:
        index, name, operation, type, result, parameters (name, type, offset,
        slot_size, default), description (what it computes, in one line) and
        also (the operation's usual names in other shading languages)."""
    def shader(self, name: str) -> dict[str, Any]:
        """One shader's entry; KeyError for an unknown name."""
    def eval(
        self,
        name: str,
        *,
        path: str = "all",
        gather: bool = False,
        ray_type: int = 0,
        state: Mapping[int, _Value] | None = None,
        render: Mapping[int, _Value] | None = None,
        camera: Mapping[int, _Value] | None = None,
        **parameters: _Value,
    ) -> _Result:
        """The shader's result with these parameters, through the C entry
        ("c"), a shader object ("cpp"), the batch function ("batch"), the
        first two ("both") or all three ("all"), which must agree (else
        PathMismatch). An unset parameter follows each path's own rule: the C
        entry and the batch take the declared default, the shader object
        zero. KeyError for an unknown shader or parameter, ValueError for a
        bad value."""
    def map(self, name: str, **arrays: numpy.typing.ArrayLike) -> numpy.typing.NDArray[Any]:
        """The shader over arrays, through its batch function: each parameter
        an array of float32 (float kinds), int32 (int kinds), bool (bool
        kinds) or uint32 (texture handles), or a number, components on the
        last axis; they broadcast as NumPy broadcasts. The result has the
        points' shape, its components on a last axis, in its type's dtype;
        each point is what eval gives. An unset parameter takes its declared
        default. A State_ shader takes its field's values, named after the
        field (uv for the parametric uv; ints for the bool fields). TypeError
        for a wrong dtype, ValueError for a wrong shape."""

class Network:
    """A network of the library's shaders, from the kvx-host network format's
    text, a file, or the same statements as method calls."""

    def __init__(
        self, library: Library, text: str | None = None, *, file: str | PathLike[str] | None = None
    ) -> None: ...
    def add(self, shader: str, instance: str) -> None: ...
    def param(self, target: str, value: _Value) -> None: ...
    def connect(self, source: str, target: str) -> None: ...
    def splat(self, source: str, target: str) -> None: ...
    def output(self, instance: str) -> None: ...
    def shade(
        self, width: int, height: int, path: str = "batch", threads: int = 1, geometry: str = "plane"
    ) -> numpy.typing.NDArray[numpy.float32]:
        """The output's result at every grid point, shape (height, width,
        components): the floats the library computed, ints and bools as
        their values. Rows run top to bottom; u grows to the right, v upwards.
        path is that of eval; with "both" or "all", PathMismatch names the
        first point (and instance) that differs. geometry="sphere" shades the
        unit sphere that fills the picture, as `kvx-host shade --geometry
        sphere` does (zeros off it)."""
    def shade_at(self, **fields: numpy.typing.ArrayLike) -> numpy.typing.NDArray[numpy.float32]:
        """The output's result at points whose state is given, through the
        batch functions: each field an array as map takes it, named after the
        State_ shader that reads it (uv, position, normal, direction, origin,
        raster, ray_length, dot_nd, ...), broadcast together. Fields not given
        are those of shade's plane. The result has the points' shape, the
        output's components on a last axis, as float32."""
