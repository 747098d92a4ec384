"""Runs the Python package's tests (test_*.py beside this file); exits 77,
which ctest counts as skipped, when the interpreter lacks xarray, dask or
netCDF4, which scripts/setup --tests installs."""
import importlib.util
import os
import sys
import unittest


def main():
    missing = [m for m in ("numpy", "xarray", "dask", "distributed", "netCDF4")
               if importlib.util.find_spec(m) is None]
    if missing:
        print("skipped: no " + ", ".join(missing) + " for " + sys.executable)
        return 77
    here = os.path.dirname(os.path.abspath(__file__))
    suite = unittest.defaultTestLoader.discover(here)
    return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1


# The dask workers of the tests start as new processes that import this
# file again: only the first runs the tests.
if __name__ == "__main__":
    sys.exit(main())
