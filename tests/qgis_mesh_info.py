#!/usr/bin/python3
"""What QGIS shows of a mesh file: qgis_mesh_info.py FILE [FILE...]

Opens each file as QGIS opens a mesh layer (the "mdal" provider, headless), and
prints one JSON object per file: whether it is valid, its vertex and face counts,
its CRS, and each dataset group (name, scalar or vector, number of datasets,
minimum and maximum). A netCDF that QGIS cannot read as a mesh may still come back
"valid" through another reader, with counts that are not the mesh's: compare them.

Needs Debian's python3-qgis (apt-get install python3-qgis qgis-providers). QGIS
can abort the interpreter on some files; run this in its own process.
"""
import json
import os
import sys

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
from qgis.core import QgsApplication, QgsMeshLayer  # noqa: E402


def describe(path):
    layer = QgsMeshLayer(path, "mesh", "mdal")
    out = {"file": path, "valid": layer.isValid()}
    if not layer.isValid():
        out["error"] = layer.error().summary()
        return out
    dp = layer.dataProvider()
    out["vertices"] = dp.vertexCount()
    out["faces"] = dp.faceCount()
    out["crs"] = layer.crs().authid()
    groups = []
    for g in range(dp.datasetGroupCount()):
        m = dp.datasetGroupMetadata(g)
        groups.append({"name": m.name(), "vector": m.isVector(), "datasets": dp.datasetCount(g),
                       "min": m.minimum(), "max": m.maximum()})
    out["groups"] = groups
    return out


def main(paths):
    if not paths:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    app = QgsApplication([], False)
    app.initQgis()
    for p in paths:
        print(json.dumps(describe(p)))
    app.exitQgis()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
