"""The Python package against the programs: korvant.open_dataset against
korvant-export's netCDF read by xarray, korvant.info against korvant-info
--json, open_run against korvant-merge, the means of dask against
korvant-average, and what one step costs to read."""
import json
import os
import subprocess
import tempfile
import unittest

import numpy as np
import xarray as xr

import korvant

BUILD = os.environ["KORVANT_BUILD"]


def run(program, *args):
    subprocess.run([os.path.join(BUILD, program), *args], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def without_provenance(ds):
    """The dataset without the attributes that name the program and command
    that made it, which differ by design."""
    ds = ds.copy()
    ds.attrs = {k: v for k, v in ds.attrs.items() if k not in ("source", "history")}
    return ds


class Files:
    """The example bay (its run, the two pieces of the run restarted at hour
    13, the merge of those and the average of each run), and small benchmark
    files of every family, made once by the programs."""
    _dir = None

    @classmethod
    def path(cls, name):
        if cls._dir is None:
            cls._tmp = tempfile.TemporaryDirectory()
            d = cls._dir = cls._tmp.name
            run("korvant_make_example", d)
            os.mkdir(os.path.join(d, "bench"))
            run("korvant_make_bench_files", os.path.join(d, "bench"), "7", "300", "100")
            run("korvant-merge", "-q", "-o", os.path.join(d, "bay_merged.qmx2"),
                os.path.join(d, "bay_part1.qmx2"), os.path.join(d, "bay_part2.qmx2"))
        return os.path.join(cls._dir, name)


class OpenDatasetTest(unittest.TestCase):
    def test_equals_the_export_read_by_xarray(self):
        bay, bench = Files.path("bay.velto"), Files.path("bench/mesh.velto")
        run("korvant-average", "-q", Files.path("bay.qmx2"), "-o", Files.path("bay_mean.qmx2"))
        cases = [(bay, "bay.qmx2"), (bay, "bay_mean.qmx2"), (bench, "bench/qmx4_a.bin"),
                 (bench, "bench/qmx10_a.bin"), (bench, "bench/qmx10_b.bin")]
        for mesh, result in cases:
            with self.subTest(result=result):
                nc = Files.path(result + ".nc")
                run("korvant-export", "-q", "-f", mesh, Files.path(result), "-o", nc)
                ours = korvant.open_dataset(Files.path(result), mesh=mesh)
                with xr.open_dataset(nc) as theirs:
                    xr.testing.assert_identical(without_provenance(ours),
                                                without_provenance(theirs))
                    self.assertEqual(ours.attrs["source"], f"korvant {korvant.__version__} (Python)")
                    if "time" in ours.dims:
                        # Steps read backwards, each found from its place alone.
                        back = slice(None, None, -1)
                        xr.testing.assert_identical(without_provenance(ours.isel(time=back)),
                                                    without_provenance(theirs.isel(time=back)))
                    else:
                        self.assertEqual("time: mean", ours.x_velocity.attrs["cell_methods"])

    def test_without_a_mesh_the_fields_alone(self):
        ds = korvant.open_dataset(Files.path("bay.qmx2"))
        self.assertNotIn("mesh_node_x", ds.variables)
        self.assertEqual((30, 325), ds.depth.shape)
        full = korvant.open_dataset(Files.path("bay.qmx2"), mesh=Files.path("bay.velto"))
        np.testing.assert_array_equal(full.depth.values, ds.depth.values)

    def test_refusals_name_the_file_and_the_place(self):
        damaged = Files.path("damaged.qmx2")
        with open(Files.path("bay.qmx2"), "rb") as f:
            data = f.read()
        with open(damaged, "wb") as f:
            f.write(data[:len(data) - 100])  # the last step cut short
        with self.assertRaisesRegex(ValueError, r"damaged\.qmx2: record 33 \(byte \d+\)"):
            korvant.open_dataset(damaged, mesh=Files.path("bay.velto"))
        with self.assertRaisesRegex(ValueError, "qmx4_a.bin: time step 1 has 300 nodes, but the mesh has 325"):
            korvant.open_dataset(Files.path("bench/qmx4_a.bin"), mesh=Files.path("bay.velto"))
        with self.assertRaisesRegex(ValueError, "cannot read .*nothing: no such file"):
            korvant.info(Files.path("nothing"))

    def test_info_gives_what_korvant_info_json_gives(self):
        for name in ("bay.qmx2", "bay.velto", "bench/qmx10_a.bin"):
            path = Files.path(name)
            out = subprocess.run([os.path.join(BUILD, "korvant-info"), "--json", path],
                                 check=True, capture_output=True, text=True).stdout
            self.assertEqual(json.loads(out), korvant.info(path))


class LazyTest(unittest.TestCase):
    def test_one_step_reads_that_steps_bytes_only(self):
        d = Files.path("lazy")
        os.makedirs(d, exist_ok=True)
        run("korvant_make_bench_files", d, "500", "2000", "600", "qmx2")
        path = os.path.join(d, "qmx2_a.bin")
        # QMX2 long steps: time, NP, NE, then 4 reals and a code a node, a
        # code an element; framed by two lengths.
        step = 4 * (3 + 5 * 2000 + 600) + 8
        self.assertLess(abs(os.path.getsize(path) - 500 * step), step)

        def bytes_read():
            with open("/proc/self/io") as f:
                return int(next(line for line in f if line.startswith("rchar")).split()[1])

        ds = korvant.open_dataset(path, mesh=os.path.join(d, "mesh.velto"))
        for steps in ([250], [3, 400, 499]):
            before = bytes_read()
            values = ds.depth.isel(time=steps).values
            read = bytes_read() - before
            self.assertEqual((len(steps), 2000), values.shape)
            # The records asked for, and no more than the read-ahead that
            # brings in the next record's length (16 KiB) after each.
            self.assertGreaterEqual(read, len(steps) * step)
            self.assertLess(read, len(steps) * (step + 16384) + 4096)


class RunTest(unittest.TestCase):
    def test_open_run_is_the_merge_without_a_merged_file(self):
        mesh = Files.path("bay.velto")
        pieces = [Files.path("bay_part1.qmx2"), Files.path("bay_part2.qmx2")]
        merged = korvant.open_dataset(Files.path("bay_merged.qmx2"), mesh=mesh)
        run_ = korvant.open_run(pieces, mesh=mesh)
        xr.testing.assert_identical(without_provenance(merged), without_provenance(run_))
        # The pieces overlap: open_mfdataset keeps every step of both.
        every = xr.open_mfdataset(pieces, engine=korvant.Backend, mesh=mesh, combine="nested",
                                  concat_dim="time", data_vars="minimal", coords="minimal",
                                  compat="override")
        n = [korvant.info(p)["steps"] for p in pieces]
        self.assertEqual(sum(n), every.sizes["time"])
        self.assertGreater(sum(n), merged.sizes["time"])
        np.testing.assert_array_equal(every.depth.values[n[0]:],
                                      korvant.open_dataset(pieces[1], mesh=mesh).depth.values)


class DaskTest(unittest.TestCase):
    def test_time_means_on_a_cluster_are_korvant_averages_means(self):
        from dask.distributed import Client, LocalCluster
        mesh = Files.path("bay.velto")
        runs = ["bay.qmx2", "bay_part1.qmx2", "bay_part2.qmx2", "bay_merged.qmx2"]
        fields = ["x_velocity", "y_velocity", "depth"]
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                          dashboard_address=None) as cluster, Client(cluster) as client:
            lazy = [korvant.open_dataset(Files.path(r), mesh=mesh, chunks={"time": 4})[fields]
                    for r in runs]
            self.assertIsNotNone(lazy[0].depth.chunks)
            means = client.compute([ds.mean("time") for ds in lazy], sync=True)
        for name, mean in zip(runs, means):
            with self.subTest(run=name):
                out = Files.path(name + ".mean")
                run("korvant-average", "-q", "-f", Files.path(name), "-o", out, "--from", "0")
                theirs = korvant.open_dataset(out, mesh=mesh)
                for field in fields:
                    np.testing.assert_allclose(mean[field].values, theirs[field].values,
                                               rtol=1e-6, atol=1e-6)


if __name__ == "__main__":
    unittest.main()
