"""KORVANT's result files in Python.

Opens a QMX2, QMX4 or QMX10 result file (a run or an averaged file) over its
VELTO geometry file as an xarray Dataset laid out as korvant-export lays out
its netCDF file: the UGRID mesh topology, the node coordinates, one variable
a field over ``time``. The values are read lazily, a time step's record at a
time, straight from the file; with ``chunks`` they are dask arrays, which a
``dask.distributed`` cluster computes as well as a laptop does.

    >>> import korvant
    >>> ds = korvant.open_dataset("run.bin", mesh="bay.velto")
    >>> ds.depth.sel(time=36).values           # reads the step of hour 36 only
    >>> ds.depth.mean("time")                  # every step, one at a time
    >>> korvant.open_run(["day1.bin", "day2.bin"], mesh="bay.velto")
    >>> korvant.info("run.bin")["steps"]
"""

from ._korvant import __version__
from .backend import Backend, info, open_dataset, open_run

__all__ = ["Backend", "info", "open_dataset", "open_run", "__version__"]
