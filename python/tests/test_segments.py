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


def test_the_geopackage_holds_the_tables_that_python_returns(prepared, tmp_path):
    import drainshape

    r = drainshape.run(prepared / "net.tif", window=13, regional=25, out=tmp_path,
                       segments=True, directions=prepared / "net_directions.tif")
    for layer, table in (("segments", r.segments), ("systems", r.systems)):
        rows = features(tmp_path / "net_network.gpkg", layer)
        assert len(rows) == len(table) > 0
        for name in table.dtype.names:
            stored = np.array([f[name] for f in rows], dtype=object)
            none = np.array([v is None for v in stored])
            column = table[name]
            if column.dtype.kind == "f":
                np.testing.assert_array_equal(np.isnan(column), none, err_msg=name)
                np.testing.assert_array_equal(column[~none], stored[~none].astype(float),
                                              err_msg=name)
            elif name in ("from_node", "to_node", "downstream", "outlet_segment"):
                np.testing.assert_array_equal(column == 0, none, err_msg=name)
                np.testing.assert_array_equal(column[~none], stored[~none].astype(int),
                                              err_msg=name)
            else:
                np.testing.assert_array_equal(column, stored.astype(int), err_msg=name)
    # The same network from memory: the same rows, lengths in pixel sides (the directions turn
    # paths round, and their sums change order).
    network = gdal.Open(str(prepared / "net.tif")).ReadAsArray()
    a = drainshape.analyse(network, window=13, regional=25, segments=True)
    size = abs(gdal.Open(str(prepared / "net.tif")).GetGeoTransform()[1])
    np.testing.assert_allclose(a.segments["length"] * size, r.segments["length"], rtol=1e-12)
    np.testing.assert_allclose(a.segments["taco_mean"], r.segments["taco_mean"], rtol=1e-12)
    np.testing.assert_array_equal(a.systems["pixels"], r.systems["pixels"])
