"""The README's example runs: a GeoTIFF in, the TACO image out with the river's georeferencing."""

import runpy

import numpy as np
import pytest

import drainshape
from conftest import ROOT


def test_the_geotiff_example_writes_the_taco_image_where_the_river_lies(tmp_path, sample):
    gdal = pytest.importorskip("osgeo.gdal")
    osr = pytest.importorskip("osgeo.osr")
    pytest.importorskip("matplotlib")
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32720)
    geotransform = (500000.0, 5000.0, 0.0, 9500000.0, 0.0, -5000.0)
    river = gdal.GetDriverByName("GTiff").Create(str(tmp_path / "river.tif"), 200, 200, 1,
                                                 gdal.GDT_Byte)
    river.SetGeoTransform(geotransform)
    river.SetProjection(srs.ExportToWkt())
    river.GetRasterBand(1).WriteArray(sample)
    river = None

    example = runpy.run_path(str(ROOT / "examples" / "taco_geotiff.py"))
    example["main"](str(tmp_path / "river.tif"), str(tmp_path / "taco.tif"),
                    str(tmp_path / "taco.png"))

    taco = gdal.Open(str(tmp_path / "taco.tif"))
    assert taco.GetGeoTransform() == geotransform
    assert osr.SpatialReference(wkt=taco.GetProjection()).IsSame(srs)
    expected = drainshape.analyse(sample, treatment="taco").images["TAC_DN"]
    assert np.array_equal(taco.GetRasterBand(1).ReadAsArray(), expected)
    assert (tmp_path / "taco.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
