"""The Python package's two speeds, for bench/run.sh:
  python_read.py MESH RESULT MESH5000 RESULT5000 RUNS
1. every step of one field of RESULT read into memory by korvant.open_dataset
   (opening included), against numpy.fromfile of the same file;
2. one step in the middle of the 5000-step file RESULT5000, opening (the step
   heads read for the index) included.
Prints one line a job: label, median seconds, baseline seconds."""
import statistics
import sys
import time

import numpy as np

import korvant
from korvant import backend


def median_time(job, runs):
    job()  # one warm run, unmeasured
    times = []
    for _ in range(runs):
        backend._open.clear()  # every run opens its file anew
        start = time.perf_counter()
        job()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    mesh, result, mesh5000, result5000, runs = sys.argv[1:6]
    runs = int(runs)
    field = median_time(lambda: korvant.open_dataset(result, mesh=mesh).depth.values, runs)
    raw = median_time(lambda: np.fromfile(result, dtype=np.uint8), runs)
    print(f"field {field:.4f} {raw:.4f}")

    def one_step():
        ds = korvant.open_dataset(result5000, mesh=mesh5000)
        return ds.depth.isel(time=ds.sizes["time"] // 2).values

    print(f"step5000 {median_time(one_step, runs):.4f} 0.0500")


if __name__ == "__main__":
    main()
