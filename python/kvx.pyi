# SPDX-License-Identifier: Apache-2.0
"""The kvx base shaders through the reference host: the catalogue, one shader
evaluated through either interface, and networks shaded into NumPy arrays."""

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
    """The C entry and the shader object gave different bits; the message names both."""

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
        path: str = "both",
        gather: bool = False,
        ray_type: int = 0,
        state: Mapping[int, _Value] | None = None,
        render: Mapping[int, _Value] | None = None,
        camera: Mapping[int, _Value] | None = None,
        **parameters: _Value,
    ) -> _Result:
        """The shader's result with these parameters, through the C entry
        ("c"), a shader object ("cpp") or both, which must agree (else
        PathMismatch). An unset parameter follows each path's own rule: the C
        entry takes the declared default, the shader object zero. KeyError for
        an unknown shader or parameter, ValueError for a bad value."""

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
        self, width: int, height: int, path: str = "c", threads: int = 1, geometry: str = "plane"
    ) -> numpy.typing.NDArray[numpy.float32]:
        """The output's result at every grid point, shape (height, width,
        components): the floats the library computed, ints and bools as
        their values. Rows run top to bottom; u grows to the right, v upwards.
        With path="both", PathMismatch names the first point that differs.
        geometry="sphere" shades the unit sphere that fills the picture, as
        `kvx-host shade --geometry sphere` does (zeros off it)."""
