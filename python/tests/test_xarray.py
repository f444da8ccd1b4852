"""A georeferenced DataArray in, a Dataset of the layers out, equal to what --layers writes."""

import subprocess

import numpy as np
import pytest

import drainshape
from conftest import ROOT

gdal = pytest.importorskip("osgeo.gdal")
osr = pytest.importorskip("osgeo.osr")
rioxarray = pytest.importorskip("rioxarray")

GEOTRANSFORM = (500000.0, 30.0, 0.0, 4000000.0, 0.0, -30.0)


@pytest.fixture(scope="module")
def runs(tmp_path_factory, drainshape_exe):
    """The sample network as a GeoTIFF, the layers the command writes of it, and the Dataset."""
    folder = tmp_path_factory.mktemp("xarray")
    network = np.fromfile(ROOT / "examples" / "sample_river.raw", np.uint8).reshape(400, 400)
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32616)
    tif = gdal.GetDriverByName("GTiff").Create(str(folder / "river.tif"), 400, 400, 1,
                                               gdal.GDT_Byte)
    tif.SetGeoTransform(GEOTRANSFORM)
    tif.SetProjection(srs.ExportToWkt())
    tif.GetRasterBand(1).WriteArray(network)
    tif = None
    subprocess.run([drainshape_exe, "run", str(folder / "river.tif"), "--layers", "--window",
                    "13", "--regional", "49", "--quiet"], check=True)
    grid = rioxarray.open_rasterio(folder / "river.tif").squeeze()
    return folder, grid, drainshape.analyse(grid, window=13, regional=49)


def read(path):
    data = gdal.Open(str(path))
    band = data.GetRasterBand(1)
    return data, band, band.ReadAsArray()


def test_the_dataset_holds_the_layers_of_the_command_on_the_grid_of_the_input(runs):
    folder, grid, ds = runs
    assert ds.rio.crs.to_epsg() == 32616
    assert tuple(ds.rio.transform().to_gdal()) == GEOTRANSFORM
    np.testing.assert_array_equal(ds["x"], grid["x"])
    np.testing.assert_array_equal(ds["y"], grid["y"])
    assert "band" not in ds.coords
    assert sorted(p.name for p in folder.glob("river_*.tif")) == sorted(
        f"river_{name}.tif" for name in drainshape.LAYERS
    )
    for name in drainshape.LAYERS:
        data, band, cells = read(folder / f"river_{name}.tif")
        layer = ds[name]
        assert layer.dtype == np.float32 and layer.dims == ("y", "x"), name
        # Equal bit for bit, NaN at the same cells.
        np.testing.assert_array_equal(layer.values, cells, err_msg=name)
        assert np.isnan(cells).any() and not np.isnan(cells).all(), name
        assert layer.attrs["long_name"] == data.GetMetadataItem("DRAINSHAPE_MEANING"), name
        assert layer.attrs["units"] == data.GetMetadataItem("DRAINSHAPE_UNIT"), name
    # The images, the bytes of their .raw files; FDP_RI and FDP_RI2 name layers already.
    for name in ("FDP_DN", "FDP_DN2", "FDP_RI_8bit", "FDP_RI2_8bit", "TAC_DN", "TAC_RI"):
        image = ds[name]
        product = image.attrs["product"]
        assert image.dtype == np.uint8 and product == name.replace("_8bit", ""), name
        assert image.values.tobytes() == (folder / f"river_{product}.raw").read_bytes(), name
    assert ds.attrs["window"] == 13 and ds.attrs["regional"] == 49
    assert set(ds.attrs["tables"]) >= {"FDP_ER0", "TAC_DN"}


def test_a_layer_written_by_rioxarray_reads_back_as_the_command_wrote_it(runs, tmp_path):
    folder, _, ds = runs
    for name in ("TACO", "TACO_RI"):
        ds[name].rio.to_raster(tmp_path / f"{name}.tif")
        data, band, cells = read(tmp_path / f"{name}.tif")
        np.testing.assert_array_equal(cells, read(folder / f"river_{name}.tif")[2], err_msg=name)
        assert data.GetGeoTransform() == GEOTRANSFORM
        assert osr.SpatialReference(wkt=data.GetProjection()).GetAuthorityCode(None) == "32616"
        assert np.isnan(band.GetNoDataValue())


def test_the_layers_of_run_are_the_files_it_writes_for_taco_alone(tmp_path, sample):
    river = tmp_path / "river.tif"
    tif = gdal.GetDriverByName("GTiff").Create(str(river), 200, 200, 1, gdal.GDT_Byte)
    tif.SetGeoTransform(GEOTRANSFORM)
    tif.GetRasterBand(1).WriteArray(sample)
    tif = None
    result = drainshape.run(river, window=25, regional=13, treatment="taco", layers=True)
    assert list(result.layers) == ["TACO", "TACO_RI"]
    for name, cells in result.layers.items():
        np.testing.assert_array_equal(cells, read(tmp_path / f"river_{name}.tif")[2], name)
    assert drainshape.analyse(sample, treatment="taco").layers is None
