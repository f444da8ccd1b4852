"""The segments GeoPackage of `drainshape run --segments`, read back with GDAL."""

import subprocess

import numpy as np
import pytest

from conftest import ROOT

gdal = pytest.importorskip("osgeo.gdal")
ogr = pytest.importorskip("osgeo.ogr")


def run(exe, *args):
    return subprocess.run([exe, *map(str, args)], capture_output=True, text=True)


@pytest.fixture(scope="module")
def prepared(drainshape_exe, tmp_path_factory):
    """The streams of the repository's DEM with their flow directions."""
    folder = tmp_path_factory.mktemp("dem")
    r = run(drainshape_exe, "prepare", ROOT / "tests" / "data" / "jacksboro_fault_dem.tif",
            "--from-dem", "--threshold-cells", 100, "--keep-intermediate", folder,
            "-o", folder / "net.tif")
    assert r.returncode == 0, r.stderr
    return folder


def features(path, layer):
    ds = ogr.Open(str(path))
    return [f for f in ds.GetLayer(layer)]


def test_directions_orient_the_segments_of_a_prepared_network(drainshape_exe, prepared):
    r = run(drainshape_exe, "run", prepared / "net.tif", "--segments", "--quiet",
            "--directions", prepared / "net_directions.tif", "--out", prepared)
    assert r.returncode == 0, r.stderr
    segments = features(prepared / "net_network.gpkg", "segments")
    systems = features(prepared / "net_network.gpkg", "systems")
    network = gdal.Open(str(prepared / "net.tif")).ReadAsArray()
    # Every network pixel is a vertex of a segment, or a node of its own (isolated pixels).
    ends = sum(f["ends"] for f in systems)
    assert sum(f["pixels"] for f in systems) == (network == 1).sum()
    inflows = {f["id"]: [] for f in segments}
    for f in segments:
        if f["downstream"] is not None:
            inflows[f["downstream"]].append(f)
    for f in segments:
        up = inflows[f["id"]]
        # Shreve adds the magnitudes that flow in; Strahler rises where two of the highest meet.
        assert f["shreve"] == (sum(u["shreve"] for u in up) if up else 1)
        top = max((u["strahler"] for u in up), default=0)
        assert f["strahler"] == max(1, top + (sum(u["strahler"] == top for u in up) > 1))
    # Every system of segments drains somewhere; its sources are ends.
    assert sum(1 for f in segments if f["downstream"] is None) >= sum(
        1 for f in systems if f["segments"] > 0)
    assert sum(1 for f in segments if not inflows[f["id"]]) <= ends

def test_directions_that_disagree_are_refused_before_the_analysis(drainshape_exe, prepared,
                                                                  tmp_path):
    d8 = gdal.Open(str(prepared / "net_directions.tif"))
    codes = d8.ReadAsArray()
    shifted = tmp_path / "shifted.tif"
    out = gdal.GetDriverByName("GTiff").CreateCopy(str(shifted), d8)
    out.GetRasterBand(1).WriteArray(np.roll(codes, 1, axis=1))
    out = None
    r = run(drainshape_exe, "run", prepared / "net.tif", "--segments", "--quiet",
            "--directions", shifted, "--out", tmp_path)
    assert r.returncode == 2
    assert f"--directions: {shifted} disagrees with the network" in r.stderr
    assert "line" in r.stderr and "column" in r.stderr
    assert list(tmp_path.iterdir()) == [shifted]
