"""The xarray backend of KORVANT's result files, and the package's functions."""

import collections
import json
import os
import threading

import numpy as np
import xarray as xr
from xarray.backends import BackendArray, BackendEntrypoint
from xarray.core import indexing

from . import _korvant

# netCDF's default fill value of an int: what korvant-export's scalar
# variables (the mesh topology, the coordinate reference system) hold.
_NC_FILL_INT = np.int32(-2147483647)

# The results open in this process, by (result, mesh, corners): the arrays of
# a dataset sent to another process (a dask worker) open their file there once.
_OPEN_LIMIT = 64
_open = collections.OrderedDict()
_open_lock = threading.Lock()


def _result(source):
    with _open_lock:
        result = _open.get(source)
        if result is None:
            result = _korvant.Result(*source)
            _open[source] = result
            if len(_open) > _OPEN_LIMIT:
                _open.popitem(last=False)
        else:
            _open.move_to_end(source)
        return result


def _source(path, mesh, corners):
    return (os.fspath(path), None if mesh is None else os.fspath(mesh), bool(corners))


class _FieldArray(BackendArray):
    """One field over the steps of one or more result files, read on demand:
    row t is step ``steps[t]`` of ``sources[pieces[t]]``. An averaged file's
    means are one row without the time dimension."""

    def __init__(self, sources, field, dtype, nodes, pieces, steps, means):
        self.sources = sources
        self.field = field
        self.dtype = np.dtype(dtype)
        self.pieces = np.asarray(pieces, dtype=np.int64)
        self.steps = np.asarray(steps, dtype=np.int64)
        self.means = means
        self.shape = (nodes,) if means else (len(self.steps), nodes)
        self._lock = threading.Lock()

    def __getstate__(self):
        state = self.__dict__.copy()
        del state["_lock"]
        return state

    def __setstate__(self, state):
        self.__dict__.update(state)
        self._lock = threading.Lock()

    def __getitem__(self, key):
        return indexing.explicit_indexing_adapter(
            key, self.shape, indexing.IndexingSupport.OUTER, self._read)

    def _read(self, key):
        if self.means:
            return self._rows(np.zeros(1, dtype=np.int64))[0][key[0]]
        when, where = key
        rows = np.arange(len(self.steps))[when]
        values = self._rows(np.atleast_1d(rows))
        if np.ndim(rows) == 0:
            values = values[0]
        return values[..., where]

    def _rows(self, rows):
        with self._lock:
            pieces = self.pieces[rows]
            if len(rows) > 0 and (pieces == pieces[0]).all():
                return _result(self.sources[pieces[0]]).read(self.field, self.steps[rows].tolist())
            out = np.empty((len(rows), self.shape[-1]), dtype=self.dtype)
            for piece in np.unique(pieces):
                mine = np.flatnonzero(self.pieces[rows] == piece)
                result = _result(self.sources[piece])
                out[mine] = result.read(self.field, self.steps[rows[mine]].tolist())
        return out


def _dataset(results, sources, pieces, steps, history, drop_variables=()):
    """The dataset of the steps chosen of one or more results of one mesh,
    laid out as the first one's netCDF export, decoded as xarray decodes that
    file."""
    first = results[0]
    layout = first.layout()
    geometry = sources[0][1] is not None
    arrays = first.mesh_arrays() if geometry else {}
    hours = [r.times() for r in results]
    times = np.array([hours[p][s] for p, s in zip(pieces, steps)], dtype=np.float64)
    nodes = dict(layout["dims"])["nMesh_node"]
    variables, fills = {}, {}
    for v in layout["variables"]:
        name, dims, attrs = v["name"], tuple(v["dims"]), dict(v["attrs"])
        if name in drop_variables:
            continue
        if v["field"] >= 0:
            if not geometry:
                for key in ("mesh", "location", "coordinates"):
                    attrs.pop(key, None)
            data = indexing.LazilyIndexedArray(_FieldArray(
                sources, v["field"], v["dtype"], nodes, pieces, steps, first.means))
            # The engine gives NaN where a step holds no value, which the
            # file's fill value stands for: nothing is left to mask.
            if "_FillValue" in attrs:
                fills[name] = attrs.pop("_FillValue")
        elif not geometry:
            continue  # the mesh's own variables, of a mesh not given
        elif name in arrays:
            data = arrays[name]
        elif name == "time":
            data = times
        else:
            data = _NC_FILL_INT  # the mesh topology and the reference system
        variables[name] = xr.Variable(dims, data, attrs)
    globals_ = dict(layout["globals"])
    globals_["history"] = history
    decoded, attributes, coordinates = xr.conventions.decode_cf_variables(variables, globals_)
    dataset = xr.Dataset(decoded, attrs=attributes)
    for name, fill in fills.items():
        dataset[name].encoding["_FillValue"] = fill
    return dataset.set_coords([c for c in coordinates if c in dataset.variables])


class Backend(BackendEntrypoint):
    """xarray's way into KORVANT's result files:
    ``xr.open_dataset(path, engine="korvant", mesh="bay.velto")`` once
    installed, ``engine=korvant.Backend`` from the build tree.

    ``mesh`` is the VELTO geometry file the result lies over; without it the
    dataset holds the fields alone (and a field made from the bottom, such as
    the elevation of a QMX2 file of short steps, holds NaN). ``corners=True``
    lays the faces over the elements' corners alone, as ``--corners`` does.
    """

    description = "KORVANT QMX2, QMX4 and QMX10 result files, read step by step"
    open_dataset_parameters = ("filename_or_obj", "drop_variables", "mesh", "corners")

    def open_dataset(self, filename_or_obj, *, drop_variables=None, mesh=None, corners=False):
        source = _source(filename_or_obj, mesh, corners)
        result = _result(source)
        n = result.steps
        history = f"korvant.open_dataset({source[0]!r}, mesh={source[1]!r})"
        return _dataset([result], [source], np.zeros(n, dtype=np.int64), np.arange(n), history,
                        drop_variables or ())

    def guess_can_open(self, filename_or_obj):
        try:
            return _korvant.is_result(os.fspath(filename_or_obj))
        except (TypeError, ValueError, OSError):
            return False


def open_dataset(result, mesh=None, chunks=None, corners=False):
    """A result file over its mesh as an xarray Dataset with the variables,
    names, attributes and mesh layout of korvant-export's netCDF file, its
    values read lazily: indexing one step reads that step's record only.
    An averaged file comes as its means, without time. ``chunks`` (such as
    ``{"time": 24}``) gives dask arrays. A file that cannot be read, or that
    does not go with the mesh, is a ValueError that names it and says why."""
    return xr.open_dataset(result, engine=Backend, mesh=mesh, chunks=chunks, corners=corners)


def open_run(pieces, mesh=None, chunks=None, corners=False):
    """The pieces of a restart chain as one Dataset, as korvant-merge would
    merge them (without a merged file): where a later piece starts at or
    before an hour kept, its steps replace those from there on, so the
    hours strictly increase. Read lazily, and with ``chunks`` as dask
    arrays, as ``open_dataset``."""
    sources = [_source(p, mesh, corners) for p in pieces]
    if not sources:
        raise ValueError("open_run: no pieces")
    results = [_result(s) for s in sources]
    names = [v["name"] for v in results[0].layout()["variables"]]
    for source, result in zip(sources[1:], results[1:]):
        if result.kind != results[0].kind or [v["name"] for v in result.layout()["variables"]] != names:
            raise ValueError(f"open_run: {source[0]} holds other fields than {sources[0][0]}")
    kept = _korvant.kept_steps([r.times().astype(np.float32).tolist() for r in results])
    chosen = [(p, s) for p, flags in enumerate(kept) for s, keep in enumerate(flags) if keep]
    which = np.array([p for p, _ in chosen], dtype=np.int64)
    steps = np.array([s for _, s in chosen], dtype=np.int64)
    history = f"korvant.open_run({[s[0] for s in sources]!r}, mesh={sources[0][1]!r})"
    dataset = _dataset(results, sources, which, steps, history)
    return dataset.chunk(chunks) if chunks is not None else dataset


def info(path):
    """What korvant-info --json says of one file, as a dict with the same
    keys: its kind, header, counts, steps and hours, and any damage. A file
    that cannot be read at all is a ValueError."""
    return json.loads(_korvant.info_json(os.fspath(path)))
