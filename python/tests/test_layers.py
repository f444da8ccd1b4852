"""The real-valued layers that run(layers=True) writes, read back with GDAL."""

import subprocess
import sys

import numpy as np
import pytest

import drainshape
from conftest import ROOT

gdal = pytest.importorskip("osgeo.gdal")
osr = pytest.importorskip("osgeo.osr")

GEOTRANSFORM = (500000.0, 30.0, 0.0, 4100000.0, 0.0, -30.0)


@pytest.fixture(scope="module")
def georeferenced(tmp_path_factory):
    """The sample network tiled 3 x 3 (1200 x 1200: the layers get overviews), in UTM 16N."""
    raw = np.fromfile(ROOT / "examples" / "sample_river.raw", np.uint8).reshape(400, 400)
    network = np.tile(raw, (3, 3))
    path = tmp_path_factory.mktemp("geo") / "river.tif"
    ds = gdal.GetDriverByName("GTiff").Create(str(path), 1200, 1200, 1, gdal.GDT_Byte)
    ds.SetGeoTransform(GEOTRANSFORM)
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32616)
    ds.SetProjection(srs.ExportToWkt())
    ds.GetRasterBand(1).WriteArray(network)
    ds = None
    return path


def read(path):
    ds = gdal.Open(str(path))
    band = ds.GetRasterBand(1)
    return ds, band, band.ReadAsArray()


def image_value(v):  # plus 0.5, truncated toward zero, the low 8 bits
    return np.trunc(v + 0.5).astype(np.int64) & 255


def off_half(v):
    """Where a value is not within a Float32 step of a half, so its rounding is not in doubt."""
    return np.abs(v - np.floor(v) - 0.5) > 1e-4


def test_layers_are_the_fields_their_images_round_on_the_river_grid(georeferenced, tmp_path):
    regional = 49
    r = drainshape.run(georeferenced, window=13, regional=regional, out=tmp_path, layers=True)
    margin = np.zeros(r.taco.shape, bool)
    h = regional // 2
    margin[h:-h, h:-h] = True
    expected = {
        "TACO": (np.where(r.taco != 0, r.taco, np.nan), "TAC_DN", 1),
        "FDP": (r.fdp, "FDP_DN", 100),
        "FDP2": (r.fdp2, "FDP_DN2", 100),
        "FDP_R2": (r.fdp_r2, None, 1),
        "FDP2_R2": (r.fdp2_r2, None, 1),
        "FDP_RI": (r.fdp_ri, "FDP_RI", 100),
        "FDP_RI2": (r.fdp_ri2, "FDP_RI2", 100),
        "TACO_RI": (np.where(margin, r.taco_ri, np.nan), "TAC_RI", 1),
    }
    for name, (field, image, scale) in expected.items():
        path = tmp_path / f"river_{name}.tif"
        ds, band, layer = read(path)
        assert layer.dtype == np.float32
        np.testing.assert_array_equal(layer, field.astype(np.float32), err_msg=name)
        assert np.isnan(band.GetNoDataValue()), name
        assert ds.GetGeoTransform() == GEOTRANSFORM, name
        srs = osr.SpatialReference(wkt=ds.GetProjection())
        assert srs.GetAuthorityCode(None) == "32616", name
        assert band.GetDescription(), name
        assert ds.GetMetadataItem("DRAINSHAPE_WINDOW") == "13", name
        assert band.GetOverviewCount() > 0, name
        if image is None:
            continue
        has = np.isfinite(layer)
        v = np.where(has, layer.astype(np.float64) * scale, 0)
        if name == "TACO_RI":
            # Truncated, the one image without its 0.5.
            got = np.trunc(v).astype(np.int64) & 255
            sure = has & (np.abs(v - np.round(v)) > 1e-4)
        else:
            got = image_value(v)
            sure = has & off_half(v)
        assert sure.sum() > 0.99 * has.sum(), name
        np.testing.assert_array_equal(r.images[image][sure], got[sure], err_msg=name)

    for name in expected:
        check = subprocess.run(
            [sys.executable, "-m", "osgeo_utils.samples.validate_cloud_optimized_geotiff", "-q",
             str(tmp_path / f"river_{name}.tif")],
            capture_output=True, text=True)
        assert check.returncode == 0, check.stdout + check.stderr


def test_both_engines_give_the_same_layers(sample, tmp_path):
    from conftest import write_river

    river = write_river(tmp_path, sample)
    layers = {}
    for engine in ("fast", "reference"):
        out = tmp_path / engine
        out.mkdir()
        drainshape.run(river, window=25, regional=25, out=out, layers=True, engine=engine)
        layers[engine] = {
            name: read(out / f"river_{name}.tif")[2]
            for name in ("TACO", "FDP", "FDP2", "FDP_R2", "FDP2_R2", "FDP_RI", "FDP_RI2", "TACO_RI")
        }
    for name, fast in layers["fast"].items():
        reference = layers["reference"][name]
        if name == "TACO_RI":
            # The smoothing's sums, added in another order, may move a value by its last bits.
            np.testing.assert_allclose(fast, reference, rtol=1e-6, err_msg=name)
        else:
            np.testing.assert_array_equal(fast, reference, err_msg=name)
